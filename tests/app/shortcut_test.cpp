// CShortcut over the shell-link object: what a shortcut points to (and the kind of target, with
// program files recognised by name before anything is looked up), and changes saved to the file.
#include "app/shortcut.h"

#include "platform/com/runtime.h"
#include "tests/app/app_fixture.h"

namespace {

using apptest::AppTest;

class ShortcutTest : public AppTest {
 protected:
  ShortcutTest() { CoInitialize(nullptr); }
  ~ShortcutTest() override { CoUninitialize(); }

  // A shortcut file made through the shell-link object, as Explorer would make one.
  static void makeLink(const char16_t* link, const char16_t* target, const char16_t* arguments = u"") {
    CShortcut s{CString(link)};
    ASSERT_TRUE(s.setTargetPath(CString(target)));
    if (*arguments) {
      ASSERT_TRUE(s.setArguments(CString(arguments)));
    }
  }
};

TEST_F(ShortcutTest, TargetTypes) {
  host.write("Data/report.doc", "x");
  host.write("Data/Folder/inside.txt", "x");
  host.write("Data/tool.EXE", "x");
  struct Case {
    const char16_t* link;
    const char16_t* target;
    int type;
  } cases[] = {
      {u"C:\\Links\\file.lnk", u"C:\\Data\\report.doc", CShortcut::ExistingFile},
      {u"C:\\Links\\folder.lnk", u"C:\\Data\\Folder", CShortcut::ExistingFolder},
      {u"C:\\Links\\gone.lnk", u"C:\\Data\\gone.doc", CShortcut::Missing},
      {u"C:\\Links\\tool.lnk", u"C:\\Data\\tool.EXE", CShortcut::Program},
      {u"C:\\Links\\script.lnk", u"C:\\Nowhere\\run.bat", CShortcut::Program},  // by name alone
      {u"C:\\Links\\old.lnk", u"C:\\Nowhere\\old.com", CShortcut::Program},
  };
  std::filesystem::create_directories(host.c("Links"));
  for (const Case& c : cases) {
    makeLink(c.link, c.target);
    CShortcut s{CString(c.link)};
    EXPECT_EQ(utf8(s.getTargetPath()), utf8(CString(c.target)));
    EXPECT_EQ(s.getTargetType(), c.type) << utf8(CString(c.target));
  }
}

TEST_F(ShortcutTest, AMissingOrDamagedLinkHasNoTarget) {
  host.write("Links/bad.lnk", "not a shortcut");
  for (const char16_t* link : {u"C:\\Links\\bad.lnk", u"C:\\Links\\none.lnk"}) {
    CShortcut s{CString(link)};
    EXPECT_TRUE(s.getTargetPath().IsEmpty());
    EXPECT_EQ(s.getTargetType(), CShortcut::Missing);
  }
}

TEST_F(ShortcutTest, SettingArgumentsKeepsTheTarget) {
  std::filesystem::create_directories(host.c("Links"));
  makeLink(u"C:\\Links\\app.lnk", u"C:\\Program Files\\App\\app.exe");
  {
    CShortcut s{CString(u"C:\\Links\\app.lnk")};
    ASSERT_TRUE(s.setArguments(CString(u"/quiet")));
  }
  CShortcut again{CString(u"C:\\Links\\app.lnk")};
  EXPECT_EQ(utf8(again.getTargetPath()), "C:\\Program Files\\App\\app.exe");
}

TEST_F(ShortcutTest, WithoutComNothingWorks) {
  CoUninitialize();
  {
    CShortcut s{CString(u"C:\\Links\\x.lnk")};
    EXPECT_FALSE(s.setTargetPath(CString(u"C:\\a.txt")));
    EXPECT_TRUE(s.getTargetPath().IsEmpty());
  }
  CoInitialize(nullptr);
}

}  // namespace
