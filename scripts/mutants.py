#!/usr/bin/env python3
"""Generated mutants: how many faults nobody listed do the suites catch?

Finds mutation sites in the product's sources (framework/, widgets/, settings/, fitting/,
shellext/; never tests, tools or benchmarks) with the usual operators, takes a random
sample spread over the product folders in proportion to their size, and runs each mutant:
apply it in a scratch copy, build incrementally, run the suites that cover its folder first
with --gtest_fail_fast, then the others only when those pass. A mutant that does not build
is discarded, not counted. Mutants judged equivalent by hand (scripts/mutants-equivalent.txt,
one site a line with its reason) are skipped.

Not part of CI. Usage:

  python3 scripts/mutants.py [--sample 60] [--seed N] [--list] [-j 2]

The seed is printed first; the same seed on the same sources gives the same sample. The
scratch copy, builds and Wine prefix are those of scripts/mutation-check.py (build/mutation,
build/wineprefix-mutation).
"""

import argparse
import dataclasses
import hashlib
import importlib.util
import os
import random
import re
import sys
import time
from dataclasses import dataclass
from typing import Dict, List, Optional, Tuple

HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PRODUCT_FOLDERS = ("framework", "widgets", "settings", "fitting", "shellext")
EQUIVALENTS = os.path.join(HERE, "scripts", "mutants-equivalent.txt")


@dataclass(frozen=True)
class Mutant:
    file: str         # relative to the project root
    line: int         # 1-based
    column: int       # 0-based offset of the replaced text in the line
    operator: str
    original: str     # the replaced text
    replacement: str

    def key(self):
        """Names the site by file, the line's text, the change and where in the line it is, so a
        line that moves or is re-indented keeps it and two sites of one line stay apart. A line
        whose text recurs in the file ("return false;") is told apart by its neighbours."""
        key = f"{self.file}|{self.operator}|{self.original}->{self.replacement}|{self.line_hash}|{self.at}"
        return key + (f"|{self.context}" if self.context else "")

    line_hash: str = ""
    at: int = 0       # the column within the line without its indentation
    context: str = ""  # only for a recurring line: its neighbours' digest, then "#n" if needed

    def describe(self):
        return f"{self.file}:{self.line} {self.operator}: {self.original!r} -> {self.replacement!r}"


# --- Finding sites -------------------------------------------------------------------------

def blank_comments_and_strings(text):
    """The text with comments, string and character literals replaced by spaces (newlines
    kept), so operators are only found in code and every offset still matches the file."""
    out = list(text)
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            for k in range(i, j):
                out[k] = " "
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            for k in range(i, j):
                if out[k] != "\n":
                    out[k] = " "
            i = j
        elif c == "R" and text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            m = re.match(r'R"([^(\s]*)\(', text[i:])
            if not m:
                i += 1
                continue
            end = text.find(")" + m.group(1) + '"', i)
            j = n if end < 0 else end + len(m.group(1)) + 2
            for k in range(i, j):
                if out[k] != "\n":
                    out[k] = " "
            i = j
        elif c in "\"'":
            # A digit separator (1'000, 0xFF'FF) is not a character literal; a prefixed
            # literal (L'A', u8"x") is one.
            if c == "'" and i + 1 < n and text[i + 1].isalnum():
                start = i
                while start > 0 and (text[start - 1].isalnum() or text[start - 1] == "'"):
                    start -= 1
                if start < i and text[start].isdigit():
                    i += 1
                    continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" and j + 1 < n and text[j + 1] != "\n" else 1
            # A literal ends at its line's end at the latest: newlines are never blanked.
            j = j + 1 if j < n and text[j] == c else j
            for k in range(i, j):
                out[k] = " "
            i = j
        else:
            i += 1
    return "".join(out)


