// The console program's command line: what each form asks for, and the lines it refuses.
#include "shellext/portable/command_line.h"

#include <gtest/gtest.h>

namespace framewise {
namespace {

TEST(CommandLine, FitWithEachMode) {
  const struct {
    const wchar_t* name;
    int mode;
  } cases[] = {{L"Exact", 1}, {L"top", 2}, {L"LEFT", 3}, {L"Middle", 4}, {L"Bottom", 5}, {L"Right", 6}, {L"bestfit", 7}};
  for (const auto& c : cases) {
    const CommandLineRequest request = ParseCommandLine({L"fit", c.name, L"C:\\a b\\photo.jpg"});
    EXPECT_EQ(request.action, CommandLineAction::Fit) << c.name;
    EXPECT_EQ(request.mode, c.mode) << c.name;
    EXPECT_EQ(request.picture, L"C:\\a b\\photo.jpg");
  }
}

TEST(CommandLine, HelpWinsAnywhere) {
  for (const auto& args : std::vector<std::vector<std::wstring>>{
           {L"--help"}, {L"-h"}, {L"/?"}, {L"help"}, {L"fit", L"Middle", L"--help"}, {L"nonsense", L"/?"}}) {
    EXPECT_EQ(ParseCommandLine(args).action, CommandLineAction::Help) << args[0];
  }
}

TEST(CommandLine, WrongLinesSayWhy) {
  const struct {
    std::vector<std::wstring> args;
    const wchar_t* says;
  } cases[] = {
      {{}, L"no command"},
      {{L"Fit", L"Middle", L"a.jpg"}, L"unknown command \"Fit\""},  // commands are lower case
      {{L"set", L"Middle", L"a.jpg"}, L"unknown command"},
      {{L"fit"}, L"a mode and one picture"},
      {{L"fit", L"Middle"}, L"a mode and one picture"},
      {{L"fit", L"Middle", L"a.jpg", L"b.jpg"}, L"a mode and one picture"},
      {{L"fit", L"Centre", L"a.jpg"}, L"unknown mode \"Centre\""},
      {{L"fit", L"4", L"a.jpg"}, L"unknown mode"},
      {{L"fit", L"Middle", L""}, L"no picture"},
  };
  for (const auto& c : cases) {
    const CommandLineRequest request = ParseCommandLine(c.args);
    EXPECT_EQ(request.action, CommandLineAction::Invalid) << c.says;
    EXPECT_NE(request.error.find(c.says), std::wstring::npos) << "got: " << std::string(request.error.begin(), request.error.end());
  }
}

}  // namespace
}  // namespace framewise
