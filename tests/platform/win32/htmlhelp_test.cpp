// HTML Help: a help file that exists opens one help window per file with the topic recorded; a
// missing one fails; every call is recorded.
#include "platform/win32/htmlhelp.h"

#include <gtest/gtest.h>

#include "platform/base/text.h"
#include "tests/platform/win32/window_fixture.h"

namespace {

using namespace wintest;
using platform::htmlhelp::requests;

class HtmlHelpTest : public WindowFixture {
 protected:
  HtmlHelpTest() { platform::htmlhelp::clearRequests(); }
  ~HtmlHelpTest() override { HtmlHelpW(nullptr, nullptr, HH_CLOSE_ALL, 0); }
};

TEST_F(HtmlHelpTest, ShowsAnExistingFileAtItsTopic) {
  host_.write("Help/Kipo.chm", "ITSF");
  HWND owner = make(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  HWND w = HtmlHelpW(owner, u"C:\\Help\\Kipo.chm::/start.htm>main", HH_DISPLAY_TOPIC, 0);
  ASSERT_TRUE(w);
  WCHAR cls[32] = {}, title[64] = {};
  GetClassNameW(w, cls, 32);
  GetWindowTextW(w, title, 64);
  EXPECT_EQ(std::u16string(cls), u"HH Parent");
  EXPECT_EQ(std::u16string(title), u"Kipo");
  EXPECT_TRUE(IsWindowVisible(w));
  EXPECT_EQ(GetWindow(w, GW_OWNER), owner);

  // The same file again (any case) reuses the window; the topic may also come in dwData.
  EXPECT_EQ(HtmlHelpW(owner, u"c:\\help\\KIPO.CHM", HH_DISPLAY_TOPIC, reinterpret_cast<DWORD_PTR>(u"/faq.htm")), w);
  EXPECT_EQ(HtmlHelpW(owner, u"C:\\Help\\Kipo.chm", HH_HELP_CONTEXT, 42), w);

  auto r = requests();
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].file, u"C:\\Help\\Kipo.chm");
  EXPECT_EQ(r[0].topic, u"/start.htm");
  EXPECT_TRUE(r[0].shown);
  EXPECT_EQ(r[1].topic, u"/faq.htm");
  EXPECT_EQ(r[2].command, static_cast<UINT>(HH_HELP_CONTEXT));
  EXPECT_EQ(r[2].data, 42u);

  HtmlHelpW(nullptr, nullptr, HH_CLOSE_ALL, 0);
  EXPECT_FALSE(IsWindow(w));
}

TEST_F(HtmlHelpTest, FailsForAMissingFileOrAFolderAndRecordsIt) {
  host_.write("Help/Folder.chm/x", "x");
  for (const char16_t* file : {u"C:\\Help\\Kipo_FRA.chm", u"C:\\Help\\Folder.chm", u"", u"Z:\\Kipo.chm"}) {
    EXPECT_EQ(HtmlHelpW(nullptr, file, HH_DISPLAY_TOPIC, 0), nullptr) << platform::text::toUtf8(file);
  }
  auto r = requests();
  ASSERT_EQ(r.size(), 4u);
  for (const auto& one : r) EXPECT_FALSE(one.shown);
  EXPECT_EQ(FindWindowW(u"HH Parent", nullptr), nullptr);
}

TEST_F(HtmlHelpTest, InitializeHandsOutACookie) {
  DWORD cookie = 0;
  EXPECT_EQ(HtmlHelpW(nullptr, nullptr, HH_INITIALIZE, reinterpret_cast<DWORD_PTR>(&cookie)), nullptr);
  EXPECT_NE(cookie, 0u);
  EXPECT_EQ(HtmlHelpW(nullptr, nullptr, HH_UNINITIALIZE, cookie), nullptr);
}

}  // namespace
