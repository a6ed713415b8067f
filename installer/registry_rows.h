// The installer's view of the registration scripts: the rows a script writes in register
// mode, as a Windows Installer package writes them, and the WiX registry elements for them.
// No Windows header here; the package build runs this on the build machine.
#pragma once

#include <string>
#include <vector>

#include "shellext/portable/registry_script.h"

namespace framewise {

struct RegistryRow {
  enum class Kind {
    Value,        // a string value; an empty name is the key's default value
    Key,          // a key with no value of its own, made on install, removed with its
                  // subtree on uninstall
    RemoveTree,   // on uninstall the key goes with its whole subtree (the script's ForceRemove)
  };
  ScriptRoot root = ScriptRoot::ClassesRoot;
  std::wstring key;  // below the root, levels joined with '\'
  Kind kind = Kind::Value;
  std::wstring name;
  std::wstring data;
};

// Rows in the order the script writes them. A ForceRemove key gives a RemoveTree row, or a
// Key row when it carries no value of its own; other keys that only hold subkeys give none,
// since writing below a key makes it.
std::vector<RegistryRow> RegisterRows(const RegistryScript& script);

struct WixRowOptions {
  ScriptRoot root = ScriptRoot::ClassesRoot;  // rows of this script root only
  std::wstring wixRoot;    // the package's root: HKMU, HKLM, HKCU or HKCR
  std::wstring keyPrefix;  // put before every key, e.g. "Software\Classes\" (may be empty)
  std::wstring idPrefix;   // makes the element ids unique within the package
  // Marker text in the data and the installer's formatted text it stands for, such as
  // "[#fileId]" (an installed file's full path) or "[INSTALLDIR]"; put in unescaped.
  std::vector<std::pair<std::wstring, std::wstring>> formatted;
};

// A WiX include ("<Include>" with one RegistryValue element per row). Data and key names
// are escaped for XML and for the installer's formatted text, so they reach the registry
// as written; only the markers become their formatted text.
// False when a row cannot be expressed (a value named "+", "-" or "*").
bool WixRegistryInclude(const std::vector<RegistryRow>& rows, const WixRowOptions& options,
                        std::string* xml, std::wstring* error);

// UTF-8 of UTF-16 (or UTF-32, by platform) text; unpaired surrogates become U+FFFD.
std::string Utf8(const std::wstring& text);

}  // namespace framewise
