// `kipo-host mapi`, run as its own process against the store files and profiles this process
// has open: a store made from a description dumps back as that description, a delivery and a
// move in the other process are seen here (the move keeping the item's ids), a profile it adds is
// one this process logs on to, and MAPI's result names set host-wide faults.
#include <cstring>
#include <fstream>

#include "tests/platform/mapi/mapi_fixture.h"

namespace {

using mapitest::MapiTest;
using platform::com::Ptr;

std::string bin(const SPropValue& v) { return std::string(reinterpret_cast<const char*>(v.Value.bin.lpb), v.Value.bin.cb); }

class Tool : public MapiTest {
 protected:
  void TearDown() override {
    inbox.reset();
    store.reset();
    session.reset();
    MapiTest::TearDown();
  }
  int tool(const std::vector<std::string>& args, std::string* out = nullptr) {
    std::string err;
    const int rc = kipotest::runTool(args, out, &err);
    if (rc) std::fprintf(stderr, "kipo-host %s: %s", args[0].c_str(), err.c_str());
    return rc;
  }
  void logonAndOpenInbox(const char* profile) {
    ASSERT_EQ(mapi.logonEx(0, const_cast<LPSTR>(profile), nullptr, MAPI_EXTENDED | MAPI_EXPLICIT_PROFILE, session.put()), S_OK);
    Ptr<IMAPITable> stores;
    ASSERT_EQ(session->GetMsgStoresTable(0, stores.put()), S_OK);
    LPSRowSet rows = nullptr;
    ASSERT_EQ(stores->QueryRows(1, 0, &rows), S_OK);
    ASSERT_EQ(rows->cRows, 1u);
    const std::string id = bin(rows->aRow[0].lpProps[0]);
    mapi.freeProws(rows);
    ASSERT_EQ(session->OpenMsgStore(0, static_cast<ULONG>(id.size()), reinterpret_cast<LPENTRYID>(const_cast<char*>(id.data())),
                                    nullptr, MDB_WRITE, store.put()),
              S_OK);
    ULONG cb = 0;
    LPENTRYID entry = nullptr;
    ASSERT_EQ(store->GetReceiveFolder(const_cast<LPSTR>("IPM.Note"), 0, &cb, &entry, nullptr), S_OK);
    Ptr<IUnknown> object;
    ULONG type = 0;
    ASSERT_EQ(store->OpenEntry(cb, entry, nullptr, MAPI_BEST_ACCESS, &type, object.put()), S_OK);
    mapi.freeBuffer(entry);
    inbox.attach(static_cast<IMAPIFolder*>(object.detach()));
  }
  // Subject and entry id of each item of the folder, read now.
  std::vector<std::pair<std::string, std::string>> items(IMAPIFolder* folder) {
    Ptr<IMAPITable> table;
    EXPECT_EQ(folder->GetContentsTable(0, table.put()), S_OK);
    SizedSPropTagArray(2, columns) = {2, {PR_SUBJECT_A, PR_ENTRYID}};
    LPSRowSet rows = nullptr;
    EXPECT_EQ(mapi.queryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, &rows), S_OK);
    std::vector<std::pair<std::string, std::string>> out;
    for (ULONG i = 0; rows && i < rows->cRows; ++i)
      out.emplace_back(rows->aRow[i].lpProps[0].Value.lpszA, bin(rows->aRow[i].lpProps[1]));
    mapi.freeProws(rows);
    return out;
  }

  Ptr<IMAPISession> session;
  Ptr<IMsgStore> store;
  Ptr<IMAPIFolder> inbox;
};

TEST_F(Tool, AStoreMadeFromADescriptionDumpsBackAsIt) {
  const std::string description =
      "# the demo's store\n"
      "folder Inbox/Projects\n"
      "item IPM.Note Plan for the week\n"
      "associated IPM.Microsoft.FolderDesign.NamedView By sender\n"
      "folder Calendar\n"
      "item IPM.Appointment Review\n";
  const auto file = kipotest::freshTempDir("mapi-make") / "store.txt";
  std::ofstream(file) << description;
  ASSERT_EQ(tool({"mapi", "make", "C:\\made.pst", "--from", file.string()}), 0);
  std::string out;
  ASSERT_EQ(tool({"mapi", "dump", "C:\\made.pst"}, &out), 0);
  EXPECT_EQ(out,
            "folder Inbox\n"
            "  folder Projects\n"
            "    item IPM.Note Plan for the week\n"
            "    associated IPM.Microsoft.FolderDesign.NamedView By sender\n"
            "folder Outbox\nfolder Sent Items\nfolder Deleted Items\nfolder Drafts\n"
            "folder Calendar\n"
            "  item IPM.Appointment Review\n"
            "folder Contacts\nfolder Tasks\nfolder Notes\nfolder Journal\n");
  // A description with an unknown entry fails, and a file that is not a store is not dumped.
  std::ofstream(file) << "folder Inbox\nshelf nothing\n";
  EXPECT_EQ(kipotest::runTool({"mapi", "make", "C:\\other.pst", "--from", file.string()}), 1);
  host.write("notastore.pst", "plain text");
  EXPECT_EQ(kipotest::runTool({"mapi", "dump", "C:\\notastore.pst"}), 1);
  EXPECT_EQ(host.read("notastore.pst"), "plain text");
}

