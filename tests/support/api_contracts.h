// Windows calls checked against their documented arguments while an owner lives: flags
// and options each function defines, reserved arguments zero, and no registry key made
// volatile (what is registered must outlive a restart). Windows may refuse what Wine
// lets through (WideCharToMultiByte fails with ERROR_INVALID_FLAGS), so a call outside
// its contract is a fault even where Wine does not show it.
#pragma once

#include <string>

namespace testsupport {

class ApiContractCheck {
 public:
  ApiContractCheck();  // patches this program's imports
  ~ApiContractCheck();
  ApiContractCheck(const ApiContractCheck&) = delete;
  ApiContractCheck& operator=(const ApiContractCheck&) = delete;

  // How many functions are checked: those this program imports.
  static int Checked();
  // Every call so far outside its contract, a line each; empty when there was none.
  static std::string Violations();
};

}  // namespace testsupport
