// Build-machine tool: turns the DLL's registration scripts into the WiX registry rows of the
// installer package, so the package writes what the DLL's own registration writes.
//
//   registry_wix --root HKCR|HKLM --wix-root ROOT [--key-prefix PREFIX] --id-prefix ID
//                [--define NAME=VALUE]... [--formatted NAME=TEXT]... -o OUT.wxi SCRIPT.rgs...
//
// Rows of the scripts' root --root go to the include, their keys below PREFIX of ROOT.
// A --define variable is plain text; a --formatted one is installer formatted text put in
// as it is, such as MODULE=[#FileId] for the installed file's path. Exit status 0, or 1
// with a message on standard error.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "installer/registry_rows.h"

namespace {

using framewise::ScriptRoot;

// Strict UTF-8 (an optional byte-order mark skipped). False on a malformed sequence.
bool DecodeUtf8(const std::string& bytes, std::wstring* text) {
  size_t i = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  text->clear();
  while (i < bytes.size()) {
    const unsigned char lead = static_cast<unsigned char>(bytes[i]);
    int extra = 0;
    char32_t c = 0;
    if (lead < 0x80) {
      c = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1, c = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, c = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, c = lead & 0x07;
    } else {
      return false;
    }
    if (i + extra >= bytes.size() && extra > 0) return false;  // cut short
    for (int k = 1; k <= extra; ++k) {
      const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    i += 1 + extra;
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    if (sizeof(wchar_t) == 2 && c >= 0x10000) {
      c -= 0x10000;
      text->push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
      text->push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
    } else {
      text->push_back(static_cast<wchar_t>(c));
    }
  }
  return true;
}

// Command-line text is UTF-8; anything else is taken byte by byte.
std::wstring Widen(const std::string& text) {
  std::wstring wide;
  if (!DecodeUtf8(text, &wide)) wide.assign(text.begin(), text.end());
  return wide;
}

int Fail(const std::string& message) {
  std::cerr << "registry_wix: " << message << "\n";
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  framewise::WixRowOptions options;
  framewise::ScriptVariables variables;
  std::string output;
  std::vector<std::string> scripts;
  bool rootGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--root" && hasValue) {
      const std::string root = argv[++i];
      if (root == "HKCR") {
        options.root = ScriptRoot::ClassesRoot;
      } else if (root == "HKLM") {
        options.root = ScriptRoot::LocalMachine;
      } else {
        return Fail("--root takes HKCR or HKLM");
      }
      rootGiven = true;
    } else if (arg == "--wix-root" && hasValue) {
      options.wixRoot = Widen(argv[++i]);
    } else if (arg == "--key-prefix" && hasValue) {
      options.keyPrefix = Widen(argv[++i]);
    } else if (arg == "--id-prefix" && hasValue) {
      options.idPrefix = Widen(argv[++i]);
    } else if ((arg == "--define" || arg == "--formatted") && hasValue) {
      const std::string definition = argv[++i];
      const size_t equals = definition.find('=');
      if (equals == std::string::npos) return Fail(arg + " takes NAME=VALUE");
      const std::wstring name = Widen(definition.substr(0, equals));
      const std::wstring value = Widen(definition.substr(equals + 1));
      if (arg == "--define") {
        variables.push_back({name, value});
      } else {
        // The script sees a marker that no script text contains: private-use characters.
        const std::wstring marker = L"\xE000" + name + L"\xE000";
        variables.push_back({name, marker});
        options.formatted.push_back({marker, value});
      }
    } else if (arg == "-o" && hasValue) {
      output = argv[++i];
    } else if (!arg.empty() && arg[0] != '-') {
      scripts.push_back(arg);
    } else {
      return Fail("unknown or incomplete option " + arg);
    }
  }
  if (!rootGiven || options.wixRoot.empty() || options.idPrefix.empty() || output.empty() ||
      scripts.empty()) {
    return Fail("usage: registry_wix --root HKCR|HKLM --wix-root ROOT [--key-prefix PREFIX] "
                "--id-prefix ID [--define NAME=VALUE]... [--formatted NAME=TEXT]... -o OUT.wxi "
                "SCRIPT.rgs...");
  }

  std::vector<framewise::RegistryRow> rows;
  for (const std::string& path : scripts) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Fail("cannot read " + path);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    std::wstring text;
    if (!DecodeUtf8(bytes.str(), &text)) return Fail(path + ": not UTF-8");
    framewise::RegistryScript script;
    framewise::ScriptError error;
    if (!framewise::ParseRegistryScript(text, variables, &script, &error)) {
      return Fail(path + ": " + framewise::Utf8(error.message) + " at offset " +
                  std::to_string(error.offset));
    }
    const std::vector<framewise::RegistryRow> scriptRows = framewise::RegisterRows(script);
    rows.insert(rows.end(), scriptRows.begin(), scriptRows.end());
  }

  std::string xml;
  std::wstring error;
  if (!framewise::WixRegistryInclude(rows, options, &xml, &error)) {
    return Fail(framewise::Utf8(error));
  }
  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  if (!out || !(out << xml) || !out.flush()) return Fail("cannot write " + output);
  return 0;
}
