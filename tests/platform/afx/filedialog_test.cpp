// CFileDialog as the files page uses it: the library's "|" filter, several existing files picked
// at once and read back one by one, and a save dialog's single path with its parts.
#include "platform/afx/filedialog.h"

#include <gtest/gtest.h>

#include "platform/base/text.h"
#include "tests/support/test_host.h"
#include "tests/support/ui_script.h"

namespace {

using platform::commdlg::kFileNameId;
using platform::commdlg::kFileTypeId;

std::string utf8(const CString& s) { return platform::text::toUtf8(s.GetString()); }

class FileDialogTest : public ::testing::Test {
 protected:
  FileDialogTest() {
    host_.write("Desk/one.txt", "1");
    host_.write("Desk/two.doc", "2");
  }
  kipotest::TestHost host_;
};

TEST_F(FileDialogTest, SeveralFilesAreReadBackOneByOne) {
  CFileDialog dlg(TRUE, nullptr, nullptr, OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST, u"All Files (*.*)|*.*||");
  dlg.m_ofn.lpstrInitialDir = u"C:\\Desk";
  kipotest::UiScript ui;
  ui.window(u"#32770").type(kFileNameId, u"\"one.txt\" \"two.doc\"").click(IDOK);
  ASSERT_EQ(dlg.DoModal(), IDOK);
  std::vector<std::string> paths;
  for (POSITION pos = dlg.GetStartPosition(); pos;) paths.push_back(utf8(dlg.GetNextPathName(pos)));
  EXPECT_EQ(paths, (std::vector<std::string>{"C:\\Desk\\one.txt", "C:\\Desk\\two.doc"}));
}

TEST_F(FileDialogTest, OneFileAndItsParts) {
  CFileDialog dlg(FALSE, u"log", u"C:\\Desk\\report", OFN_OVERWRITEPROMPT, u"Logs (*.log)|*.log|All (*.*)|*.*||");
  kipotest::UiScript ui;
  ui.window(u"#32770").select(kFileTypeId, 1).click(IDOK);  // the initial name as it stands
  ASSERT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(utf8(dlg.GetPathName()), "C:\\Desk\\report.log");
  EXPECT_EQ(utf8(dlg.GetFileName()), "report.log");
  EXPECT_EQ(utf8(dlg.GetFileExt()), "log");
  EXPECT_EQ(utf8(dlg.GetFileTitle()), "report");
  EXPECT_EQ(dlg.m_ofn.nFilterIndex, 2u);
  POSITION pos = dlg.GetStartPosition();
  EXPECT_EQ(utf8(dlg.GetNextPathName(pos)), "C:\\Desk\\report.log");
  EXPECT_EQ(pos, nullptr);
}

TEST_F(FileDialogTest, CancelLeavesNoChoice) {
  CFileDialog dlg(TRUE);
  kipotest::UiScript ui;
  ui.window(u"#32770").click(IDCANCEL);
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(dlg.GetStartPosition(), nullptr);
  EXPECT_TRUE(dlg.GetPathName().IsEmpty());
}

}  // namespace
