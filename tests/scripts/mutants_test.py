#!/usr/bin/python3
"""Tests of the mutant generator (scripts/mutants.py): where it finds sites and where it
must not, what each operator makes, that a mutant applies to exactly its text, and that a
sample is reproducible by its seed and spread over folders by their size."""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import mutants  # noqa: E402

SNIPPET = r'''// a < b in a comment, return false; true
bool Check(int a, int b) {
  const char* text = "a < b && c";  /* x == y */
  if (a < b && b >= 3) return false;
  if (FAILED(Call(a, (b)))) return E_FAIL;
  Release(a);
  Widget w(a);
  int n = 1'000;
  return a == b || true;
}
'''


def sites_of(text, path="fitting/x.cpp"):
    return mutants.find_sites(path, text)


def by_operator(found, operator):
    return [(m.line, m.original, m.replacement) for m in found if m.operator == operator]


class SiteTest(unittest.TestCase):
    def setUp(self):
        self.found = sites_of(SNIPPET)

    def test_comments_and_strings_hold_no_site(self):
        self.assertFalse([m for m in self.found if m.line in (1, 3) and m.operator != "constant"])
        self.assertNotIn(1, {m.line for m in self.found})

    def test_relational_operators_swap_with_their_neighbours(self):
        self.assertEqual(by_operator(self.found, "relational"),
                         [(4, "<", "<="), (4, ">=", ">"), (9, "==", "!=")])

    def test_logical_boolean_and_status_checks(self):
        self.assertEqual(by_operator(self.found, "logical"), [(4, "&&", "||"), (9, "||", "&&")])
        self.assertIn((9, "true", "false"), by_operator(self.found, "boolean"))
        self.assertEqual(by_operator(self.found, "status-check"), [(5, "FAILED(Call(a, (b)))", "false")])
        self.assertEqual(by_operator(self.found, "failure-return"),
                         [(4, "return false;", "return true;"), (5, "return E_FAIL;", "return S_OK;")])

    def test_constants_change_by_one_but_digit_separators_do_not_make_characters(self):
        self.assertIn((4, "3", "4"), by_operator(self.found, "constant"))
        # 1'000 is one literal: no character literal swallows the rest of the line.
        self.assertIn((9, "==", "!="), by_operator(self.found, "relational"))

    def test_only_statements_that_call_and_discard_are_removed(self):
        self.assertEqual(by_operator(self.found, "call-removed"), [(6, "Release(a);", "")])

    def test_each_mutant_applies_to_exactly_its_text(self):
        for m in self.found:
            changed = mutants.apply(SNIPPET, m)
            self.assertNotEqual(changed, SNIPPET, m.describe())
            self.assertEqual(changed.count("\n"), SNIPPET.count("\n"))
            other = [a != b for a, b in zip(changed.split("\n"), SNIPPET.split("\n"))]
            self.assertEqual(other.index(True) + 1, m.line)

    def test_prefixed_character_literals_are_literals_and_lines_stay_where_they_are(self):
        text = ("bool Name(wchar_t c) {\n"
                "  return (c >= L'A' && c <= L'Z') || c == L'\\\\';\n"
                "}\n"
                "const char* s = \"ends in \\\\\";\n"
                "bool t = false;\n")
        found = sites_of(text)
        self.assertEqual(by_operator(found, "relational"), [(2, ">=", ">"), (2, "<=", "<"), (2, "==", "!=")])
        self.assertEqual(by_operator(found, "boolean"), [(5, "false", "true")])
        for m in found:
            mutants.apply(text, m)  # its text is where it says

    def test_a_recurring_line_has_a_key_for_each_place_and_a_unique_line_keeps_its_own(self):
        text = ("bool A() {\n  if (a) return false;\n  return false;\n}\n"
                "bool B() {\n  if (b) return false;\n  return false;\n}\n"
                "bool C() {\n  if (b) return false;\n  return false;\n}\n")
        returns = [m for m in sites_of(text) if m.operator == "failure-return"]
        self.assertEqual(len(returns), 6)
        self.assertEqual(len({m.key() for m in returns}), 6)
        alone = [m for m in sites_of("bool A() {\n  return false;\n}\n") if m.operator == "failure-return"]
        self.assertEqual(alone[0].key().count("|"), 4)  # no neighbours' digest
        # A site keeps its key when lines elsewhere in the file change.
        first = {m.line: m.key() for m in returns}[3]
        edited = text.replace("bool C() {", "bool C(int unused) {")
        self.assertIn(first, {m.key() for m in sites_of(edited)})

    def test_two_sites_of_one_line_have_their_own_keys_which_survive_indentation(self):
        by_key = {m.key(): m for m in sites_of("x = y > 0 ? a / y : 0;\n") if m.operator == "constant"}
        self.assertEqual(len(by_key), 2)
        moved = {m.key() for m in sites_of("\n    x = y > 0 ? a / y : 0;\n") if m.operator == "constant"}
        self.assertEqual(set(by_key), moved)

    def test_hex_and_suffixes_keep_their_form(self):
        found = by_operator(sites_of("int x = 0x7F + 10u;\n"), "constant")
        self.assertEqual(found, [(1, "0x7F", "0x80"), (1, "10u", "11u")])


