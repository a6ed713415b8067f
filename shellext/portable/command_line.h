// The console program's command line: what it asks for, and the usage text.
#pragma once

#include <string>
#include <vector>

namespace framewise {

// What the program ends with: scripts test these.
enum CommandLineExit : int {
  kExitDone = 0,     // the wallpaper is set
  kExitFailed = 1,   // the picture could not be read, fitted, written or applied
  kExitUsage = 2,    // the command line was wrong, or the mode does not fit the picture's
                     // shape; nothing was written
};

enum class CommandLineAction { Help, Fit, Invalid };

struct CommandLineRequest {
  CommandLineAction action = CommandLineAction::Invalid;
  int mode = 0;           // a fit mode, for Fit
  std::wstring picture;   // as given, for Fit
  std::wstring error;     // why the line is wrong, for Invalid
};

// Reads the arguments after the program's name: "fit MODE PICTURE", or "--help" (also
// "-h", "/?", "help"). Modes are the stored names (Exact, Top, Left, Middle, Bottom,
// Right, BestFit), in any letter case.
CommandLineRequest ParseCommandLine(const std::vector<std::wstring>& args);

}  // namespace framewise