RELATIONAL = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
# A relational operator standing alone (not part of <<, >>, ->, <=>, a template's brackets
# is excluded below by requiring spaces around it, as this code base writes comparisons).
RELATIONAL_RE = re.compile(r"(?<=\s)(<=|>=|==|!=|<|>)(?=\s)")
LOGICAL_RE = re.compile(r"(?<=\s)(&&|\|\|)(?=\s)")
BOOL_RE = re.compile(r"\b(true|false|TRUE|FALSE)\b")
INT_RE = re.compile(r"(?<![\w.])(0x[0-9A-Fa-f]+|\d+)([uUlL]*)(?![\w.])")
CHECK_RE = re.compile(r"\b(FAILED|SUCCEEDED)\s*\(")
FAIL_RETURN_RE = re.compile(r"\breturn\s+(false|E_FAIL|E_INVALIDARG|E_OUTOFMEMORY|E_POINTER|E_NOTIMPL|E_UNEXPECTED|nullptr)\s*;")
# A statement that is only a call: `Name(...);` or `obj->Name(...);` / `obj.Name(...);`.
CALL_STATEMENT_RE = re.compile(r"^(\s*)((?:[A-Za-z_][\w:]*(?:->|\.))*[A-Za-z_][\w:]*\s*\(.*\)\s*;)\s*$")
NOT_CALLS = ("return", "if", "while", "for", "switch", "sizeof", "static_assert", "delete", "case",
             "assert", "Q_ASSERT")

SUCCESS_FOR = {"false": "true", "nullptr": None, "E_FAIL": "S_OK", "E_INVALIDARG": "S_OK",
               "E_OUTOFMEMORY": "S_OK", "E_POINTER": "S_OK", "E_NOTIMPL": "S_OK",
               "E_UNEXPECTED": "S_OK"}


def _skip_line(code_line):
    stripped = code_line.strip()
    return (not stripped or stripped.startswith("#") or stripped.startswith("static_assert")
            or stripped.startswith("template"))


def _matching_paren(line, open_index):
    depth = 0
    for j in range(open_index, len(line)):
        if line[j] == "(":
            depth += 1
        elif line[j] == ")":
            depth -= 1
            if depth == 0:
                return j
    return -1


def find_sites(path_in_root, text):
    """Every mutant of one file's text."""
    code = blank_comments_and_strings(text)
    lines, code_lines = text.split("\n"), code.split("\n")
    found = []

    def add(number, column, operator, original, replacement):
        digest = hashlib.sha1(lines[number].strip().encode()).hexdigest()[:10]
        indent = len(lines[number]) - len(lines[number].lstrip())
        found.append(Mutant(path_in_root, number + 1, column, operator, original, replacement, digest,
                            column - indent))

    for number, (line, code_line) in enumerate(zip(lines, code_lines)):
        if _skip_line(code_line):
            continue
        for m in RELATIONAL_RE.finditer(code_line):
            # Template arguments and stream operators are written without such spaces here;
            # a lone '<' or '>' inside a template argument list with spaces is still rare.
            add(number, m.start(), "relational", m.group(1), RELATIONAL[m.group(1)])
        for m in LOGICAL_RE.finditer(code_line):
            add(number, m.start(), "logical", m.group(1), "||" if m.group(1) == "&&" else "&&")
        for m in BOOL_RE.finditer(code_line):
            flipped = {"true": "false", "false": "true", "TRUE": "FALSE", "FALSE": "TRUE"}[m.group(1)]
            add(number, m.start(), "boolean", m.group(1), flipped)
        in_enum_or_array = "[" in code_line and "]" in code_line and "=" not in code_line
        for m in INT_RE.finditer(code_line):
            if in_enum_or_array:
                continue
            literal, suffix = m.group(1), m.group(2)
            value = int(literal, 16) if literal.lower().startswith("0x") else int(literal)
            if literal.lower().startswith("0x"):
                new = "0x%X" % (value + 1) if literal[2:].isupper() or not literal[2:].isalpha() else "0x%x" % (value + 1)
            else:
                if len(literal) > 1 and literal.startswith("0"):
                    continue  # octal: leave it
                new = str(value + 1)
            add(number, m.start(), "constant", literal + suffix, new + suffix)
        for m in CHECK_RE.finditer(code_line):
            close = _matching_paren(code_line, m.end() - 1)
            if close < 0:
                continue
            original = line[m.start():close + 1]
            add(number, m.start(), "status-check", original, "false" if m.group(1) == "FAILED" else "true")
        for m in FAIL_RETURN_RE.finditer(code_line):
            success = SUCCESS_FOR[m.group(1)]
            if success:
                add(number, m.start(), "failure-return", m.group(0), f"return {success};")
        cm = CALL_STATEMENT_RE.match(code_line)
        if cm and "{" not in code_line and "}" not in code_line:
            statement = cm.group(2)
            head = re.match(r"[\w:]+", statement).group(0)
            if head not in NOT_CALLS and "=" not in statement.split("(")[0] and _looks_like_call(code_line):
                add(number, len(cm.group(1)), "call-removed", line[len(cm.group(1)):].rstrip(), "")
    return _apart(found, lines)


