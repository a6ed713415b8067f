// Fuzz target: the registry-script reader must reject or accept any text without faults,
// and what it accepts must keep its own rules (no '\' or empty key names, bounded depth).
#include "shellext/portable/registry_script.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern const std::vector<std::string> kFuzzDictionary = {
    "HKCR", "HKLM", "HKEY_CLASSES_ROOT", "HKCU", " { ", " } ", "{", "}", " = ", " s ", " d ",
    "'", "''", "'text'", " val ", "NoRemove ", "ForceRemove ", "%MODULE%", "%APPID%", "%%",
    "%", "%X", "\\", "\r\n", "\t", " ", "K", "'{9E98A0EF-181B-4833-950B-95810A938222}'",
};

namespace {

void Check(const framewise::ScriptNode& node, int depth) {
  if (depth > framewise::kMaxScriptDepth + 1) std::abort();
  if (node.name.empty()) std::abort();
  if (node.kind == framewise::ScriptNode::Kind::Key) {
    if (node.name.find(L'\\') != std::wstring::npos) std::abort();
  } else if (!node.children.empty() || node.marker == framewise::ScriptMarker::ForceRemove) {
    std::abort();
  }
  for (const auto& child : node.children) Check(child, depth + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Each byte stands for one code unit.
  std::wstring text;
  for (size_t i = 0; i < size; ++i) text.push_back(static_cast<wchar_t>(data[i]));
  static const framewise::ScriptVariables variables = {
      {L"MODULE", L"C:\\it''s\\x.dll"}, {L"APPID", L"{4613}"}, {L"X", L"%%"}};
  framewise::RegistryScript script;
  framewise::ScriptError error;
  if (framewise::ParseRegistryScript(text, variables, &script, &error)) {
    for (const auto& block : script.blocks) {
      for (const auto& node : block.children) Check(node, 1);
    }
  } else if (!script.blocks.empty() || error.message.empty()) {
    std::abort();
  }
  return 0;
}
