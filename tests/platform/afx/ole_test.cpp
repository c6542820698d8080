// The framework's start-up switches: OLE on the thread, the control container switch, and the
// rich-edit classes each initialiser brings.
#include "platform/afx/ole.h"

#include <gtest/gtest.h>

#include "platform/com/runtime.h"
#include "platform/win32/controls/richedit.h"
#include "platform/win32/error.h"
#include "platform/win32/window.h"
#include "tests/support/test_host.h"

namespace {

class OleInitTest : public ::testing::Test {
 protected:
  kipotest::TestHost host_;
};

TEST_F(OleInitTest, OleInitInitialisesTheThreadAndRefusesAMultithreadedOne) {
  ASSERT_TRUE(AfxOleInit());
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE) << "the thread is initialised already";
  CoUninitialize();
  OleUninitialize();
  EXPECT_TRUE(AfxOleInit()) << "again after uninitialising";
  OleUninitialize();

  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  EXPECT_FALSE(AfxOleInit());
  CoUninitialize();
}

TEST_F(OleInitTest, ControlContainerIsASwitchThatStaysOn) {
  EXPECT_FALSE(platform::afx::controlContainerEnabled());
  AfxEnableControlContainer();
  EXPECT_TRUE(platform::afx::controlContainerEnabled());
  AfxEnableControlContainer();
  EXPECT_TRUE(platform::afx::controlContainerEnabled());
}

bool canCreate(const char16_t* cls) {
  HWND h = CreateWindowExW(0, cls, u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  if (h) DestroyWindow(h);
  return h != nullptr;
}

TEST_F(OleInitTest, EachRichEditInitialiserBringsItsClasses) {
  struct Step {
    const char* rule;
    BOOL (*init)();
    bool version1, version2;
  } steps[] = {
      {"nothing before", nullptr, false, false},
      {"AfxInitRichEdit: the first version", AfxInitRichEdit, true, false},
      {"AfxInitRichEdit2: the second too", AfxInitRichEdit2, true, true},
  };
  for (const auto& s : steps) {
    if (s.init) {
      EXPECT_TRUE(s.init()) << s.rule;
    }
    EXPECT_EQ(canCreate(RICHEDIT_CLASS10W), s.version1) << s.rule;
    EXPECT_EQ(canCreate(RICHEDIT_CLASSW), s.version2) << s.rule;
  }
}

}  // namespace
