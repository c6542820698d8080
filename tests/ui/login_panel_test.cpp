// The login panel: its size rule, the page it writes (one thumbnail or no-preview cell and one
// nickname link per listed computer, in UTF-8), the link words' encoding for any nickname, and
// the link protocol (commands, nicknames, this computer, ordinary addresses).
#include "ui/login_panel.h"

#include <gtest/gtest.h>

#include <string>

#include "app/folder_lookup.h"
#include "app/preference_file.h"
#include "lang/ids.h"
#include "platform/win32/win32.h"
#include "tests/ui/login_fixture.h"

namespace {

using logintest::LoginTest;

std::string readHostFile(const CString& path) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes(1 << 16, '\0');
  DWORD read = 0;
  ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  CloseHandle(file);
  bytes.resize(read);
  return bytes;
}

class LoginPanelTest : public LoginTest {};

TEST_F(LoginPanelTest, PanelSizeFollowsTheListedComputers) {
  struct Case {
    int listed;
    int screenWidth;
    int width, height;
    bool scrolls;
  };
  const Case cases[] = {
      {0, 1024, 340, 215, false},  // nothing listed: the no-login page's size
      {3, 1024, 459, 150, false},  // 153 pixels per computer
      {3, 400, 400, 165, true},    // wider than the screen: screen-wide, room for the scroll bar
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.listed * 10000 + c.screenWidth);
    resetGlobals();
    getDevicePrefs().setFilePath(CString(u"E:\\Synchronized Computers\\customizer.pref"));
    std::filesystem::remove_all(computersFolder());
    setScreen(c.screenWidth, 768);
    const char16_t* names[] = {u"ALPHA", u"BETA", u"GAMMA"};
    for (int i = 0; i < c.listed; ++i) addProfile(names[i], names[i]);
    addProfile(u"DELTA", u"Unlisted", false);  // no folder on the drive: not counted
    CLoginPanel panel;
    int width = 0, height = 0;
    EXPECT_TRUE(panel.getPanelSize(width, height));
    EXPECT_EQ(width, c.width);
    EXPECT_EQ(height, c.height);
    EXPECT_EQ(panel.needsHorizontalScroll(), c.scrolls);
  }
}

TEST_F(LoginPanelTest, LinkWordsCarryAnyNicknameThereAndBack) {
  struct Case {
    std::u16string nickname;
    std::u16string encoded;
  };
  const Case cases[] = {
      {u"Home", u"Home"},
      {u"My PC", u"My%20PC"},
      {u"Jos\u00e9 PC", u"Jos%C3%A9%20PC"},
      {u"50% & more", u"50%25%20%26%20more"},
      {u"\u65e5\u672c", u"%E6%97%A5%E6%9C%AC"},
  };
  for (const Case& c : cases) {
    const CString encoded = CLoginPanel::encodeLinkWord(CString(c.nickname.c_str()));
    EXPECT_EQ(std::u16string(encoded.GetString()), c.encoded);
    EXPECT_EQ(std::u16string(CLoginPanel::decodeLinkWord(encoded).GetString()), c.nickname);
  }
  // What a browser may hand over as it stands in the page, and stray percent signs, stay as they are.
  EXPECT_EQ(std::u16string(CLoginPanel::decodeLinkWord(u"Caf\u00e9 Bar").GetString()), u"Caf\u00e9 Bar");
  EXPECT_EQ(std::u16string(CLoginPanel::decodeLinkWord(u"100%").GetString()), u"100%");
  EXPECT_EQ(std::u16string(CLoginPanel::decodeLinkWord(u"a%zzb%4").GetString()), u"a%zzb%4");
}

TEST_F(LoginPanelTest, ThePageListsEveryComputerWithItsLink) {
  addProfile(u"ALPHA", u"Jos\u00e9 PC");
  addProfile(u"BETA", u"A&B");
  addProfile(u"GAMMA", u"Gone", false);
  CLoginPanel panel;
  int count = -1;
  ASSERT_TRUE(panel.generateLoginHtml(count));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(panel.m_computerCount, 2);
  const std::string bytes = readHostFile(CLoginPanel::loginPagePath());
  EXPECT_EQ(bytes.find("<screenshots>"), std::string::npos);
  EXPECT_EQ(bytes.find("<nicknames>"), std::string::npos);
  EXPECT_NE(bytes.find("<td NOWRAP><center><a href=\"**Jos%C3%A9%20PC\">Jos\xC3\xA9 PC</a></td>\r\n"), std::string::npos)
      << bytes;
  EXPECT_NE(bytes.find("<a href=\"**A%26B\">A&amp;B</a>"), std::string::npos) << bytes;
  EXPECT_EQ(bytes.find("Gone"), std::string::npos);
  // Without a stored wallpaper every computer gets the no-preview cell.
  std::size_t cells = 0;
  for (std::size_t at = 0; (at = bytes.find("**qx_nopreview\">No Preview Available<", at)) != std::string::npos; ++at) ++cells;
  EXPECT_EQ(cells, 2u);
  EXPECT_NE(bytes.find("overflow-x:hidden;"), std::string::npos);
  EXPECT_NE(bytes.substr(0, 3), "\xEF\xBB\xBF") << "no byte-order mark";
}

TEST_F(LoginPanelTest, LinksAreCommandsAndNicknames) {
  CSystemProfile* beta = addProfile(u"BETA", u"Laptop Two");
  CLoginPanel panel;
  struct Case {
    const char16_t* url;
    bool cancelled;
    LONG postedType;  // -2: nothing posted
    CSystemProfile* profile;
    int box;          // message id shown, 0 for none
  };
  const Case cases[] = {
      {u"http://example.com/page.html", false, -2, nullptr, 0},
      {u"file:///C:/x/**Nobody", true, -2, nullptr, 0},
      {u"file:///C:/x/**Laptop%20Two", true, CLoginMessage::kComputerChosen, beta, 0},
      {u"file:///C:/x/**laptop two", true, CLoginMessage::kComputerChosen, beta, 0},
      {u"file:///C:/x/**qx_synchronize", true, CLoginMessage::kSynchronizeLink, nullptr, 0},
      {u"file:///C:/x/**qx_nopreview", true, -2, nullptr, IDS_LOGIN_NO_PREVIEW_WHY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(utf8(CString(c.url)));
    services.seen.clear();
    boxes.clear();
    BOOL cancel = FALSE;
    panel.followLink(CString(c.url), &cancel);
    EXPECT_EQ(cancel != FALSE, c.cancelled);
    if (c.postedType == -2) {
      EXPECT_TRUE(services.seen.empty());
    } else {
      ASSERT_EQ(services.seen.size(), 1u);
      EXPECT_EQ(services.seen[0].type, c.postedType);
      EXPECT_EQ(services.seen[0].profile, c.profile);
      EXPECT_TRUE(services.seen[0].posted);
    }
    EXPECT_EQ(boxes.size(), c.box ? 1u : 0u);
    if (c.box && !boxes.empty()) {
      EXPECT_EQ(utf8(boxes[0].text).substr(0, 13), "No preview is");
    }
  }
}

}  // namespace
