// Registry scripts: the text format of the DLL's registration resources, read into a tree
// of root blocks, keys and string values. No Windows header here: the executor that
// applies a tree to the registry lives in shellext/registrar.h.
//
// Format (keywords and root names without regard to case):
//   HKCR { NoRemove AppID { 'name' = s 'default' { val Name = s 'text' } } }
// - Roots: HKCR / HKEY_CLASSES_ROOT and HKLM / HKEY_LOCAL_MACHINE, each followed by a block.
// - A key: optional marker (NoRemove or ForceRemove), its name, optionally "= s 'text'" for
//   its default value, optionally a block of values and subkeys, kept in written order.
// - A value: optional NoRemove, "val", its name, "= s 'text'". Only string values exist.
// - Tokens are separated by white space; a lone "{" or "}" is a brace. Names and texts may
//   be quoted with single quotes, a doubled quote standing for one quote.
// - Before reading, %NAME% is replaced by the variable's value and %% by one percent sign.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace framewise {

enum class ScriptRoot { ClassesRoot, LocalMachine };

enum class ScriptMarker { Plain, NoRemove, ForceRemove };

struct ScriptNode {
  enum class Kind { Key, Value };
  Kind kind = Kind::Key;
  std::wstring name;
  ScriptMarker marker = ScriptMarker::Plain;  // values: Plain or NoRemove
  bool hasData = false;  // a value always has data; a key only with "= s '...'"
  std::wstring data;
  std::vector<ScriptNode> children;  // keys only, in written order
};

struct ScriptBlock {
  ScriptRoot root = ScriptRoot::ClassesRoot;
  std::vector<ScriptNode> children;
};

struct RegistryScript {
  std::vector<ScriptBlock> blocks;
};

// Name / value pairs; names are matched exactly.
using ScriptVariables = std::vector<std::pair<std::wstring, std::wstring>>;

struct ScriptError {
  std::wstring message;  // for tests and diagnostics
  size_t offset = 0;     // in the text after substitution (or before, for substitution errors)
};

// Replaces %NAME% and %% in `text`. False (and `error` filled) for an unknown or
// unterminated variable. The substituted values are not scanned again.
bool SubstituteScriptVariables(const std::wstring& text, const ScriptVariables& variables,
                               std::wstring* out, ScriptError* error);

// Substitutes the variables and reads the script. False for malformed text; `script` is then
// left empty. Nesting deeper than kMaxScriptDepth keys is malformed too.
bool ParseRegistryScript(const std::wstring& text, const ScriptVariables& variables,
                         RegistryScript* script, ScriptError* error);

constexpr int kMaxScriptDepth = 32;

}  // namespace framewise
