#include "shellext/portable/command_line.h"

#include "fitting/portable/geometry.h"

namespace framewise {

namespace {

bool IsHelp(const std::wstring& arg) {
  return arg == L"--help" || arg == L"-h" || arg == L"/?" || arg == L"help";
}

CommandLineRequest Invalid(const std::wstring& why) {
  CommandLineRequest request;
  request.error = why;
  return request;
}

}  // namespace

CommandLineRequest ParseCommandLine(const std::vector<std::wstring>& args) {
  if (args.empty()) return Invalid(L"no command given");
  for (const std::wstring& arg : args) {
    if (IsHelp(arg)) {
      CommandLineRequest help;
      help.action = CommandLineAction::Help;
      return help;
    }
  }
  if (args[0] != L"fit") return Invalid(L"unknown command \"" + args[0] + L"\"");
  if (args.size() != 3) return Invalid(L"fit takes a mode and one picture");
  const int mode = FitModeFromName(args[1].c_str());
  if (mode == FitModeNone) return Invalid(L"unknown mode \"" + args[1] + L"\"");
  if (args[2].empty()) return Invalid(L"no picture given");
  CommandLineRequest request;
  request.action = CommandLineAction::Fit;
  request.mode = mode;
  request.picture = args[2];
  return request;
}

}  // namespace framewise
