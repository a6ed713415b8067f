// The sparse package's manifest names the new menu's command by the text of
// shellext/portable/package_identity.h; the DLL's class object answers to the CLSID of
// shellext/guids.cpp. They must be one class, or Windows 11 would create nothing.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "shellext/guids.h"
#include "shellext/portable/package_identity.h"

namespace {

TEST(PackageIdentityTest, ManifestClassIsTheExplorerCommand) {
  CLSID clsid = {};
  ASSERT_EQ(CLSIDFromString(framewise::kExplorerCommandClsid, &clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, framewise::CLSID_FramewiseExplorerCommand));
}

}  // namespace
