// The licence agreement and the intro movie: the agreement page of the current language, the
// answers Accept, Decline and a close give, printing through the browser; the intro movie's file,
// and the start-up choice that only Continue stores.
#include <gtest/gtest.h>

#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/registry.h"
#include "lang/ids.h"
#include "platform/afx/occ.h"
#include "platform/afx/ole.h"
#include "platform/com/controls.h"
#include "platform/host/ole_controls.h"
#include "platform/win32/win32.h"
#include "tests/support/ui_script.h"
#include "tests/ui/login_fixture.h"
#include "ui/flash_dialog.h"
#include "ui/license_dialog.h"

namespace {

using logintest::LoginTest;

constexpr char16_t kProductKey[] = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo";

class LanguageHost : public logintest::ScriptedHost {
 public:
  CString languageCode() override { return code; }
  CString code{u"FRA"};
};

class FirstRunDialogsTest : public LoginTest {
 protected:
  FirstRunDialogsTest() {
    AfxOleInit();
    AfxEnableControlContainer();
  }
  ~FirstRunDialogsTest() override { OleUninitialize(); }

  static void writeHostFile(const CString& path, const std::string& bytes) {
    ASSERT_TRUE(createDirectoryTree(getParentFolder(path)));
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
  }
  static std::string showIntroMovie() {
    DWORD value = 0;
    CRegistry product{CString(kProductKey)};
    return product.isOpen() && product.getDword(u"showIntroMovie", value) ? std::to_string(value) : "<none>";
  }

  LanguageHost host_;
};

TEST_F(FirstRunDialogsTest, TheAgreementIsThePageOfTheCurrentLanguage) {
  const CString page = CLicenseDialog::agreementPagePath(u"FRA");
  EXPECT_EQ(utf8(page.Right(14)), "\\EULA_FRA.html");
  EXPECT_EQ(utf8(getParentFolder(page)), utf8(CFolderLookup::getProductAppDataPath()));
  writeHostFile(page, "<html><body><p>Contrat</p></body></html>");

  CLicenseDialog dialog;
  ASSERT_TRUE(dialog.Create(IDD_LICENSE, nullptr));
  EXPECT_EQ(utf8(dialog.m_browser.GetLocationURL()), utf8(CString(u"file://") + toForwardSlashes(page)));
  EXPECT_FALSE(dialog.m_browser.GetRegisterAsDropTarget()) << "a file dropped on the page is not opened";

  // Print hands the page to the browser's own print command.
  const std::size_t before = platform::host::printJobs().size();
  dialog.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_LICENSE_PRINT, BN_CLICKED),
                     reinterpret_cast<LPARAM>(dialog.GetDlgItem(IDC_LICENSE_PRINT)->m_hWnd));
  const auto jobs = platform::host::printJobs();
  ASSERT_EQ(jobs.size(), before + 1);
  EXPECT_EQ(utf8(CString(jobs.back().document.c_str())), utf8(dialog.m_browser.GetLocationURL()));
  EXPECT_EQ(jobs.back().option, static_cast<DWORD>(OLECMDEXECOPT_DODEFAULT));
  dialog.DestroyWindow();
}

TEST_F(FirstRunDialogsTest, TheAgreementAnswersAcceptOnlyForAccept) {
  // No page for this language: the browser stays empty and the answer is given all the same.
  host_.code = u"DEU";
  struct Case {
    const char* label;
    int control;  // 0: the caption's Close
    int result;
  };
  const Case cases[] = {
      {"accept", IDC_LICENSE_ACCEPT, IDOK},
      {"decline", IDC_LICENSE_DECLINE, IDCANCEL},
      {"closed", 0, IDCANCEL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    kipotest::UiScript ui;
    if (c.control)
      ui.dialog(IDD_LICENSE).click(c.control);
    else
      ui.dialog(IDD_LICENSE).close();
    CLicenseDialog dialog;
    EXPECT_EQ(dialog.DoModal(), c.result);
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(FirstRunDialogsTest, OnlyContinueStoresWhetherTheMovieShowsAtStart) {
  struct Case {
    const char* label;
    int box;  // the box's state before Continue; -1: closed without Continue
    const char* stored;
  };
  const Case cases[] = {
      {"box left ticked", 1, "1"},
      {"box unticked", 0, "0"},
      {"closed another way", -1, "<none>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    CRegistry product{CString(kProductKey), true, true};
    product.deleteValue(u"showIntroMovie");
    kipotest::UiScript ui;
    if (c.box < 0)
      ui.dialog(IDD_INTRO_MOVIE).close();
    else
      ui.dialog(IDD_INTRO_MOVIE).check(IDC_INTRO_SHOW_AT_START, c.box).click(IDOK);
    CFlashDialog dialog;
    EXPECT_EQ(dialog.DoModal(), c.box < 0 ? IDCANCEL : IDOK);
    EXPECT_EQ(showIntroMovie(), c.stored);
  }
}

TEST_F(FirstRunDialogsTest, TheMovieIsTheProductFoldersIntro) {
  CFlashDialog dialog;
  ASSERT_TRUE(dialog.Create(IDD_INTRO_MOVIE, nullptr));
  EXPECT_EQ(utf8(dialog.m_player.GetMovie()), utf8(CFolderLookup::getProductAppDataPath() + u"\\intro.swf"));
  EXPECT_EQ(dialog.IsDlgButtonChecked(IDC_INTRO_SHOW_AT_START), static_cast<UINT>(BST_CHECKED));
  CString caption;
  dialog.GetWindowText(caption);
  EXPECT_EQ(utf8(caption), "Welcome to Kipo");
  dialog.DestroyWindow();
}

}  // namespace