TEST_F(Tool, TwoProcessesOverOneStoreSeeEachOthersSavedChanges) {
  ASSERT_EQ(tool({"mapi", "profile", "add", "Shared", "--pst", "C:\\shared.pst", "--default"}), 0);
  ASSERT_NO_FATAL_FAILURE(logonAndOpenInbox("Shared"));
  // Here: a message saved; there: it is in the dump.
  Ptr<IMessage> m;
  ASSERT_EQ(inbox->CreateMessage(nullptr, 0, m.put()), S_OK);
  SPropValue props[2]{};
  props[0].ulPropTag = PR_SUBJECT_A;
  props[0].Value.lpszA = const_cast<LPSTR>("Written here");
  props[1].ulPropTag = PR_MESSAGE_CLASS_A;
  props[1].Value.lpszA = const_cast<LPSTR>("IPM.Note");
  ASSERT_EQ(m->SetProps(2, props, nullptr), S_OK);
  ASSERT_EQ(m->SaveChanges(0), S_OK);
  std::string out;
  ASSERT_EQ(tool({"mapi", "dump", "C:\\shared.pst"}, &out), 0);
  EXPECT_NE(out.find("item IPM.Note Written here"), std::string::npos) << out;

  // There: a delivery and a folder; here: both seen through this process's open store.
  ASSERT_EQ(tool({"mapi", "deliver", "C:\\shared.pst", "--from", "Alice", "--subject", "Written there"}), 0);
  auto now = items(inbox.get());
  ASSERT_EQ(now.size(), 2u);
  EXPECT_EQ(now[1].first, "Written there");
  const std::string movedId = now[1].second;
  LPSPropValue sourceBefore = nullptr;
  Ptr<IUnknown> object;
  ULONG type = 0;
  ASSERT_EQ(store->OpenEntry(static_cast<ULONG>(movedId.size()), reinterpret_cast<LPENTRYID>(const_cast<char*>(movedId.data())),
                             nullptr, 0, &type, object.put()),
            S_OK);
  ASSERT_EQ(mapi.getOneProp(static_cast<IMAPIProp*>(static_cast<IMessage*>(object.get())), PR_SOURCE_KEY, &sourceBefore), S_OK);
  const std::string source = bin(*sourceBefore);
  mapi.freeBuffer(sourceBefore);

  // A move there keeps the item's entry id and source key; here it is in its new folder.
  const auto file = kipotest::freshTempDir("mapi-move") / "folders.txt";
  std::ofstream(file) << "folder Inbox/Archive\n";
  ASSERT_EQ(tool({"mapi", "make", "C:\\shared.pst", "--from", file.string()}), 0);
  ASSERT_EQ(tool({"mapi", "move", "C:\\shared.pst", "Written there", "Inbox/Archive"}), 0);
  EXPECT_EQ(items(inbox.get()).size(), 1u);
  ASSERT_EQ(store->OpenEntry(static_cast<ULONG>(movedId.size()), reinterpret_cast<LPENTRYID>(const_cast<char*>(movedId.data())),
                             nullptr, 0, &type, object.put()),
            S_OK);
  LPSPropValue sourceAfter = nullptr;
  ASSERT_EQ(mapi.getOneProp(static_cast<IMAPIProp*>(static_cast<IMessage*>(object.get())), PR_SOURCE_KEY, &sourceAfter), S_OK);
  EXPECT_EQ(bin(*sourceAfter), source);
  mapi.freeBuffer(sourceAfter);
}

TEST_F(Tool, HostWideFaultsTakeMapiResultNames) {
  ASSERT_EQ(tool({"mapi", "profile", "add", "Faulty", "--pst", "C:\\faulty.pst"}), 0);
  ASSERT_NO_FATAL_FAILURE(logonAndOpenInbox("Faulty"));
  ASSERT_EQ(tool({"fault", "add", "IMAPIFolder::CreateMessage", "--error", "MAPI_E_DISK_ERROR", "--count", "1"}), 0);
  Ptr<IMessage> m;
  EXPECT_EQ(inbox->CreateMessage(nullptr, 0, m.put()), MAPI_E_DISK_ERROR);
  EXPECT_EQ(inbox->CreateMessage(nullptr, 0, m.put()), S_OK);
  EXPECT_EQ(kipotest::runTool({"fault", "add", "IMAPIFolder::CreateMessage", "--error", "MAPI_E_NO_SUCH_THING"}), 2);
}

}  // namespace
