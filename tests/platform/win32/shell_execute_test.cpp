// ShellExecuteW / ShellExecuteExW: programs run, documents and URLs are recorded and never
// executed, association lookups, and the Windows result codes.
#include "platform/win32/shell_execute.h"

#include <gtest/gtest.h>

#include "platform/host/process_table.h"
#include "platform/win32/registry.h"
#include "platform/win32/window.h"
#include "tests/platform/win32/fixtures/probe.h"

namespace {

using probetest::ProbeHost;

void setClassValue(const std::u16string& key, const char16_t* name, const std::u16string& value) {
  HKEY k = nullptr;
  std::u16string path = u"Software\\Classes\\" + key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR))),
            ERROR_SUCCESS);
  RegCloseKey(k);
}

UINT_PTR shell(const char16_t* verb, const char16_t* file, const char16_t* params = nullptr,
               const char16_t* dir = nullptr) {
  return reinterpret_cast<UINT_PTR>(ShellExecuteW(nullptr, verb, file, params, dir, SW_SHOWNORMAL));
}

TEST(ShellExecuteW, DocumentIsRecordedAndNotExecuted) {
  ProbeHost host;
  // Executable content under a document's name: opening it must not run it.
  host.write("Docs/notes.kpd", "#!/bin/sh\ntouch \"$KIPO_HOST/C/ran\"\n");
  host.write("Docs/other.kpx", "x");
  setClassValue(u".kpd", nullptr, u"Kipo.Document");
  setClassValue(u"Kipo.Document\\shell\\open\\command", nullptr, u"C:\\Viewer\\view.exe \"%1\"");

  EXPECT_GT(shell(u"open", u"C:\\Docs\\notes.kpd", u"-p", u"C:\\Docs"), 32u);
  EXPECT_GT(shell(nullptr, u"notes.kpd", nullptr, u"C:\\Docs"), 32u) << "relative to the working folder";
  SetLastError(0);
  EXPECT_EQ(shell(u"open", u"C:\\Docs\\other.kpx"), static_cast<UINT_PTR>(SE_ERR_NOASSOC));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_ASSOCIATION));
  EXPECT_EQ(shell(u"print", u"C:\\Docs\\notes.kpd"), static_cast<UINT_PTR>(SE_ERR_NOASSOC)) << "no print verb";
  SetLastError(0);
  EXPECT_EQ(shell(u"open", u"C:\\Docs\\missing.kpd"), static_cast<UINT_PTR>(SE_ERR_FNF));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(shell(u"open", u"C:\\No Folder\\x.kpd"), static_cast<UINT_PTR>(SE_ERR_PNF));

  auto opens = platform::host::shellOpens();
  ASSERT_EQ(opens.size(), 2u) << "failures are not recorded";
  EXPECT_EQ(opens[0].kind, "document");
  EXPECT_EQ(opens[0].verb, u"open");
  EXPECT_EQ(opens[0].target, u"C:\\Docs\\notes.kpd");
  EXPECT_EQ(opens[0].parameters, u"-p");
  EXPECT_EQ(opens[0].directory, u"C:\\Docs");
  EXPECT_EQ(opens[0].show, SW_SHOWNORMAL);
  EXPECT_EQ(opens[0].handler, u"C:\\Viewer\\view.exe \"%1\"");
  EXPECT_EQ(opens[1].target, u"C:\\Docs\\notes.kpd");
  EXPECT_FALSE(std::filesystem::exists(host.c("ran"))) << "the document was not executed";
}

TEST(ShellExecuteW, UrlsNeedARegisteredProtocolAndFoldersOpen) {
  ProbeHost host;
  setClassValue(u"kipotest", u"URL Protocol", u"");
  setClassValue(u"kipotest\\shell\\open\\command", nullptr, u"C:\\Browser\\b.exe \"%1\"");
  setClassValue(u"nourl\\shell\\open\\command", nullptr, u"x.exe");  // a class, but no protocol
  EXPECT_GT(shell(u"open", u"kipotest://example/page?x=1"), 32u);
  EXPECT_EQ(shell(u"open", u"nourl:thing"), static_cast<UINT_PTR>(SE_ERR_NOASSOC));
  EXPECT_EQ(shell(u"open", u"unknown-scheme:thing"), static_cast<UINT_PTR>(SE_ERR_NOASSOC));
  EXPECT_GT(shell(nullptr, u"C:\\Program Files"), 32u);
  auto opens = platform::host::shellOpens();
  ASSERT_EQ(opens.size(), 2u);
  EXPECT_EQ(opens[0].kind, "url");
  EXPECT_EQ(opens[0].target, u"kipotest://example/page?x=1");
  EXPECT_EQ(opens[1].kind, "folder");
  EXPECT_EQ(opens[1].target, u"C:\\Program Files");
}

TEST(ShellExecuteExW, StartsAProgramAndKeepsItsProcess) {
  ProbeHost host;
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = u"open";
  info.lpFile = u"probe.exe";  // found in the working folder
  info.lpParameters = u"exit -1";
  info.lpDirectory = u"C:\\Program Files\\Probe";
  info.nShow = SW_SHOWNORMAL;
  ASSERT_TRUE(ShellExecuteExW(&info)) << GetLastError();
  EXPECT_GT(reinterpret_cast<UINT_PTR>(info.hInstApp), 32u);
  ASSERT_NE(info.hProcess, nullptr);
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, 0xFFFFFFFFu);
  CloseHandle(info.hProcess);

  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpFile = u"C:\\Program Files\\Probe\\probe.exe";
  info.lpParameters = u"report C:\\r.txt";
  info.lpDirectory = u"C:\\WINDOWS";
  ASSERT_TRUE(ShellExecuteExW(&info));
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
  CloseHandle(info.hProcess);
  auto r = host.report("r.txt");
  EXPECT_EQ(r["cwd"], "C:\\WINDOWS");
  EXPECT_EQ(r["cmdline"], "\"C:\\Program Files\\Probe\\probe.exe\" report C:\\r.txt");
  EXPECT_TRUE(platform::host::shellOpens().empty()) << "programs are started, not recorded";

  info.lpFile = u"C:\\Program Files\\Probe\\absent.exe";
  info.hProcess = reinterpret_cast<HANDLE>(1);
  SetLastError(0);
  EXPECT_FALSE(ShellExecuteExW(&info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(reinterpret_cast<UINT_PTR>(info.hInstApp), static_cast<UINT_PTR>(SE_ERR_FNF));
  EXPECT_EQ(info.hProcess, nullptr);
  info.cbSize = 12;
  SetLastError(0);
  EXPECT_FALSE(ShellExecuteExW(&info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
