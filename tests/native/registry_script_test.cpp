#include "shellext/portable/registry_script.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace framewise {
namespace {

const ScriptVariables kVariables = {
    {L"APPID", L"{4613C8E4-E712-441C-BAC2-1372D7E8F939}"},
    {L"MODULE", L"C:\\it''s\\Framewise.dll"},
    {L"Module_Raw", L"C:\\it's\\Framewise.dll"},
    {L"az_AZ09", L"every kind of name character"},
};

RegistryScript ParseOk(const std::wstring& text) {
  RegistryScript script;
  ScriptError error;
  EXPECT_TRUE(ParseRegistryScript(text, kVariables, &script, &error))
      << "error: " << std::string(error.message.begin(), error.message.end()) << " at "
      << error.offset;
  return script;
}

TEST(RegistryScriptTest, ReadsKeysValuesAndMarkersInWrittenOrder) {
  RegistryScript script = ParseOk(
      L"HKCR\r\n{\r\n\tNoRemove CLSID\r\n\t{\r\n"
      L"\t\tForceRemove '{9E98}' = s 'Some Class'\r\n\t\t{\r\n"
      L"\t\t\tInprocServer32 = s '%MODULE%' { val ThreadingModel = s 'Apartment' }\r\n"
      L"\t\t\tval AppID = s '%APPID%'\r\n"
      L"\t\t\tForceRemove Programmable\r\n"
      L"\t\t}\r\n\t}\r\n}\r\n"
      L"hklm { noremove Software { NoRemove val Kept = s kept } }");
  ASSERT_EQ(script.blocks.size(), 2u);
  EXPECT_EQ(script.blocks[0].root, ScriptRoot::ClassesRoot);
  EXPECT_EQ(script.blocks[1].root, ScriptRoot::LocalMachine);

  ASSERT_EQ(script.blocks[0].children.size(), 1u);
  const ScriptNode& clsid = script.blocks[0].children[0];
  EXPECT_EQ(clsid.name, L"CLSID");
  EXPECT_EQ(clsid.marker, ScriptMarker::NoRemove);
  EXPECT_FALSE(clsid.hasData);
  ASSERT_EQ(clsid.children.size(), 1u);

  const ScriptNode& cls = clsid.children[0];
  EXPECT_EQ(cls.name, L"{9E98}");
  EXPECT_EQ(cls.marker, ScriptMarker::ForceRemove);
  EXPECT_TRUE(cls.hasData);
  EXPECT_EQ(cls.data, L"Some Class");
  ASSERT_EQ(cls.children.size(), 3u);
  // The value written after InprocServer32 stays after it.
  EXPECT_EQ(cls.children[0].name, L"InprocServer32");
  EXPECT_EQ(cls.children[0].data, L"C:\\it's\\Framewise.dll");
  ASSERT_EQ(cls.children[0].children.size(), 1u);
  EXPECT_EQ(cls.children[0].children[0].kind, ScriptNode::Kind::Value);
  EXPECT_EQ(cls.children[1].kind, ScriptNode::Kind::Value);
  EXPECT_EQ(cls.children[1].name, L"AppID");
  EXPECT_EQ(cls.children[1].data, L"{4613C8E4-E712-441C-BAC2-1372D7E8F939}");
  EXPECT_EQ(cls.children[2].name, L"Programmable");
  EXPECT_FALSE(cls.children[2].hasData);

  const ScriptNode& kept = script.blocks[1].children[0].children[0];
  EXPECT_EQ(kept.kind, ScriptNode::Kind::Value);
  EXPECT_EQ(kept.marker, ScriptMarker::NoRemove);
  EXPECT_EQ(kept.data, L"kept");
}

TEST(RegistryScriptTest, QuotingAndSubstitution) {
  struct Case {
    const wchar_t* text;
    const wchar_t* expected;
  } cases[] = {
      {L"'It''s'", L"It's"},
      {L"''''", L"'"},
      {L"'two  words'", L"two  words"},
      {L"'100%%'", L"100%"},
      {L"'%%APPID%%'", L"%APPID%"},
      {L"'%MODULE%'", L"C:\\it's\\Framewise.dll"},
      {L"'%az_AZ09%'", L"every kind of name character"},
      {L"'{ } = val'", L"{ } = val"},
  };
  for (const Case& c : cases) {
    RegistryScript script = ParseOk(std::wstring(L"HKCR { K = s ") + c.text + L" }");
    ASSERT_EQ(script.blocks.size(), 1u) << c.text;
    EXPECT_EQ(script.blocks[0].children.at(0).data, c.expected) << c.text;
  }
  // A quoted keyword or brace is a plain name.
  RegistryScript script = ParseOk(L"HKCR { 'NoRemove' { 'val' = s x } '{' }");
  const auto& keys = script.blocks.at(0).children;
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0].marker, ScriptMarker::Plain);
  EXPECT_EQ(keys[0].name, L"NoRemove");
  EXPECT_EQ(keys[0].children.at(0).kind, ScriptNode::Kind::Key);
  EXPECT_EQ(keys[1].name, L"{");
}

