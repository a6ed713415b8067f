// The console program Framewise.exe: a picture fitted from the command line, with the
// menus' engine and row rules, for scripts (a scheduled task, a daily photo). The app
// package also needs an executable of its own; this is it.
#pragma once

#include <string>
#include <vector>

namespace framewise {

// Runs the arguments after the program's name; what a user should read goes to `out`
// (help) or `err` (what went wrong). Returns a CommandLineExit value. COM (apartment
// threaded) must be initialised on the calling thread.
int RunCommandLine(const std::vector<std::wstring>& args, std::wstring* out, std::wstring* err);

}  // namespace framewise
