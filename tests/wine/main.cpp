// Entry point of the test program that runs under Wine: a single-threaded apartment,
// as on the shell's user-interface thread.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/api_contracts.h"
#include "tests/support/com_apartment.h"

namespace {

// Every test's Windows calls checked against their documented arguments; the run fails at
// its end with the calls that were not.
class ApiContracts : public testing::Environment {
 public:
  void SetUp() override {
    check_ = std::make_unique<testsupport::ApiContractCheck>();
    EXPECT_EQ(testsupport::ApiContractCheck::Checked(), 6);
  }
  void TearDown() override {
    check_.reset();
    EXPECT_EQ(testsupport::ApiContractCheck::Violations(), "");
  }

 private:
  std::unique_ptr<testsupport::ApiContractCheck> check_;
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::AddGlobalTestEnvironment(new ApiContracts);
  const testsupport::ComApartment apartment(COINIT_APARTMENTTHREADED);
  if (!apartment) return 2;
  return RUN_ALL_TESTS();
}
