// Build-machine tool: fills in the sparse package's manifest template
// (installer/AppxManifest.xml.in) from the facts' own homes: the package identity
// (shellext/portable/package_identity.h), the picture extensions the decoders list
// (fitting/portable/picture_extensions.h), the version and the signing certificate's
// subject given on the command line.
//
//   package_manifest --version A.B.C.D --publisher SUBJECT -o OUT TEMPLATE
//
// Exit status 0, or 1 with a message on standard error.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "fitting/portable/picture_extensions.h"
#include "shellext/portable/package_identity.h"

namespace {

// The identity's texts are ASCII.
std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; *text; ++text) out += static_cast<char>(*text);
  return out;
}

std::string XmlEscaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

// Four dot-separated numbers of at most 65535, as a package version must be.
bool IsPackageVersion(const std::string& text) {
  std::istringstream in(text);
  std::string part;
  int parts = 0;
  while (std::getline(in, part, '.')) {
    if (part.empty() || part.size() > 5 || part.find_first_not_of("0123456789") != std::string::npos ||
        std::stoul(part) > 65535) {
      return false;
    }
    ++parts;
  }
  return parts == 4 && text.back() != '.';
}

// The class id without its braces, as the manifest's GUID type has it.
std::string BareGuid(const wchar_t* clsid) {
  std::string text = Narrow(clsid);
  if (text.size() > 2 && text.front() == '{' && text.back() == '}') text = text.substr(1, text.size() - 2);
  return text;
}

std::string ItemTypes() {
  const std::string clsid = BareGuid(framewise::kExplorerCommandClsid);
  std::string out;
  for (size_t i = 0; i < framewise::kPictureExtensionCount; ++i) {
    if (i) out += "\n";
    out += "            <desktop5:ItemType Type=\"" + Narrow(framewise::kPictureExtensions[i].extension) +
           "\">\n              <desktop5:Verb Id=\"Framewise\" Clsid=\"" + clsid +
           "\"/>\n            </desktop5:ItemType>";
  }
  return out;
}

int Fail(const std::string& message) {
  std::cerr << "package_manifest: " << message << "\n";
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string version, publisher, output, input;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--version" || arg == "--publisher" || arg == "-o") && i + 1 < argc) {
      (arg == "--version" ? version : arg == "--publisher" ? publisher : output) = argv[++i];
    } else if (input.empty() && arg[0] != '-') {
      input = arg;
    } else {
      return Fail("usage: package_manifest --version A.B.C.D --publisher SUBJECT -o OUT TEMPLATE");
    }
  }
  if (input.empty() || output.empty() || publisher.empty()) return Fail("missing arguments");
  if (!IsPackageVersion(version)) return Fail("not a package version: " + version);

  std::ifstream in(input, std::ios::binary);
  if (!in) return Fail("cannot read " + input);
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string text = buffer.str();

  const std::vector<std::pair<std::string, std::string>> fields = {
      {"NAME", Narrow(framewise::kPackageName)},
      {"DISPLAY_NAME", XmlEscaped(Narrow(framewise::kPackageDisplayName))},
      {"PUBLISHER_DISPLAY_NAME", XmlEscaped(Narrow(framewise::kPackagePublisherDisplayName))},
      {"PUBLISHER", XmlEscaped(publisher)},
      {"VERSION", version},
      {"EXECUTABLE", Narrow(framewise::kPackageExecutable)},
      {"CLSID", BareGuid(framewise::kExplorerCommandClsid)},
      {"ITEM_TYPES", ItemTypes()},
  };
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    const size_t at = text.find('@', i);
    if (at == std::string::npos) {
      out += text.substr(i);
      break;
    }
    out += text.substr(i, at - i);
    const size_t end = text.find('@', at + 1);
    const std::string name = end == std::string::npos ? "" : text.substr(at + 1, end - at - 1);
    bool known = false;
    for (const auto& field : fields) {
      if (field.first == name) {
        out += field.second;
        known = true;
      }
    }
    if (!known) return Fail("unknown field at offset " + std::to_string(at) + " of " + input);
    i = end + 1;
  }
  std::ofstream file(output, std::ios::binary);
  file << out;
  if (!file.flush()) return Fail("cannot write " + output);
  return 0;
}
