// "mapi32.dll" and "mapistub.dll" as the product loads them: the host's Outlook install, the
// entry points by name, the initialisation count, MAPI's chained buffers, the row and property
// helpers and streams on files.
#include <cstring>
#include <fstream>
#include <ostream>

#include "platform/modules/mapistub/mapistub.h"
#include "tests/platform/mapi/mapi_fixture.h"

namespace {

using mapitest::MapiTest;
using mapitest::regText;
using platform::com::Ptr;

constexpr char16_t kMailClient[] = u"SOFTWARE\\Clients\\Mail\\Microsoft Outlook";

TEST_F(MapiTest, AllTwelveEntryPointsBindByTheNamesTheProductUsesAndNoOthers) {
  // Bound in SetUp; the decorated names are the only form of the four helpers.
  EXPECT_EQ(GetProcAddress(mapi.module, "FreeProws"), nullptr);
  EXPECT_EQ(GetProcAddress(mapi.module, "HrQueryAllRows"), nullptr);
  EXPECT_EQ(GetProcAddress(mapi.module, "MAPIInitialize@4"), nullptr);
}

TEST_F(MapiTest, InitialisationIsCountedAndCheckedByEveryCallThatNeedsIt) {
  Ptr<IProfAdmin> admin;
  EXPECT_EQ(mapi.adminProfiles(0, admin.put()), S_OK);
  admin.reset();
  // A second initialisation needs its own uninitialisation.
  ASSERT_EQ(mapi.initialize(nullptr), S_OK);
  mapi.uninitialize();
  EXPECT_EQ(mapi.adminProfiles(0, admin.put()), S_OK);
  admin.reset();
  mapi.uninitialize();
  initialized = 0;
  auto* sentinel = reinterpret_cast<IProfAdmin*>(0xdeadbeef);
  IProfAdmin* out = sentinel;
  EXPECT_EQ(mapi.adminProfiles(0, &out), MAPI_E_NOT_INITIALIZED);
  EXPECT_EQ(out, nullptr);
  LPMAPISESSION session = reinterpret_cast<LPMAPISESSION>(0xdeadbeef);
  EXPECT_EQ(mapi.logonEx(0, nullptr, nullptr, MAPI_EXTENDED | MAPI_NEW_SESSION | MAPI_LOGON_UI, &session),
            MAPI_E_NOT_INITIALIZED);
  EXPECT_EQ(session, nullptr);
  // An extra uninitialisation does not make the count negative.
  mapi.uninitialize();
  ASSERT_EQ(mapi.initialize(nullptr), S_OK);
  initialized = 1;
  EXPECT_EQ(mapi.adminProfiles(0, admin.put()), S_OK);
}

TEST_F(MapiTest, InitialisationRefusesAnotherVersionOrUnknownFlags) {
  MAPIINIT_0 wrongVersion{1, MAPI_MULTITHREAD_NOTIFICATIONS};
  EXPECT_EQ(mapi.initialize(&wrongVersion), MAPI_E_VERSION);
  MAPIINIT_0 unknownFlag{MAPI_INIT_VERSION, 0x100};
  EXPECT_EQ(mapi.initialize(&unknownFlag), MAPI_E_UNKNOWN_FLAGS);
}

TEST_F(MapiTest, BuffersChainToTheirFirstBlockAndAreFreedWithIt) {
  LPVOID root = reinterpret_cast<LPVOID>(0xdeadbeef);
  ASSERT_EQ(mapi.allocateBuffer(64, &root), S_OK);
  std::memset(root, 0xbd, 64);
  LPVOID more = nullptr, evenMore = nullptr;
  ASSERT_EQ(mapi.allocateMore(1000, root, &more), S_OK);
  // A chained block can own further blocks; they all go with the root.
  ASSERT_EQ(mapi.allocateMore(10, more, &evenMore), S_OK);
  std::memset(more, 0xbd, 1000);
  std::memset(evenMore, 0xbd, 10);
  EXPECT_NE(root, more);
  // A chained block is not freed on its own: its owner frees it.
  EXPECT_NE(mapi.freeBuffer(more), 0u);
  EXPECT_EQ(mapi.freeBuffer(root), 0u);
  EXPECT_EQ(mapi.freeBuffer(nullptr), 0u);

  LPVOID out = reinterpret_cast<LPVOID>(0xdeadbeef);
  EXPECT_EQ(mapi.allocateMore(8, nullptr, &out), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(mapi.allocateBuffer(8, nullptr), MAPI_E_INVALID_PARAMETER);
  // A zero-byte block is still a block that can own others.
  ASSERT_EQ(mapi.allocateBuffer(0, &root), S_OK);
  ASSERT_EQ(mapi.allocateMore(16, root, &more), S_OK);
  EXPECT_EQ(mapi.freeBuffer(root), 0u);
}

TEST_F(MapiTest, QueryAllRowsReadsTheWholeTableWithColumnsAndRestrictionAndHonoursTheLimit) {
  makeProfiles({"Charlie", "Alpha", "Bravo"});
  Ptr<IMAPITable> table;
  ASSERT_EQ(profAdmin()->GetProfileTable(0, table.put()), S_OK);
  // The cursor is somewhere else first: HrQueryAllRows starts from the beginning.
  ASSERT_EQ(table->SeekRow(BOOKMARK_END, 0, nullptr), S_OK);
  SizedSPropTagArray(1, columns) = {1, {PR_DISPLAY_NAME_A}};
  LPSRowSet rows = reinterpret_cast<LPSRowSet>(0xdeadbeef);
  ASSERT_EQ(mapi.queryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, &rows), S_OK);
  EXPECT_EQ(firstColumn(rows), (std::vector<std::string>{"Alpha", "Bravo", "Charlie"}));
  mapi.freeProws(rows);

  SPropValue prop{};
  prop.ulPropTag = PR_DISPLAY_NAME_A;
  prop.Value.lpszA = const_cast<LPSTR>("Bravo");
  SRestriction notBravo{};
  notBravo.rt = RES_PROPERTY;
  notBravo.res.resProperty = {RELOP_NE, PR_DISPLAY_NAME_A, &prop};
  ASSERT_EQ(mapi.queryAllRows(table.get(), nullptr, &notBravo, nullptr, 0, &rows), S_OK);
  EXPECT_EQ(firstColumn(rows), (std::vector<std::string>{"Alpha", "Charlie"}));
  mapi.freeProws(rows);

  rows = reinterpret_cast<LPSRowSet>(0xdeadbeef);
  EXPECT_EQ(mapi.queryAllRows(table.get(), nullptr, nullptr, nullptr, 1, &rows), MAPI_E_TABLE_TOO_BIG);
  EXPECT_EQ(rows, nullptr);
  EXPECT_EQ(mapi.queryAllRows(table.get(), nullptr, nullptr, nullptr, 2, &rows), S_OK);
  EXPECT_EQ(rows->cRows, 2u);
  mapi.freeProws(rows);
  // Sorting is not offered: the call fails rather than returning unsorted rows.
  SSortOrderSet sort{1, 0, 0, {{PR_DISPLAY_NAME_A, 0}}};
  EXPECT_EQ(mapi.queryAllRows(table.get(), nullptr, nullptr, &sort, 0, &rows), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(mapi.queryAllRows(nullptr, nullptr, nullptr, nullptr, 0, &rows), MAPI_E_INVALID_PARAMETER);
  mapi.freeProws(nullptr);
}

TEST_F(MapiTest, GetOnePropGivesTheValueOrThePropertysErrorWithNothingAllocated) {
  makeProfiles({"Solo"});
  Ptr<IMsgServiceAdmin> services;
  ASSERT_EQ(profAdmin()->AdminServices(const_cast<LPSTR>("Solo"), nullptr, 0, 0, services.put()), S_OK);
  Ptr<IProfSect> section;
  MAPIUID global = kGlobalProfileSection;
  ASSERT_EQ(services->OpenProfileSection(&global, nullptr, MAPI_MODIFY, section.put()), S_OK);
  SPropValue flags{};
  flags.ulPropTag = PR_PROFILE_CONFIG_FLAGS;
  flags.Value.l = 12;
  ASSERT_EQ(section->SetProps(1, &flags, nullptr), S_OK);

  LPSPropValue value = nullptr;
  ASSERT_EQ(mapi.getOneProp(section.get(), PR_PROFILE_CONFIG_FLAGS, &value), S_OK);
  EXPECT_EQ(value->ulPropTag, PR_PROFILE_CONFIG_FLAGS);
  EXPECT_EQ(value->Value.l, 12);
  mapi.freeBuffer(value);

  value = reinterpret_cast<LPSPropValue>(0xdeadbeef);
  EXPECT_EQ(mapi.getOneProp(section.get(), PR_PST_PATH, &value), MAPI_E_NOT_FOUND);
  EXPECT_EQ(value, nullptr);
  // A value of another type under the same id is not the one asked for.
  EXPECT_EQ(mapi.getOneProp(section.get(), PROP_TAG(PT_STRING8, 0x6601), &value), MAPI_E_NOT_FOUND);
  EXPECT_EQ(mapi.getOneProp(nullptr, PR_PST_PATH, &value), MAPI_E_INVALID_PARAMETER);
}

TEST_F(MapiTest, StreamsOnFilesCreateReadAndReportMissingFiles) {
  auto allocate = reinterpret_cast<LPALLOCATEBUFFER>(mapi.allocateBuffer);
  auto release = reinterpret_cast<LPFREEBUFFER>(mapi.freeBuffer);
  Ptr<IStream> out;
  ASSERT_EQ(mapi.openStreamOnFile(allocate, release, STGM_CREATE | STGM_READWRITE,
                                  const_cast<LPSTR>("C:\\attachment.txt"), nullptr, out.put()),
            S_OK);
  ULONG written = 0;
  ASSERT_EQ(out->Write("hello, world", 12, &written), S_OK);
  EXPECT_EQ(written, 12u);
  ASSERT_EQ(out->Commit(STGC_OVERWRITE), S_OK);
  out.reset();
  EXPECT_EQ(host.read("attachment.txt"), "hello, world");

  Ptr<IStream> in;
  ASSERT_EQ(mapi.openStreamOnFile(allocate, release, STGM_READ, const_cast<LPSTR>("C:\\attachment.txt"), nullptr, in.put()),
            S_OK);
  STATSTG stat{};
  ASSERT_EQ(in->Stat(&stat, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(stat.cbSize.QuadPart, 12u);
  EXPECT_EQ(stat.pwcsName, nullptr);
  // CopyTo carries the bytes into another stream, here a new file.
  Ptr<IStream> copy;
  ASSERT_EQ(mapi.openStreamOnFile(allocate, release, STGM_CREATE | STGM_READWRITE, const_cast<LPSTR>("C:\\copy.txt"),
                                  nullptr, copy.put()),
            S_OK);
  ULARGE_INTEGER read{}, put{};
  ASSERT_EQ(in->CopyTo(copy.get(), stat.cbSize, &read, &put), S_OK);
  EXPECT_EQ(read.QuadPart, 12u);
  EXPECT_EQ(put.QuadPart, 12u);
  ASSERT_EQ(copy->Commit(STGC_OVERWRITE), S_OK);
  // A read-only stream refuses writes.
  EXPECT_EQ(in->Write("x", 1, &written), STG_E_ACCESSDENIED);
  copy.reset();
  EXPECT_EQ(host.read("copy.txt"), "hello, world");

  Ptr<IStream> missing;
  EXPECT_EQ(mapi.openStreamOnFile(allocate, release, STGM_READ, const_cast<LPSTR>("C:\\missing.txt"), nullptr,
                                  missing.put()),
            MAPI_E_NOT_FOUND);
  EXPECT_FALSE(missing);
  EXPECT_EQ(mapi.openStreamOnFile(nullptr, release, STGM_READ, const_cast<LPSTR>("C:\\attachment.txt"), nullptr,
                                  missing.put()),
            MAPI_E_INVALID_PARAMETER);
}

TEST_F(MapiTest, AdviseSinkCallsTheCallbackWithItsContext) {
  static int calls = 0;
  static LPVOID seen = nullptr;
  NOTIFCALLBACK callback = [](LPVOID context, ULONG, LPNOTIFICATION) -> LONG {
    ++calls;
    seen = context;
    return 0;
  };
  int context = 0;
  Ptr<IMAPIAdviseSink> sink;
  ASSERT_EQ(mapi.allocAdviseSink(&callback, &context, sink.put()), S_OK);
  sink->OnNotify(0, nullptr);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(seen, &context);
}

// ---- the Outlook install and the MAPI stub ----

struct InstallCase {
  const char* version;
  bool internetOnly;
  const char16_t* curVer;
  const char* qualifier;      // the qualifier the component answers to; null: none answers
  bool msmapi;                // the Office MAPI library is installed
};

void PrintTo(const InstallCase& c, std::ostream* out) { *out << c.version << (c.internetOnly ? " Internet mail only" : ""); }

class OutlookInstall : public ::testing::TestWithParam<InstallCase> {
 protected:
  kipotest::TestHost host;
};

TEST_P(OutlookInstall, WritesWhatTheProductReadsAndTheStubAnswersFromIt) {
  const InstallCase& c = GetParam();
  std::vector<std::string> args = {"outlook", "set", "--version", c.version};
  if (c.internetOnly) args.push_back("--internet-mail-only");
  std::string err;
  ASSERT_EQ(kipotest::runTool(args, nullptr, &err), 0) << err;
  EXPECT_EQ(regText(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\Outlook.Application\\CurVer", u""), c.curVer);
  EXPECT_TRUE(host.isFile("WINDOWS/system32/mapi32.dll"));
  EXPECT_TRUE(host.isFile("WINDOWS/system32/mapistub.dll"));
  EXPECT_EQ(host.isFile("Program Files/Common Files/System/MSMAPI/1033/MSMAPI32.DLL"), c.msmapi);
  const std::u16string dllPathEx = regText(HKEY_LOCAL_MACHINE, kMailClient, u"DllPathEx");
  EXPECT_EQ(dllPathEx, c.msmapi ? u"C:\\Program Files\\Common Files\\System\\MSMAPI\\1033\\MSMAPI32.DLL"
                                : u"C:\\WINDOWS\\system32\\mapi32.dll");

  HMODULE stub = LoadLibraryW(u"mapistub.dll");
  ASSERT_NE(stub, nullptr) << GetLastError();
  auto getPath = reinterpret_cast<FGetComponentPathFn>(GetProcAddress(stub, kFGetComponentPathName));
  ASSERT_NE(getPath, nullptr);
  // The product's three tries, in its order; the first that answers ends its search.
  const char* qualifiers[] = {"Microsoft\\Office\\9.0\\Outlook", "Microsoft\\Office\\9.0\\Common\\LanguageResources", nullptr};
  for (const char* q : qualifiers) {
    char buffer[260];
    std::memset(buffer, 0xbd, sizeof buffer);
    const bool expected = c.msmapi && ((q && c.qualifier && std::strcmp(q, c.qualifier) == 0) ||
                                       (!q && c.qualifier && !*c.qualifier));
    EXPECT_EQ(getPath(kMapiComponentId, const_cast<LPSTR>(q), buffer, sizeof buffer, FALSE) != FALSE, expected)
        << (q ? q : "(none)");
    if (expected) {
      EXPECT_STREQ(buffer, "C:\\Program Files\\Common Files\\System\\MSMAPI\\1033\\MSMAPI32.DLL");
      // A buffer too small for the path is left as it was.
      char small[10];
      std::memset(small, 0xbd, sizeof small);
      EXPECT_FALSE(getPath(kMapiComponentId, const_cast<LPSTR>(q), small, sizeof small, FALSE));
      EXPECT_EQ(static_cast<unsigned char>(small[0]), 0xbd);
    } else {
      EXPECT_EQ(static_cast<unsigned char>(buffer[0]), 0xbd);
    }
  }
  FreeLibrary(stub);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, OutlookInstall,
    ::testing::Values(InstallCase{"2000", false, u"Outlook.Application.9", "Microsoft\\Office\\9.0\\Outlook", true},
                      InstallCase{"2000", true, u"Outlook.Application.9", nullptr, false},
                      InstallCase{"2002", false, u"Outlook.Application.10", "", true},
                      InstallCase{"2003", false, u"Outlook.Application.11", "", true}),
    [](const ::testing::TestParamInfo<InstallCase>& info) {
      return std::string("Outlook") + info.param.version + (info.param.internetOnly ? "InternetMailOnly" : "");
    });

TEST(OutlookInstallRules, VersionFoldersAndTheInternetMailSetting) {
  kipotest::TestHost host;
  std::string err;
  ASSERT_EQ(kipotest::runTool({"outlook", "set", "--version", "2000", "--internet-mail-only"}, nullptr, &err), 0) << err;
  EXPECT_TRUE(host.isFile("Program Files/Microsoft Office/Office/outlook.exe"));
  DWORD mailSupport = 7, size = sizeof mailSupport;
  EXPECT_EQ(SHGetValueW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Office\\9.0\\Outlook\\Setup", u"MailSupport", nullptr,
                        &mailSupport, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(mailSupport, 0u);
  // A later setting replaces the earlier one: no 2000 setup is left behind.
  ASSERT_EQ(kipotest::runTool({"outlook", "set", "--version", "2002"}, nullptr, &err), 0) << err;
  EXPECT_EQ(SHGetValueW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Office\\9.0\\Outlook\\Setup", u"MailSupport", nullptr,
                        &mailSupport, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(regText(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Office\\10.0\\Outlook\\InstallRoot", u"path"),
            u"C:\\Program Files\\Microsoft Office\\Office10\\");
  EXPECT_TRUE(host.isFile("Program Files/Microsoft Office/Office10/OUTLOOK.EXE"));
  EXPECT_EQ(kipotest::runTool({"outlook", "set", "--version", "2003", "--internet-mail-only"}, nullptr, &err), 2);
  EXPECT_EQ(kipotest::runTool({"outlook", "set", "--version", "97"}, nullptr, &err), 2);
}

}  // namespace