def _apart(found, lines):
    """Gives each site of a recurring line a key of its own: the digest of the nearest
    non-blank lines around it, and an occurrence number where even those recur."""
    def neighbour(number, step):
        number += step
        while 0 <= number < len(lines) and not lines[number].strip():
            number += step
        return lines[number].strip() if 0 <= number < len(lines) else ""

    groups: Dict[str, List[int]] = {}
    for index, m in enumerate(found):
        groups.setdefault(m.key(), []).append(index)
    result = list(found)
    for indices in groups.values():
        if len(indices) < 2:
            continue
        seen: Dict[str, int] = {}
        for index in indices:
            m = found[index]
            around = neighbour(m.line - 1, -1) + "\n" + neighbour(m.line - 1, 1)
            context = hashlib.sha1(around.encode()).hexdigest()[:6]
            seen[context] = seen.get(context, 0) + 1
            if seen[context] > 1:
                context += f"#{seen[context]}"
            result[index] = dataclasses.replace(m, context=context)
    return result


def _looks_like_call(code_line):
    """A statement that calls and discards: not a declaration such as `Type name(args);`."""
    before = code_line.strip().split("(")[0]
    # `Type name(` has two words before the parenthesis: a declaration with constructor args.
    return len(before.split()) == 1


def product_files(root):
    for folder in PRODUCT_FOLDERS:
        for directory, _, names in sorted(os.walk(os.path.join(root, folder))):
            for name in sorted(names):
                if name.endswith((".cpp", ".h")):
                    yield os.path.relpath(os.path.join(directory, name), root)


def all_sites(root):
    sites = []
    for relative in product_files(root):
        with open(os.path.join(root, relative), encoding="utf-8") as f:
            sites.extend(find_sites(relative, f.read()))
    return sites


def folder_of(relative):
    return relative.split(os.sep)[0].split("/")[0]


def read_equivalents(path=EQUIVALENTS):
    """Keys of mutants judged equivalent: 'key<TAB>reason' lines; # starts a comment."""
    keys = {}
    if os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            for line in f:
                line = line.rstrip("\n")
                if not line or line.startswith("#"):
                    continue
                key, _, reason = line.partition("\t")
                keys[key] = reason
    return keys


def sample(sites, count, seed, folder_lines, skip=()):
    """`count` mutants spread over the folders in proportion to their lines of code (largest
    remainder), each folder's drawn at random; the same seed gives the same sample."""
    rng = random.Random(seed)
    by_folder: Dict[str, List[Mutant]] = {}
    for s in sites:
        if s.key() not in skip:
            by_folder.setdefault(folder_of(s.file), []).append(s)
    total = sum(folder_lines[f] for f in by_folder)
    if total == 0:
        return []
    quotas = {f: count * folder_lines[f] / total for f in by_folder}
    taken = {f: min(int(q), len(by_folder[f])) for f, q in quotas.items()}
    for f in sorted(by_folder, key=lambda f: quotas[f] - int(quotas[f]), reverse=True):
        if sum(taken.values()) >= count:
            break
        if taken[f] < len(by_folder[f]):
            taken[f] += 1
    chosen = []
    for f in sorted(by_folder):
        chosen.extend(rng.sample(by_folder[f], taken[f]))
    rng.shuffle(chosen)
    return chosen


def count_lines(root):
    lines = {}
    for relative in product_files(root):
        with open(os.path.join(root, relative), encoding="utf-8") as f:
            lines[folder_of(relative)] = lines.get(folder_of(relative), 0) + sum(1 for _ in f)
    return lines


def apply(text, mutant):
    lines = text.split("\n")
    line = lines[mutant.line - 1]
    assert line[mutant.column:mutant.column + len(mutant.original)] == mutant.original, mutant.describe()
    lines[mutant.line - 1] = line[:mutant.column] + mutant.replacement + line[mutant.column + len(mutant.original):]
    return "\n".join(lines)


# --- Running -------------------------------------------------------------------------------