class SampleTest(unittest.TestCase):
    def make_sites(self):
        sites = []
        for folder, n in (("fitting", 300), ("shellext", 100), ("widgets", 20)):
            for i in range(n):
                sites.append(mutants.Mutant(f"{folder}/f.cpp", i + 1, 0, "constant", "1", "2", str(i)))
        return sites

    def test_the_same_seed_gives_the_same_sample_and_another_seed_another(self):
        sites = self.make_sites()
        lines = {"fitting": 3000, "shellext": 1000, "widgets": 200}
        a = mutants.sample(sites, 60, 5, lines)
        self.assertEqual(a, mutants.sample(sites, 60, 5, lines))
        self.assertNotEqual(a, mutants.sample(sites, 60, 6, lines))

    def test_folders_share_the_sample_by_their_size(self):
        lines = {"fitting": 3000, "shellext": 1000, "widgets": 200}
        chosen = mutants.sample(self.make_sites(), 60, 1, lines)
        counts = {f: sum(1 for m in chosen if m.file.startswith(f)) for f in lines}
        self.assertEqual(len(chosen), 60)
        self.assertEqual(counts, {"fitting": 43, "shellext": 14, "widgets": 3})

    def test_equivalent_sites_are_never_drawn(self):
        sites = self.make_sites()
        skip = {s.key() for s in sites if s.file.startswith("widgets")}
        chosen = mutants.sample(sites, 60, 1, {"fitting": 3000, "shellext": 1000, "widgets": 200}, skip)
        self.assertFalse([m for m in chosen if m.file.startswith("widgets")])
        self.assertEqual(len(chosen), 60)

    def test_the_product_folders_only(self):
        files = list(mutants.product_files(mutants.HERE))
        self.assertTrue(files)
        self.assertFalse([f for f in files if f.split("/")[0] not in mutants.PRODUCT_FOLDERS])


class KillerTest(unittest.TestCase):
    def test_the_first_failing_test_is_named(self):
        output = ("[ RUN      ] SpanTest.PortraitMonitorIsTurned\n"
                  "x.cpp:12: Failure\n"
                  "[  FAILED  ] SpanTest.PortraitMonitorIsTurned (475 ms)\n"
                  "[  FAILED  ] 1 test, listed below:\n"
                  "[  FAILED  ] SpanTest.PortraitMonitorIsTurned\n")
        self.assertEqual(mutants.first_failure(output), "SpanTest.PortraitMonitorIsTurned")
        self.assertEqual(mutants.first_failure("[ RUN      ] A.B\nwine: Unhandled page fault\n"),
                         "a crash or time-out")
        self.assertEqual(mutants.first_failure(""), "no output")


if __name__ == "__main__":
    unittest.main()
