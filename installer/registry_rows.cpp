#include "installer/registry_rows.h"

namespace framewise {
namespace {

void AddRows(const ScriptNode& key, ScriptRoot root, const std::wstring& parent,
             std::vector<RegistryRow>* rows) {
  const std::wstring path = parent.empty() ? key.name : parent + L"\\" + key.name;
  if (key.marker == ScriptMarker::ForceRemove) {
    // A key row already goes with its subtree on uninstall.
    rows->push_back({root, path, key.hasData ? RegistryRow::Kind::RemoveTree : RegistryRow::Kind::Key,
                     L"", L""});
  }
  if (key.hasData) rows->push_back({root, path, RegistryRow::Kind::Value, L"", key.data});
  for (const ScriptNode& child : key.children) {
    if (child.kind == ScriptNode::Kind::Value) {
      rows->push_back({root, path, RegistryRow::Kind::Value, child.name, child.data});
    } else {
      AddRows(child, root, path, rows);
    }
  }
}

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Installer formatted text: '[' and ']' would start a property reference.
std::wstring EscapeFormatted(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'[') {
      out += L"[\\[]";
    } else if (c == L']') {
      out += L"[\\]]";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string EscapeXml(const std::wstring& text) {
  std::string out;
  for (char c : Utf8(text)) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

// A value's data: formatted text, and a leading '#' would make it a number.
std::wstring ValueData(const std::wstring& data, const WixRowOptions& options) {
  std::wstring out;
  size_t start = 0;
  while (start < data.size()) {
    // The earliest marker from here on.
    size_t at = std::wstring::npos;
    const std::pair<std::wstring, std::wstring>* marker = nullptr;
    for (const auto& candidate : options.formatted) {
      const size_t found = candidate.first.empty() ? std::wstring::npos
                                                   : data.find(candidate.first, start);
      if (found < at) at = found, marker = &candidate;
    }
    if (!marker) {
      out += EscapeFormatted(data.substr(start));
      break;
    }
    out += EscapeFormatted(data.substr(start, at - start)) + marker->second;
    start = at + marker->first.size();
  }
  if (!out.empty() && out[0] == L'#') out.insert(0, 1, L'#');
  return out;
}

}  // namespace

std::vector<RegistryRow> RegisterRows(const RegistryScript& script) {
  std::vector<RegistryRow> rows;
  for (const ScriptBlock& block : script.blocks) {
    for (const ScriptNode& node : block.children) {
      if (node.kind == ScriptNode::Kind::Key) AddRows(node, block.root, L"", &rows);
    }
  }
  return rows;
}

bool WixRegistryInclude(const std::vector<RegistryRow>& rows, const WixRowOptions& options,
                        std::string* xml, std::wstring* error) {
  std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                    "<!-- Made from the registration scripts by registry_wix; do not edit. -->\n"
                    "<Include>\n";
  int index = 0;
  for (const RegistryRow& row : rows) {
    if (row.root != options.root) continue;
    std::wstring name;
    switch (row.kind) {
      case RegistryRow::Kind::Value:
        if (row.name == L"+" || row.name == L"-" || row.name == L"*") {
          *error = L"a value named \"" + row.name + L"\" under " + row.key;
          return false;
        }
        name = EscapeFormatted(row.name);
        break;
      case RegistryRow::Kind::Key: name = L"*"; break;
      case RegistryRow::Kind::RemoveTree: name = L"-"; break;
    }
    ++index;
    out += "  <RegistryValue Id=\"" + EscapeXml(options.idPrefix) + std::to_string(index) +
           "\" Root=\"" + EscapeXml(options.wixRoot) + "\" Key=\"" +
           EscapeXml(EscapeFormatted(options.keyPrefix + row.key)) + "\"";
    if (!name.empty()) out += " Name=\"" + EscapeXml(name) + "\"";
    const std::wstring data =
        row.kind == RegistryRow::Kind::Value ? ValueData(row.data, options) : L"";
    out += " Type=\"string\" Value=\"" + EscapeXml(data) + "\"/>\n";
  }
  out += "</Include>\n";
  *xml = out;
  return true;
}

std::string Utf8(const std::wstring& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = static_cast<char32_t>(text[i]);
    if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDFFF) {
      const char32_t next = i + 1 < text.size() ? static_cast<char32_t>(text[i + 1]) : 0;
      if (c <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
        ++i;
      } else {
        c = 0xFFFD;
      }
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(c, &out);
  }
  return out;
}

}  // namespace framewise
