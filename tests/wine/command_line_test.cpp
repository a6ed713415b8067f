// Framewise.exe, the console program: its commands in this process (with the Active
// Desktop stand-in), and the built program's exit codes and texts as a script sees them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/win_owners.h"
#include "shellext/command_line.h"
#include "shellext/portable/command_line.h"
#include "tests/support/active_desktop_stand_in.h"
#include "tests/support/handler_fixture.h"

using testsupport::Handler;
using testsupport::TempDir;

namespace {

class CommandLineTest : public testing::Test {
 protected:
  void SetUp() override {
    wide = dir.File(L"wide.jpg");
    ASSERT_TRUE(testsupport::WritePicture(wide, 1600, 800));
    ASSERT_TRUE(desktop.registered());
  }
  int Run(const std::vector<std::wstring>& args) {
    out.clear();
    err.clear();
    return framewise::RunCommandLine(args, &out, &err);
  }

  TempDir dir;
  std::wstring wide, out, err;
  testsupport::FileAside ini{testsupport::UserSettingsFile()};
  testsupport::FileAside jpeg{testsupport::UserWallpaperFile()};
  standin::ActiveDesktopStandIn desktop;
};

// The same engine as the menus: the same file, the same remembered choice, no window.
TEST_F(CommandLineTest, FitsLikeTheMenu) {
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  ASSERT_EQ(h.Invoke(framewise::FitModeRight), S_OK);
  const std::string classic = testsupport::ReadBytes(jpeg.path());
  ASSERT_TRUE(DeleteFileW(jpeg.path().c_str()));

  EXPECT_EQ(Run({L"fit", L"right", wide}), 0) << std::string(err.begin(), err.end());
  EXPECT_TRUE(err.empty());
  EXPECT_TRUE(testsupport::ReadBytes(jpeg.path()) == classic);
  EXPECT_EQ(desktop.record().wallpaper, jpeg.path());
  EXPECT_EQ(testsupport::ReadIniValue(ini.path(), L"Desktop", L"WhichPart"), L"Right");
  EXPECT_EQ(testsupport::ReadIniValue(ini.path(), L"Desktop", L"Photo"), wide);
}

// A picture named relative to the current folder is remembered by its full path, as the
// menu remembers it: the choice must still name it from anywhere else.
TEST_F(CommandLineTest, ARelativeNameIsRememberedInFull) {
  wchar_t before[MAX_PATH] = {};
  ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, before), 0u);
  ASSERT_TRUE(SetCurrentDirectoryW(dir.path().c_str()));
  const int code = Run({L"fit", L"right", L"wide.jpg"});
  SetCurrentDirectoryW(before);
  EXPECT_EQ(code, 0) << std::string(err.begin(), err.end());
  EXPECT_EQ(testsupport::ReadIniValue(ini.path(), L"Desktop", L"Photo"), wide);
}

TEST_F(CommandLineTest, FailuresWriteNothingAndSayWhy) {
  const std::wstring text = dir.File(L"text.jpg");
  ASSERT_TRUE(testsupport::WriteBytes(text, "no picture", 10));
  const std::wstring broken = dir.File(L"broken.jpg");
  ASSERT_TRUE(testsupport::WriteUndecodableJpeg(broken, 1600, 800));
  const struct {
    std::vector<std::wstring> args;
    int code;  // as documented: 1 the picture failed, 2 the command line was wrong
    const wchar_t* says;
  } cases[] = {
      {{}, 2, L"no command"},
      {{L"fit", L"Centre", L"x.jpg"}, 2, L"unknown mode"},
      {{L"fit", L"Top", L"<wide>"}, 2, L"use one of: Left, Middle, Right, BestFit"},
      {{L"fit", L"Middle", L"<missing>"}, 1, L"no such picture"},
      {{L"fit", L"Middle", L"<folder>"}, 1, L"no such picture"},
      {{L"fit", L"Middle", L"<text>"}, 1, L"not a picture"},
      {{L"fit", L"Middle", L"<broken>"}, 1, L"could not be fitted"},
  };
  for (auto c : cases) {
    for (std::wstring& arg : c.args) {
      if (arg == L"<wide>") arg = wide;
      if (arg == L"<missing>") arg = dir.File(L"gone.jpg");
      if (arg == L"<folder>") arg = dir.path();
      if (arg == L"<text>") arg = text;
      if (arg == L"<broken>") arg = broken;
    }
    SCOPED_TRACE(std::string(c.says, c.says + wcslen(c.says)));
    EXPECT_EQ(Run(c.args), c.code);
    EXPECT_NE(err.find(c.says), std::wstring::npos) << std::string(err.begin(), err.end());
    EXPECT_TRUE(out.empty());
  }
  EXPECT_FALSE(testsupport::FileExists(jpeg.path()));
  EXPECT_FALSE(testsupport::FileExists(ini.path()));
  EXPECT_EQ(desktop.record().setWallpaperCalls, 0);
}

// The built program, as a script runs it: its exit code and what it prints.
DWORD RunProgram(const std::wstring& arguments, std::string* output) {
  const std::wstring program = testsupport::FramewiseDllPath().substr(
      0, testsupport::FramewiseDllPath().find_last_of(L'\\') + 1) + L"Framewise.exe";
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) return 0xFFFFFFFF;
  const fw::UniqueHandle reader(read), writer(write);
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write;
  startup.hStdError = write;
  PROCESS_INFORMATION process = {};
  std::wstring line = L"\"" + program + L"\" " + arguments;
  if (!CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                      &startup, &process)) {
    return 0xFFFFFFFF;
  }
  const fw::UniqueHandle processHandle(process.hProcess), thread(process.hThread);
  // Small outputs only: the pipe holds them until the program has ended.
  WaitForSingleObject(process.hProcess, 60000);
  DWORD code = 0xFFFFFFFF;
  GetExitCodeProcess(process.hProcess, &code);
  char buffer[4096];
  DWORD got = 0, available = 0;
  while (PeekNamedPipe(read, nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
         ReadFile(read, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    output->append(buffer, got);
  }
  return code;
}

TEST_F(CommandLineTest, TheProgramsExitCodes) {
  std::string output;
  EXPECT_EQ(RunProgram(L"--help", &output), 0u);
  EXPECT_NE(output.find("Usage: Framewise fit MODE PICTURE"), std::string::npos) << output;
  EXPECT_NE(output.find("Middle   Fill Screen (Middle Portion of Picture)"), std::string::npos) << output;
  // Every mode, the first and the last included.
  for (const char* mode :
       {"Exact    ", "Top      ", "Left     ", "Bottom   ", "Right    ", "BestFit  "}) {
    EXPECT_NE(output.find(std::string("  ") + mode), std::string::npos) << mode << output;
  }
  output.clear();
  EXPECT_EQ(RunProgram(L"fit Sideways \"" + wide + L"\"", &output), 2u);
  EXPECT_NE(output.find("unknown mode \"Sideways\""), std::string::npos) << output;
  output.clear();
  EXPECT_EQ(RunProgram(L"fit Middle \"" + dir.File(L"gone.jpg") + L"\"", &output), 1u);
  EXPECT_NE(output.find("no such picture"), std::string::npos) << output;
  EXPECT_FALSE(testsupport::FileExists(jpeg.path()));
}

}  // namespace
