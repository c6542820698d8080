// The shell-link server as the product uses it: a shortcut made, saved and read back through a
// second object, resolved while its target exists and after it is gone; load failures that leave
// the link as it was; and a table of corrupt shortcut files.
#include "platform/com/shelllink.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/base/text.h"
#include "platform/com/runtime.h"
#include "tests/support/test_host.h"

namespace {

using platform::com::Ptr;

class ShellLinkTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(CoInitialize(nullptr), S_OK); }
  void TearDown() override { CoUninitialize(); }

  // A new link object, as the product makes one: in process, for IShellLinkW, then its file side.
  void make(Ptr<IShellLinkW>& link, Ptr<IPersistFile>& file) {
    ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.putVoid()), S_OK);
    ASSERT_EQ(link.as(file), S_OK);
  }

  void writeBytes(const std::string& linuxName, const std::string& bytes) {
    std::ofstream(host_.c(linuxName), std::ios::binary) << bytes;
  }

  std::string readBytes(const std::string& linuxName) {
    std::ifstream in(host_.c(linuxName), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  kipotest::TestHost host_;
};

std::u16string get(HRESULT (STDMETHODCALLTYPE IShellLinkW::*getter)(LPWSTR, int), IShellLinkW* link) {
  WCHAR buffer[MAX_PATH];
  buffer[0] = u'#';
  EXPECT_EQ((link->*getter)(buffer, MAX_PATH), S_OK);
  return buffer;
}

TEST_F(ShellLinkTest, ShortcutWrittenAndResolved) {
  writeBytes("Tools.txt", "twelve bytes");
  Ptr<IShellLinkW> link;
  Ptr<IPersistFile> file;
  make(link, file);
  EXPECT_EQ(file->IsDirty(), S_FALSE);
  ASSERT_EQ(link->SetPath(u"C:\\Tools.txt"), S_OK);
  ASSERT_EQ(link->SetArguments(u"/quiet \"two words\""), S_OK);
  ASSERT_EQ(link->SetWorkingDirectory(u"C:\\WINDOWS"), S_OK);
  ASSERT_EQ(link->SetDescription(u"Tool list \u00E9t\u00E9"), S_OK);
  ASSERT_EQ(link->SetIconLocation(u"C:\\WINDOWS\\system32\\shell32.dll", -3), S_OK);
  ASSERT_EQ(link->SetShowCmd(7), S_OK);
  ASSERT_EQ(link->SetHotkey(0x0641), S_OK);
  EXPECT_EQ(file->IsDirty(), S_OK);
  ASSERT_EQ(file->Save(u"C:\\Tools.lnk", TRUE), S_OK);
  EXPECT_EQ(file->IsDirty(), S_FALSE);
  LPOLESTR current = nullptr;
  ASSERT_EQ(file->GetCurFile(&current), S_OK);
  EXPECT_EQ(std::u16string(current), u"C:\\Tools.lnk");
  CoTaskMemFree(current);
  EXPECT_TRUE(std::filesystem::is_regular_file(host_.c("Tools.lnk")));

  // A second object reads it back the way shortcuts are followed: load, resolve without UI and
  // without search or update, get the path preferring UNC names.
  Ptr<IShellLinkW> again;
  Ptr<IPersistFile> againFile;
  make(again, againFile);
  ASSERT_EQ(againFile->Load(u"C:\\tools.LNK", STGM_READ), S_OK);
  EXPECT_EQ(again->Resolve(nullptr, SLR_NO_UI | SLR_NOUPDATE | SLR_NOSEARCH | SLR_NOTRACK | SLR_NOLINKINFO), S_OK);
  WCHAR path[MAX_PATH];
  WIN32_FIND_DATAW data;
  std::memset(&data, 0xBD, sizeof(data));
  ASSERT_EQ(again->GetPath(path, MAX_PATH, &data, SLGP_UNCPRIORITY), S_OK);
  EXPECT_EQ(std::u16string(path), u"C:\\Tools.txt");
  EXPECT_EQ(std::u16string(data.cFileName), u"Tools.txt");
  EXPECT_EQ(data.nFileSizeLow, 12u);
  EXPECT_EQ(get(&IShellLinkW::GetArguments, again.get()), u"/quiet \"two words\"");
  EXPECT_EQ(get(&IShellLinkW::GetWorkingDirectory, again.get()), u"C:\\WINDOWS");
  EXPECT_EQ(get(&IShellLinkW::GetDescription, again.get()), u"Tool list \u00E9t\u00E9");
  int icon = 0;
  ASSERT_EQ(again->GetIconLocation(path, MAX_PATH, &icon), S_OK);
  EXPECT_EQ(std::u16string(path), u"C:\\WINDOWS\\system32\\shell32.dll");
  EXPECT_EQ(icon, -3);
  int show = 0;
  WORD hotkey = 0;
  again->GetShowCmd(&show);
  again->GetHotkey(&hotkey);
  EXPECT_EQ(show, 7);
  EXPECT_EQ(hotkey, 0x0641);

  // A short buffer gets what fits and a NUL.
  WCHAR small[6];
  std::fill(std::begin(small), std::end(small), u'#');
  ASSERT_EQ(again->GetPath(small, 5, nullptr, 0), S_OK);
  EXPECT_EQ(std::u16string(small), u"C:\\T");
  EXPECT_EQ(small[5], u'#');

  // The target goes: the link still names it, and resolving reports that it cannot be found.
  std::filesystem::remove(host_.c("Tools.txt"));
  EXPECT_EQ(again->Resolve(nullptr, SLR_NO_UI), S_FALSE);
  ASSERT_EQ(again->GetPath(path, MAX_PATH, &data, 0), S_OK);
  EXPECT_EQ(std::u16string(path), u"C:\\Tools.txt");
  EXPECT_EQ(data.nFileSizeLow, 0u);
}

TEST_F(ShellLinkTest, RetargetingSavesToTheCurrentFile) {
  Ptr<IShellLinkW> link;
  Ptr<IPersistFile> file;
  make(link, file);
  EXPECT_EQ(file->Save(nullptr, TRUE), E_INVALIDARG) << "no current file yet";
  LPOLESTR current = nullptr;
  EXPECT_EQ(file->GetCurFile(&current), S_FALSE);
  CoTaskMemFree(current);

  ASSERT_EQ(link->SetPath(u"C:\\WINDOWS"), S_OK);
  ASSERT_EQ(file->Save(u"C:\\Copy.lnk", FALSE), S_OK);
  EXPECT_EQ(file->IsDirty(), S_OK) << "a copy saved elsewhere does not make the link clean";
  ASSERT_EQ(file->Save(u"C:\\Folder.lnk", TRUE), S_OK);
  ASSERT_EQ(link->SetArguments(u"-x"), S_OK);
  ASSERT_EQ(file->Save(nullptr, TRUE), S_OK);

  Ptr<IShellLinkW> reread;
  Ptr<IPersistFile> rereadFile;
  make(reread, rereadFile);
  ASSERT_EQ(rereadFile->Load(u"C:\\Folder.lnk", STGM_READ), S_OK);
  EXPECT_EQ(get(&IShellLinkW::GetArguments, reread.get()), u"-x");
  EXPECT_EQ(reread->Resolve(nullptr, SLR_NO_UI), S_OK) << "a folder is a target too";
  ASSERT_EQ(rereadFile->Load(u"C:\\Copy.lnk", STGM_READ), S_OK);
  EXPECT_EQ(get(&IShellLinkW::GetArguments, reread.get()), u"");
}

TEST_F(ShellLinkTest, FailuresLeaveTheLinkAsItWas) {
  Ptr<IShellLinkW> link;
  Ptr<IPersistFile> file;
  make(link, file);
  ASSERT_EQ(link->SetPath(u"C:\\keep.txt"), S_OK);
  EXPECT_EQ(link->SetPath(nullptr), E_INVALIDARG);
  EXPECT_EQ(link->SetArguments(std::u16string(40000, u'a').c_str()), E_INVALIDARG);
  EXPECT_EQ(file->Load(u"C:\\missing.lnk", STGM_READ), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(file->Load(u"C:\\No Such Folder\\x.lnk", STGM_READ), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(file->Save(u"C:\\No Such Folder\\x.lnk", TRUE), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
  writeBytes("junk.lnk", "this is not a shortcut");
  EXPECT_EQ(file->Load(u"C:\\junk.lnk", STGM_READ), E_FAIL);
  EXPECT_EQ(get(&IShellLinkW::GetArguments, link.get()), u"") << "the refused text was not kept";
  WCHAR path[MAX_PATH];
  ASSERT_EQ(link->GetPath(path, MAX_PATH, nullptr, 0), S_OK);
  EXPECT_EQ(std::u16string(path), u"C:\\keep.txt");
  EXPECT_EQ(file->IsDirty(), S_OK);
  EXPECT_EQ(link->GetPath(path, 0, nullptr, 0), E_INVALIDARG);

  Ptr<IShellLinkW> empty;
  Ptr<IPersistFile> emptyFile;
  make(empty, emptyFile);
  path[0] = u'#';
  EXPECT_EQ(empty->GetPath(path, MAX_PATH, nullptr, 0), S_FALSE);
  EXPECT_EQ(path[0], u'\0');
  EXPECT_EQ(empty->Resolve(nullptr, SLR_NO_UI), S_FALSE);
}

// The byte form of a small valid shortcut, and ways to spoil it.
std::string validBytes() {
  platform::com::ShortcutData d;
  d.target = u"C:\\a.txt";
  d.arguments = u"-v";
  d.description = u"d";
  return platform::com::encodeShortcut(d);
}

std::string patched(std::size_t offset, const std::string& replacement) {
  std::string b = validBytes();
  b.replace(offset, replacement.size(), replacement);
  return b;
}

constexpr std::size_t kTargetCount = 24;  // after magic, version, flags, show, icon, hotkey, reserved

TEST(ShortcutFormat, EveryCorruptFileIsRefused) {
  platform::com::ShortcutData d;
  ASSERT_TRUE(platform::com::decodeShortcut(validBytes(), d));
  EXPECT_EQ(d.target, u"C:\\a.txt");
  EXPECT_EQ(d.showCmd, 1) << "a new link shows its window normally";

  struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"empty file", ""},
      {"wrong magic", patched(0, "KIPOLNX")},
      {"newer version", patched(8, std::string("\x02\x00", 2))},
      {"unknown flags", patched(10, std::string("\x01\x00", 2))},
      {"reserved field set", patched(22, std::string("\x01\x00", 2))},
      {"count past the end", patched(kTargetCount, std::string("\xFF\x00\x00\x00", 4))},
      {"count over the field limit", patched(kTargetCount, std::string("\x00\x80\x00\x00", 4))},
      {"count of 4 G", patched(kTargetCount, std::string("\xFF\xFF\xFF\xFF", 4))},
      {"NUL inside a field", patched(kTargetCount + 4, std::string("\x00\x00", 2))},
      {"trailing byte", validBytes() + "x"},
      {"odd length", validBytes().substr(0, validBytes().size() - 1)},
  };
  for (const auto& c : cases) {
    platform::com::ShortcutData out;
    out.target = u"untouched";
    EXPECT_FALSE(platform::com::decodeShortcut(c.bytes, out)) << c.what;
    EXPECT_EQ(out.target, u"untouched") << c.what;
  }
  // Every proper prefix of a valid file is a truncated file.
  const std::string whole = validBytes();
  for (std::size_t n = 0; n < whole.size(); ++n) {
    EXPECT_FALSE(platform::com::decodeShortcut(std::string_view(whole).substr(0, n), d)) << "prefix of " << n;
  }
}

TEST_F(ShellLinkTest, CorruptFilesOnDiskFailCleanly) {
  Ptr<IShellLinkW> link;
  Ptr<IPersistFile> file;
  make(link, file);
  const std::string whole = validBytes();
  writeBytes("good.lnk", whole);
  ASSERT_EQ(file->Load(u"C:\\good.lnk", STGM_READ), S_OK);
  EXPECT_EQ(readBytes("good.lnk"), whole);
  for (std::size_t cut : {std::size_t{0}, std::size_t{7}, kTargetCount + 2, whole.size() - 2}) {
    writeBytes("cut.lnk", whole.substr(0, cut));
    EXPECT_EQ(file->Load(u"C:\\cut.lnk", STGM_READ), E_FAIL) << cut;
  }
  writeBytes("huge.lnk", std::string(2 << 20, 'K'));
  EXPECT_EQ(file->Load(u"C:\\huge.lnk", STGM_READ), E_FAIL);
  WCHAR path[MAX_PATH];
  ASSERT_EQ(link->GetPath(path, MAX_PATH, nullptr, 0), S_OK);
  EXPECT_EQ(std::u16string(path), u"C:\\a.txt") << "the last good load stands";
  LPOLESTR current = nullptr;
  ASSERT_EQ(file->GetCurFile(&current), S_OK);
  EXPECT_EQ(std::u16string(current), u"C:\\good.lnk");
  CoTaskMemFree(current);
}

}  // namespace
