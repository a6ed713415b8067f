// Dialog data exchange on real controls: a control's text both ways, whole at every length,
// and a check box's three states, with anything else shown clear.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "framework/dialog.h"
#include "tests/support/test_support.h"

namespace fw {
namespace {

HWND Child(HWND host, const wchar_t* cls, DWORD style, int id) {
  return CreateWindowExW(0, cls, L"", WS_CHILD | style, 0, 0, 200, 20, host,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), nullptr);
}

TEST(DialogDataExchange, TextsOfEveryLengthAndCheckStates) {
  testsupport::UniqueWindow host(CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 300, 100,
                                                 nullptr, nullptr, GetModuleHandleW(nullptr),
                                                 nullptr));
  ASSERT_TRUE(host);
  ASSERT_NE(Child(host.get(), L"EDIT", ES_AUTOHSCROLL, 101), nullptr);
  ASSERT_NE(Child(host.get(), L"BUTTON", BS_AUTO3STATE, 102), nullptr);

  for (const std::wstring& text :
       {std::wstring(), std::wstring(L"x"), std::wstring(L"two words"), std::wstring(300, L'w')}) {
    SCOPED_TRACE(text.size());
    std::wstring shown = text;
    CDataExchange load(host.get(), false);
    DDX_Text(&load, 101, shown);
    std::wstring read = L"marker";
    CDataExchange save(host.get(), true);
    DDX_Text(&save, 101, read);
    EXPECT_EQ(read, text);
    EXPECT_FALSE(save.failed());
  }

  const struct { int shown, read; } states[] = {{0, 0}, {1, 1}, {2, 2}, {3, 0}, {-1, 0}};
  for (const auto& s : states) {
    SCOPED_TRACE(s.shown);
    int value = s.shown;
    CDataExchange load(host.get(), false);
    DDX_Check(&load, 102, value);
    EXPECT_EQ(value, s.read);
    int read = 99;
    CDataExchange save(host.get(), true);
    DDX_Check(&save, 102, read);
    EXPECT_EQ(read, s.read);
  }

  // A control the dialog does not have fails the exchange and leaves the member.
  std::wstring untouched = L"kept";
  CDataExchange missing(host.get(), true);
  DDX_Text(&missing, 999, untouched);
  EXPECT_TRUE(missing.failed());
  EXPECT_EQ(untouched, L"kept");
}

}  // namespace
}  // namespace fw