def load_workspace_module():
    found = importlib.util.spec_from_file_location("mutation_check", os.path.join(HERE, "scripts", "mutation-check.py"))
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def suites_for(relative):
    """(program, filter) runs in order: the suite that covers the folder first."""
    wine_all = ("wine", "-*Dpi120*")
    native_all = ("native", "*")
    if "/portable/" in relative.replace(os.sep, "/"):
        return [native_all, wine_all]
    return [wine_all, native_all]


def first_failure(output):
    """The first failing test a GoogleTest run names, or what ended the run without one."""
    found = re.search(r"^\[  FAILED  \] (\S+)", output or "", re.MULTILINE)
    if found:
        return found.group(1)
    return "a crash or time-out" if output else "no output"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--sample", type=int, default=60)
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--list", action="store_true", help="print the sample and stop")
    parser.add_argument("--sites", action="store_true", help="count the sites per operator and stop")
    parser.add_argument("-j", "--jobs", type=int, default=2)
    parser.add_argument("--work", default=os.path.join(HERE, "build", "mutation"))
    parser.add_argument("--prefix", default=os.path.join(HERE, "build", "wineprefix-mutation"))
    parser.add_argument("--display", default=":98")
    parser.add_argument("--timeout", type=int, default=600, help="seconds per suite run")
    parser.add_argument("-v", "--verbose", action="store_true")
    args = parser.parse_args()

    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1, 10**6)
    print(f"seed {seed}", flush=True)
    sites = all_sites(HERE)
    if args.sites:
        by_operator: Dict[str, int] = {}
        for s in sites:
            by_operator[s.operator] = by_operator.get(s.operator, 0) + 1
        for operator, n in sorted(by_operator.items()):
            print(f"{operator:14} {n}")
        print(f"{'all':14} {len(sites)}")
        return 0
    equivalents = read_equivalents()
    chosen = sample(sites, args.sample, seed, count_lines(HERE), skip=set(equivalents))
    if args.list:
        for m in chosen:
            print(m.describe())
        return 0

    mc = load_workspace_module()
    ws = mc.Workspace(args)
    ws.sync()
    ws.configure()
    for program in (mc.WINE, mc.NATIVE):
        code, out = ws.build(program)
        if code != 0:
            sys.exit(f"the unchanged {program} build fails:\n{out[-4000:]}")
    results: List[Tuple[Mutant, str, Optional[str]]] = []
    started = time.time()
    try:
        ws.start_session()
        # A suite that fails unchanged would kill every mutant: the score would mean nothing.
        for program, test_filter in suites_for("fitting/x.cpp"):
            if not ws.run_check(program, test_filter):
                sys.exit(f"the unchanged {program} suite fails ({first_failure(ws.last_output)})")
        for index, m in enumerate(chosen, 1):
            path = os.path.join(ws.src, m.file)
            original = mc.read(path)
            mc.write(path, apply(original, m))
            outcome, by = "survived", None
            try:
                # Each program is built right before it runs, so it always reflects the
                # sources as they are now (the previous mutant's file put back included),
                # and a mutant its first suite kills costs no build of the second.
                for program, test_filter in suites_for(m.file):
                    if ws.build(program)[0] != 0:
                        outcome = "not built"
                        break
                    if not ws.run_check(program, test_filter, extra=("--gtest_fail_fast",)):
                        outcome, by = "killed", first_failure(ws.last_output)
                        break
            finally:
                mc.write(path, original)
            results.append((m, outcome, by))
            minutes = (time.time() - started) / 60
            killer = f" by {by}" if by else ""
            print(f"[{index}/{len(chosen)}] {outcome:10} {m.describe()}{killer}  ({minutes:.1f} min)",
                  flush=True)
    finally:
        for program in (mc.WINE, mc.NATIVE):
            ws.build(program)
        ws.stop_session()

    killed = sum(1 for _, o, _ in results if o == "killed")
    survived = [m for m, o, _ in results if o == "survived"]
    built = killed + len(survived)
    print("")
    for m in survived:
        print(f"SURVIVED {m.describe()}\n  key: {m.key()}")
    print(f"seed {seed}: {killed} of {built} killed"
          + (f" ({100.0 * killed / built:.0f}%)" if built else "")
          + f"; {len(results) - built} not built; {len(equivalents)} equivalent sites skipped")
    return 0


if __name__ == "__main__":
    sys.exit(main())