TEST(RegistryScriptTest, SubstitutedTextIsNotScannedAgain) {
  std::wstring out;
  ScriptError error;
  ASSERT_TRUE(SubstituteScriptVariables(L"a%X%b", {{L"X", L"%Y%"}}, &out, &error));
  EXPECT_EQ(out, L"a%Y%b");
  // "%%" is one percent sign at the very end of the text too.
  ASSERT_TRUE(SubstituteScriptVariables(L"100%%", {}, &out, &error));
  EXPECT_EQ(out, L"100%");
}

TEST(RegistryScriptTest, MalformedTextIsRejected) {
  const wchar_t* cases[] = {
      // roots
      L"HKCU { K }",
      L"'HKCR' { K }",
      L"HKEY_CURRENT_USER { }",
      L"K { }",
      L"HKCR K",
      L"HKCR",
      L"HKCR{ K }",
      L"HKCR { } HKLM",
      // braces
      L"HKCR { K {",
      L"HKCR { K { }",
      L"HKCR { K } }",
      L"HKCR { { } }",
      L"}",
      // values and data
      L"HKCR { val N s 'x' }",
      L"HKCR { val N }",
      L"HKCR { val }",
      L"HKCR { val '' = s x }",
      L"HKCR { val N = 'x' }",
      L"HKCR { val N = d '1' }",
      L"HKCR { val N = s }",
      L"HKCR { val N = s { }",
      L"HKCR { K = }",
      L"HKCR { = s x }",
      L"HKCR { ForceRemove val N = s x }",
      L"HKCR { NoRemove ForceRemove K }",
      L"HKCR { NoRemove }",
      // key names
      L"HKCR { Software\\Classes }",
      L"HKCR { 'a\\b' = s x }",
      L"HKCR { '' }",
      // strings
      L"HKCR { K = s 'open }",
      L"HKCR { K = s 'a''' }x",
      L"HKCR { 'a'b }",
      L"HKCR { a'b' }",
      L"HKCR { K = s '",
      // variables
      L"HKCR { K = s '%UNKNOWN%' }",
      L"HKCR { K = s '%MODULE' }",
      L"HKCR { K = s '100%' }",
      L"HKCR { K = s '%module%' }",
      L"HKCR { K = s '%A B%' }",
  };
  for (const wchar_t* text : cases) {
    RegistryScript script;
    script.blocks.resize(1);  // a failed parse leaves nothing behind
    ScriptError error;
    EXPECT_FALSE(ParseRegistryScript(text, kVariables, &script, &error))
        << std::string(text, text + wcslen(text));
    EXPECT_TRUE(script.blocks.empty());
    EXPECT_FALSE(error.message.empty());
  }
}

// A refused script says where and why, so that whoever edits one can find the fault: a
// script cut off right after a quoted name lacks its brace, while text glued to a closing
// quote is named as such.
TEST(RegistryScriptTest, ReasonsPointAtTheFault) {
  struct Case {
    const wchar_t* text;
    size_t offset;
    const wchar_t* reason;  // a part of the message
  };
  const Case cases[] = {
      {L"HKCR { K = s 'x'", 16, L"missing '}'"},
      {L"HKCR { K = s 'x' ", 16, L"missing '}'"},
      {L"HKCR { K = s 'x'}", 16, L"closing quote"},
      {L"HKCR { 'a'b }", 10, L"closing quote"},
      {L"HKCR { K = s 'x }", 13, L"unterminated string"},
      {L"HKCR { K = s", 12, L"missing value text"},  // cut off before the text, not a brace
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text, c.text + wcslen(c.text)));
    RegistryScript script;
    ScriptError error;
    ASSERT_FALSE(ParseRegistryScript(c.text, kVariables, &script, &error));
    EXPECT_EQ(error.offset, c.offset);
    EXPECT_NE(error.message.find(c.reason), std::wstring::npos)
        << std::string(error.message.begin(), error.message.end());
  }
}

TEST(RegistryScriptTest, NestingIsBoundedWithoutRecursionFailures) {
  auto nested = [](int depth) {
    std::wstring text = L"HKCR {";
    for (int i = 0; i < depth; ++i) text += L" K {";
    for (int i = 0; i <= depth; ++i) text += L" }";
    return text;
  };
  RegistryScript script;
  ScriptError error;
  // A root and 31 keys below it, 32 levels, are read; a 33rd level is refused.
  EXPECT_TRUE(ParseRegistryScript(nested(31), {}, &script, &error));
  EXPECT_FALSE(ParseRegistryScript(nested(32), {}, &script, &error));
  EXPECT_FALSE(ParseRegistryScript(nested(100000), {}, &script, &error));
  EXPECT_FALSE(ParseRegistryScript(std::wstring(200000, L'{'), {}, &script, &error));
}

// The DLL's own scripts read with the variables the registration sets.
TEST(RegistryScriptTest, ShippedScriptsParse) {
  std::string root = __FILE__;
  root = root.substr(0, root.rfind("tests/native/"));
  for (const char* name : {"resources/appid.rgs", "resources/imagefilecontextmenu.rgs"}) {
    std::ifstream file(root + name, std::ios::binary);
    ASSERT_TRUE(file) << name;
    std::stringstream bytes;
    bytes << file.rdbuf();
    const std::string narrow = bytes.str();
    RegistryScript script = ParseOk(std::wstring(narrow.begin(), narrow.end()));
    EXPECT_FALSE(script.blocks.empty()) << name;
  }
}

}  // namespace
}  // namespace framewise

#include "shellext/portable/module_paths.h"

namespace framewise {
namespace {

TEST(ModulePathsTest, QuotingFallbackAndHelpDirectory) {
  EXPECT_EQ(DoubleSingleQuotes(L"C:\\it's\\'x'.dll"), L"C:\\it''s\\''x''.dll");
  EXPECT_EQ(DoubleSingleQuotes(L"plain"), L"plain");

  struct Case {
    const wchar_t* path;
    const wchar_t* tlb;
    const wchar_t* helpDir;
  } cases[] = {
      {L"C:\\x\\Framewise.dll", L"C:\\x\\Framewise.tlb", L"C:\\x\\"},
      {L"C:\\x.y\\Framewise", L"C:\\x.y\\Framewise.tlb", L"C:\\x.y\\"},
      {L"C:/x/a.b.dll", L"C:/x/a.b.tlb", L"C:/x/"},
      {L"C:Framewise.dll", L"C:Framewise.tlb", L"C:"},
      {L"Framewise", L"Framewise.tlb", L""},
      {L"C:\\x\\.dll", L"C:\\x\\.tlb", L"C:\\x\\"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TypeLibFallbackPath(c.path), c.tlb);
    EXPECT_EQ(HelpDirectoryOf(c.path), c.helpDir);
  }
}

}  // namespace
}  // namespace framewise
