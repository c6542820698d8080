// Sessions on a profile and the stores, folders, messages and attachments they open: the status
// and store tables, the default folder tree through the store, folder and message writes, the
// stamping rules the item synchronizer depends on, and their fault points.
#include <sqlite3.h>

#include <cstring>
#include <functional>

#include "platform/modules/mapi32/logon_dialog.h"
#include "tests/platform/mapi/mapi_fixture.h"
#include "tests/support/faults.h"
#include "tests/support/ui_script.h"

namespace {

using mapitest::MapiTest;
using platform::com::Ptr;

constexpr char16_t kProfiles[] =
    u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";

SPropValue text(ULONG tag, const char* value) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.lpszA = const_cast<LPSTR>(value);
  return v;
}
std::string bin(const SPropValue& v) { return std::string(reinterpret_cast<const char*>(v.Value.bin.lpb), v.Value.bin.cb); }
std::u16string hex(const BYTE* b, std::size_t n) {
  static const char16_t digits[] = u"0123456789abcdef";
  std::u16string out;
  for (std::size_t i = 0; i < n; ++i) out += {digits[b[i] >> 4], digits[b[i] & 15]};
  return out;
}

class Sessions : public MapiTest {
 protected:
  void SetUp() override {
    MapiTest::SetUp();
    makeProfiles({"Outlook"});
    addPst("Personal Folders", "C:\\outlook.pst");
    ASSERT_EQ(mapi.logonEx(0, const_cast<LPSTR>("Outlook"), nullptr, MAPI_EXTENDED | MAPI_NEW_SESSION | MAPI_EXPLICIT_PROFILE,
                           session.put()),
              S_OK);
  }
  void TearDown() override {
    inbox.reset();
    store.reset();
    session.reset();
    MapiTest::TearDown();
  }
  MAPIUID addPst(const char* display, const char* path) {
    Ptr<IMsgServiceAdmin> s;
    EXPECT_EQ(profAdmin()->AdminServices(const_cast<LPSTR>("Outlook"), nullptr, 0, 0, s.put()), S_OK);
    EXPECT_EQ(s->CreateMsgService(const_cast<LPSTR>("MSPST MS"), nullptr, 0, 0), S_OK);
    Ptr<IMAPITable> table;
    EXPECT_EQ(s->GetMsgServiceTable(0, table.put()), S_OK);
    EXPECT_EQ(table->SeekRow(BOOKMARK_END, -1, nullptr), S_OK);
    SizedSPropTagArray(1, columns) = {1, {PR_SERVICE_UID}};
    EXPECT_EQ(table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0), S_OK);
    LPSRowSet rows = nullptr;
    EXPECT_EQ(table->QueryRows(1, 0, &rows), S_OK);
    MAPIUID uid{};
    std::memcpy(uid.ab, rows->aRow[0].lpProps[0].Value.bin.lpb, 16);
    mapi.freeProws(rows);
    SPropValue props[] = {text(PR_DISPLAY_NAME_A, display), text(PR_PST_PATH, path)};
    EXPECT_EQ(s->ConfigureMsgService(&uid, 0, 0, 2, props), S_OK);
    return uid;
  }
  // The rows of the store table: display name, default flag, entry id.
  struct StoreRow {
    std::string name;
    bool isDefault;
    std::string entryId;
  };
  std::vector<StoreRow> storeTable() {
    Ptr<IMAPITable> table;
    EXPECT_EQ(session->GetMsgStoresTable(0, table.put()), S_OK);
    SizedSPropTagArray(3, columns) = {3, {PR_DISPLAY_NAME_A, PR_DEFAULT_STORE, PR_ENTRYID}};
    LPSRowSet rows = nullptr;
    EXPECT_EQ(mapi.queryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, &rows), S_OK);
    std::vector<StoreRow> out;
    for (ULONG i = 0; rows && i < rows->cRows; ++i) {
      const LPSPropValue p = rows->aRow[i].lpProps;
      out.push_back({p[0].Value.lpszA, p[1].Value.b != 0, bin(p[2])});
    }
    mapi.freeProws(rows);
    return out;
  }
  void openDefaultStore() {
    auto stores = storeTable();
    ASSERT_FALSE(stores.empty());
    ASSERT_EQ(session->OpenMsgStore(0, static_cast<ULONG>(stores[0].entryId.size()),
                                    reinterpret_cast<LPENTRYID>(stores[0].entryId.data()), nullptr, MDB_WRITE, store.put()),
              S_OK);
    ULONG cb = 0;
    LPENTRYID id = nullptr;
    ASSERT_EQ(store->GetReceiveFolder(const_cast<LPSTR>("IPM.Note"), 0, &cb, &id, nullptr), S_OK);
    ULONG type = 0;
    Ptr<IUnknown> object;
    ASSERT_EQ(store->OpenEntry(cb, id, nullptr, MAPI_BEST_ACCESS, &type, object.put()), S_OK);
    mapi.freeBuffer(id);
    EXPECT_EQ(type, static_cast<ULONG>(MAPI_FOLDER));
    inbox.attach(static_cast<IMAPIFolder*>(object.detach()));
  }
  Ptr<IMessage> newMessage(IMAPIFolder* folder, const char* subject, ULONG flags = 0) {
    Ptr<IMessage> m;
    EXPECT_EQ(folder->CreateMessage(nullptr, flags, m.put()), S_OK);
    SPropValue props[] = {text(PR_SUBJECT_A, subject), text(PR_MESSAGE_CLASS_A, "IPM.Note")};
    EXPECT_EQ(m->SetProps(2, props, nullptr), S_OK);
    EXPECT_EQ(m->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    return m;
  }
  std::vector<std::string> subjects(IMAPIFolder* folder, ULONG flags = 0) {
    Ptr<IMAPITable> table;
    EXPECT_EQ(folder->GetContentsTable(flags, table.put()), S_OK);
    SizedSPropTagArray(1, columns) = {1, {PR_SUBJECT_A}};
    LPSRowSet rows = nullptr;
    EXPECT_EQ(mapi.queryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, &rows), S_OK);
    auto out = firstColumn(rows);
    mapi.freeProws(rows);
    return out;
  }
  // One property's bytes (binary) or its 64-bit value (times), read fresh.
  std::string binaryOf(IMAPIProp* object, ULONG tag) {
    LPSPropValue v = nullptr;
    EXPECT_EQ(mapi.getOneProp(object, tag, &v), S_OK) << std::hex << tag;
    std::string out = v ? bin(*v) : "";
    mapi.freeBuffer(v);
    return out;
  }
  ULONGLONG timeOf(IMAPIProp* object, ULONG tag) {
    LPSPropValue v = nullptr;
    EXPECT_EQ(mapi.getOneProp(object, tag, &v), S_OK);
    ULONGLONG out = v ? (ULONGLONG(v->Value.ft.dwHighDateTime) << 32) | v->Value.ft.dwLowDateTime : 0;
    mapi.freeBuffer(v);
    return out;
  }

  Ptr<IMAPISession> session;
  Ptr<IMsgStore> store;
  Ptr<IMAPIFolder> inbox;
};

TEST_F(Sessions, LogonNeedsAnExistingProfileAndTheStatusTableNamesIt) {
  Ptr<IMAPISession> other;
  EXPECT_EQ(mapi.logonEx(0, const_cast<LPSTR>("Missing"), nullptr, MAPI_EXTENDED | MAPI_EXPLICIT_PROFILE, other.put()),
            MAPI_E_LOGON_FAILED);
  EXPECT_FALSE(other);
  // No name, no dialog and no permission to take the default.
  EXPECT_EQ(mapi.logonEx(0, nullptr, nullptr, MAPI_EXTENDED | MAPI_NEW_SESSION, other.put()), MAPI_E_LOGON_FAILED);
  ASSERT_EQ(mapi.logonEx(0, nullptr, nullptr, MAPI_EXTENDED | 0x40 /* MAPI_USE_DEFAULT */, other.put()), S_OK);

  Ptr<IMAPITable> status;
  ASSERT_EQ(session->GetStatusTable(0, status.put()), S_OK);
  SizedSPropTagArray(2, columns) = {2, {PR_RESOURCE_TYPE, PR_DISPLAY_NAME_A}};
  LPSRowSet rows = nullptr;
  ASSERT_EQ(mapi.queryAllRows(status.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, &rows), S_OK);
  std::string profile;
  for (ULONG i = 0; i < rows->cRows; ++i)
    if (rows->aRow[i].lpProps[0].Value.l == MAPI_SUBSYSTEM) profile = rows->aRow[i].lpProps[1].Value.lpszA;
  mapi.freeProws(rows);
  EXPECT_EQ(profile, "Outlook");

  ASSERT_EQ(session->Logoff(0, 0, 0), S_OK);
  EXPECT_EQ(session->GetStatusTable(0, status.put()), MAPI_E_INVALID_OBJECT);
}

TEST_F(Sessions, TheStoreTableComesFromTheProfilesRegistryData) {
  addPst("Archive", "C:\\archive.pst");
  auto stores = storeTable();
  ASSERT_EQ(stores.size(), 2u);
  EXPECT_EQ(stores[0].name, "Personal Folders");
  EXPECT_TRUE(stores[0].isDefault);
  EXPECT_EQ(stores[1].name, "Archive");
  EXPECT_FALSE(stores[1].isDefault);

  // The product's query for the default store.
  Ptr<IMAPITable> table;
  ASSERT_EQ(session->GetMsgStoresTable(0, table.put()), S_OK);
  SPropValue yes{};
  yes.ulPropTag = PR_DEFAULT_STORE;
  yes.Value.b = 1;
  SRestriction isDefault{};
  isDefault.rt = RES_PROPERTY;
  isDefault.res.resProperty = {RELOP_EQ, PR_DEFAULT_STORE, &yes};
  SizedSPropTagArray(3, columns) = {3, {PR_ENTRYID, PR_DISPLAY_NAME_W, PR_DEFAULT_STORE}};
  LPSRowSet rows = nullptr;
  ASSERT_EQ(mapi.queryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), &isDefault, nullptr, 0, &rows), S_OK);
  ASSERT_EQ(rows->cRows, 1u);
  EXPECT_EQ(std::u16string(rows->aRow[0].lpProps[1].Value.lpszW), u"Personal Folders");
  mapi.freeProws(rows);

  // Marking the second store default in the registry makes two defaults.
  Ptr<IMsgServiceAdmin> admin;
  ASSERT_EQ(session->AdminServices(0, admin.put()), S_OK);
  Ptr<IMAPITable> services;
  ASSERT_EQ(admin->GetMsgServiceTable(0, services.put()), S_OK);
  SizedSPropTagArray(1, uidColumn) = {1, {PR_SERVICE_UID}};
  ASSERT_EQ(mapi.queryAllRows(services.get(), reinterpret_cast<LPSPropTagArray>(&uidColumn), nullptr, nullptr, 0, &rows), S_OK);
  const std::u16string second = std::u16string(kProfiles) + u"\\Outlook\\" + hex(rows->aRow[1].lpProps[0].Value.bin.lpb, 16);
  mapi.freeProws(rows);
  const char one[] = {1, 0, 0, 0};
  ASSERT_EQ(SHSetValueW(HKEY_CURRENT_USER, second.c_str(), u"00033009", REG_BINARY, one, 4), ERROR_SUCCESS);
  stores = storeTable();
  EXPECT_TRUE(stores[0].isDefault && stores[1].isDefault);

  // The store's support mask is its service's, as kept in the registry.
  Ptr<IMsgStore> archive;
  ASSERT_EQ(session->OpenMsgStore(0, static_cast<ULONG>(stores[1].entryId.size()),
                                  reinterpret_cast<LPENTRYID>(stores[1].entryId.data()), nullptr, 0, archive.put()),
            S_OK);
  LPSPropValue mask = nullptr;
  ASSERT_EQ(mapi.getOneProp(archive.get(), PR_STORE_SUPPORT_MASK, &mask), S_OK);
  EXPECT_EQ(mask->Value.l, 0x4 | 0x8 | 0x100 | 0x1000);
  mapi.freeBuffer(mask);
  const char noUnicode[] = {0x0C, 0x01, 0, 0};
  ASSERT_EQ(SHSetValueW(HKEY_CURRENT_USER, second.c_str(), u"0003340d", REG_BINARY, noUnicode, 4), ERROR_SUCCESS);
  ASSERT_EQ(session->OpenMsgStore(0, static_cast<ULONG>(stores[1].entryId.size()),
                                  reinterpret_cast<LPENTRYID>(stores[1].entryId.data()), nullptr, 0, archive.put()),
            S_OK);
  ASSERT_EQ(mapi.getOneProp(archive.get(), PR_STORE_SUPPORT_MASK, &mask), S_OK);
  EXPECT_EQ(mask->Value.l, 0x10C);
  mapi.freeBuffer(mask);
}

TEST_F(Sessions, TheStoreOpensOnItsFolderTreeAndEntryIdsOpenAndCompare) {
  ASSERT_NO_FATAL_FAILURE(openDefaultStore());
  LPSPropValue subtree = nullptr;
  ASSERT_EQ(mapi.getOneProp(store.get(), PR_IPM_SUBTREE_ENTRYID, &subtree), S_OK);
  ULONG type = 0;
  Ptr<IUnknown> object;
  ASSERT_EQ(session->OpenEntry(subtree->Value.bin.cb, reinterpret_cast<LPENTRYID>(subtree->Value.bin.lpb), nullptr, 0,
                               &type, object.put()),
            S_OK);
  mapi.freeBuffer(subtree);
  ASSERT_EQ(type, static_cast<ULONG>(MAPI_FOLDER));
  auto* top = static_cast<IMAPIFolder*>(object.get());
  Ptr<IMAPITable> hierarchy;
  ASSERT_EQ(top->GetHierarchyTable(0, hierarchy.put()), S_OK);
  SizedSPropTagArray(2, columns) = {2, {PR_DISPLAY_NAME_A, PR_ENTRYID}};
  LPSRowSet rows = nullptr;
  ASSERT_EQ(mapi.queryAllRows(hierarchy.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, &rows), S_OK);
  EXPECT_EQ(firstColumn(rows), (std::vector<std::string>{"Inbox", "Outbox", "Sent Items", "Deleted Items", "Drafts",
                                                         "Calendar", "Contacts", "Tasks", "Notes", "Journal"}));
  // The receive folder is the Inbox; the table's id and the store's compare equal.
  const std::string inboxId = bin(rows->aRow[0].lpProps[1]);
  mapi.freeProws(rows);
  ASSERT_NO_FATAL_FAILURE(openDefaultStore());
  const std::string opened = binaryOf(inbox.get(), PR_ENTRYID);
  ULONG same = 7;
  ASSERT_EQ(session->CompareEntryIDs(static_cast<ULONG>(inboxId.size()), reinterpret_cast<LPENTRYID>(const_cast<char*>(inboxId.data())),
                                     static_cast<ULONG>(opened.size()), reinterpret_cast<LPENTRYID>(const_cast<char*>(opened.data())),
                                     0, &same),
            S_OK);
  EXPECT_EQ(same, 1u);
  // The Inbox names the special folders.
  const std::string calendar = binaryOf(inbox.get(), PR_IPM_APPOINTMENT_ENTRYID);
  ASSERT_EQ(store->OpenEntry(static_cast<ULONG>(calendar.size()), reinterpret_cast<LPENTRYID>(const_cast<char*>(calendar.data())),
                             nullptr, 0, &type, object.put()),
            S_OK);
  LPSPropValue name = nullptr;
  ASSERT_EQ(mapi.getOneProp(static_cast<IMAPIProp*>(static_cast<IMAPIFolder*>(object.get())), PR_DISPLAY_NAME_A, &name), S_OK);
  EXPECT_STREQ(name->Value.lpszA, "Calendar");
  mapi.freeBuffer(name);
  // An id of no store of the profile.
  std::string bogus = opened;
  bogus[5] ^= 0x55;
  EXPECT_EQ(session->OpenEntry(static_cast<ULONG>(bogus.size()), reinterpret_cast<LPENTRYID>(bogus.data()), nullptr, 0, &type,
                               object.put()),
            MAPI_E_NOT_FOUND);
}

TEST_F(Sessions, FoldersAndMessagesAreCreatedListedAndDeleted) {
  ASSERT_NO_FATAL_FAILURE(openDefaultStore());
  Ptr<IMAPIFolder> sub;
  ASSERT_EQ(inbox->CreateFolder(FOLDER_GENERIC, const_cast<LPSTR>("Projects"), nullptr, nullptr, 0, sub.put()), S_OK);
  Ptr<IMAPIFolder> again;
  EXPECT_EQ(inbox->CreateFolder(FOLDER_GENERIC, const_cast<LPSTR>("PROJECTS"), nullptr, nullptr, 0, again.put()),
            MAPI_E_COLLISION);
  ASSERT_EQ(inbox->CreateFolder(FOLDER_GENERIC, const_cast<LPSTR>("projects"), nullptr, nullptr, OPEN_IF_EXISTS, again.put()),
            S_OK);
  EXPECT_EQ(binaryOf(sub.get(), PR_ENTRYID), binaryOf(again.get(), PR_ENTRYID));

  // A new message exists from its first save; associated messages have their own table.
  Ptr<IMessage> unsaved;
  ASSERT_EQ(sub->CreateMessage(nullptr, 0, unsaved.put()), S_OK);
  EXPECT_TRUE(subjects(sub.get()).empty());
  auto first = newMessage(sub.get(), "first");
  auto second = newMessage(sub.get(), "second");
  auto hidden = newMessage(sub.get(), "view settings", MAPI_ASSOCIATED);
  EXPECT_EQ(subjects(sub.get()), (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(subjects(sub.get(), MAPI_ASSOCIATED), (std::vector<std::string>{"view settings"}));

  // A property the message lacks: an error value and a warning.
  SizedSPropTagArray(2, tags) = {2, {PR_SUBJECT_A, PR_BODY_A}};
  ULONG count = 0;
  LPSPropValue values = nullptr;
  ASSERT_EQ(first->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, &values), MAPI_W_ERRORS_RETURNED);
  EXPECT_STREQ(values[0].Value.lpszA, "first");
  EXPECT_EQ(values[1].ulPropTag, PROP_TAG(PT_ERROR, PROP_ID(PR_BODY_A)));
  EXPECT_EQ(values[1].Value.err, MAPI_E_NOT_FOUND);
  mapi.freeBuffer(values);

  // Deleting: the folder refuses while it holds anything, unless told.
  const std::string subId = binaryOf(sub.get(), PR_ENTRYID);
  auto subEntry = [&] { return reinterpret_cast<LPENTRYID>(const_cast<char*>(subId.data())); };
  EXPECT_EQ(inbox->DeleteFolder(static_cast<ULONG>(subId.size()), subEntry(), 0, nullptr, 0), MAPI_E_HAS_MESSAGES);
  std::string ids[] = {binaryOf(first.get(), PR_ENTRYID), binaryOf(hidden.get(), PR_ENTRYID)};
  SBinary list[] = {{static_cast<ULONG>(ids[0].size()), reinterpret_cast<LPBYTE>(ids[0].data())},
                    {static_cast<ULONG>(ids[1].size()), reinterpret_cast<LPBYTE>(ids[1].data())}};
  SBinaryArray entries{2, list};
  ASSERT_EQ(sub->DeleteMessages(&entries, 0, nullptr, 0), S_OK);
  EXPECT_EQ(subjects(sub.get()), (std::vector<std::string>{"second"}));
  EXPECT_TRUE(subjects(sub.get(), MAPI_ASSOCIATED).empty());
  Ptr<IMAPIFolder> deeper;
  ASSERT_EQ(sub->CreateFolder(FOLDER_GENERIC, const_cast<LPSTR>("2006"), nullptr, nullptr, 0, deeper.put()), S_OK);
  EXPECT_EQ(inbox->DeleteFolder(static_cast<ULONG>(subId.size()), subEntry(), 0, nullptr, DEL_MESSAGES), MAPI_E_HAS_FOLDERS);
  ASSERT_EQ(inbox->DeleteFolder(static_cast<ULONG>(subId.size()), subEntry(), 0, nullptr, DEL_FOLDERS | DEL_MESSAGES), S_OK);
  ULONG type = 0;
  Ptr<IUnknown> gone;
  EXPECT_EQ(store->OpenEntry(static_cast<ULONG>(subId.size()), subEntry(), nullptr, 0, &type, gone.put()), MAPI_E_NOT_FOUND);
}

TEST_F(Sessions, FoldersCountTheirContentsAndMessagesKnowTheirSizeAndFolderName) {
  ASSERT_NO_FATAL_FAILURE(openDefaultStore());
  Ptr<IMAPIFolder> sub;
  ASSERT_EQ(inbox->CreateFolder(FOLDER_GENERIC, const_cast<LPSTR>("Projects"), nullptr, nullptr, 0, sub.put()), S_OK);
  auto longOf = [&](IMAPIProp* object, ULONG tag) {
    LPSPropValue v = nullptr;
    EXPECT_EQ(mapi.getOneProp(object, tag, &v), S_OK) << std::hex << tag;
    const LONG out = v ? v->Value.l : -1;
    mapi.freeBuffer(v);
    return out;
  };
  EXPECT_EQ(longOf(sub.get(), PR_CONTENT_COUNT), 0);
  EXPECT_EQ(longOf(sub.get(), PR_SUBFOLDERS), 0);
  EXPECT_EQ(longOf(inbox.get(), PR_SUBFOLDERS), 1);
  auto small = newMessage(sub.get(), "a");
  auto large = newMessage(sub.get(), "a much longer subject than the other one");
  newMessage(sub.get(), "view settings", MAPI_ASSOCIATED);
  EXPECT_EQ(longOf(sub.get(), PR_CONTENT_COUNT), 2);  // associated messages are not contents
  EXPECT_GT(longOf(large.get(), PR_MESSAGE_SIZE), longOf(small.get(), PR_MESSAGE_SIZE));
  EXPECT_GT(longOf(small.get(), PR_MESSAGE_SIZE), 0);

  // The same values in the tables, and the folder's store as the session names it.
  Ptr<IMAPITable> contents;
  ASSERT_EQ(sub->GetContentsTable(0, contents.put()), S_OK);
  SizedSPropTagArray(2, messageColumns) = {2, {PR_MESSAGE_SIZE, PR_PARENT_DISPLAY_A}};
  LPSRowSet rows = nullptr;
  ASSERT_EQ(mapi.queryAllRows(contents.get(), reinterpret_cast<LPSPropTagArray>(&messageColumns), nullptr, nullptr, 0, &rows),
            S_OK);
  ASSERT_EQ(rows->cRows, 2u);
  EXPECT_EQ(rows->aRow[0].lpProps[0].Value.l, longOf(small.get(), PR_MESSAGE_SIZE));
  EXPECT_STREQ(rows->aRow[1].lpProps[1].Value.lpszA, "Projects");
  mapi.freeProws(rows);
  Ptr<IMAPITable> hierarchy;
  ASSERT_EQ(inbox->GetHierarchyTable(0, hierarchy.put()), S_OK);
  SizedSPropTagArray(3, folderColumns) = {3, {PR_CONTENT_COUNT, PR_SUBFOLDERS, PR_STORE_ENTRYID}};
  ASSERT_EQ(mapi.queryAllRows(hierarchy.get(), reinterpret_cast<LPSPropTagArray>(&folderColumns), nullptr, nullptr, 0, &rows),
            S_OK);
  ASSERT_EQ(rows->cRows, 1u);
  EXPECT_EQ(rows->aRow[0].lpProps[0].Value.l, 2);
  EXPECT_EQ(rows->aRow[0].lpProps[1].Value.b, 0);
  EXPECT_EQ(bin(rows->aRow[0].lpProps[2]), storeTable()[0].entryId);
  mapi.freeProws(rows);
  EXPECT_EQ(binaryOf(sub.get(), PR_STORE_ENTRYID), storeTable()[0].entryId);
}

TEST_F(Sessions, SavesStampTimesAndChangeKeysAndCopiesCarryTheOriginalsTime) {
  ASSERT_NO_FATAL_FAILURE(openDefaultStore());
  auto original = newMessage(inbox.get(), "original");
  const std::string entry = binaryOf(original.get(), PR_ENTRYID);
  const std::string source = binaryOf(original.get(), PR_SOURCE_KEY);
  const std::string search = binaryOf(original.get(), PR_SEARCH_KEY);
  const std::string change1 = binaryOf(original.get(), PR_CHANGE_KEY);
  EXPECT_EQ(entry.size(), 28u);
  EXPECT_EQ(source.size(), 22u);
  EXPECT_EQ(search.size(), 16u);
  // A saver that sets the time keeps it; every save gets a new change key.
  SPropValue when{};
  when.ulPropTag = PR_LAST_MODIFICATION_TIME;
  when.Value.ft = {0x11111111, 0x01C00000};
  ASSERT_EQ(original->SetProps(1, &when, nullptr), S_OK);
  ASSERT_EQ(original->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
  const ULONGLONG stamped = timeOf(original.get(), PR_LAST_MODIFICATION_TIME);
  EXPECT_EQ(stamped, (ULONGLONG(0x01C00000) << 32) | 0x11111111);
  const std::string change2 = binaryOf(original.get(), PR_CHANGE_KEY);
  EXPECT_NE(change1, change2);
  // A save that does not set it stamps the clock.
  SPropValue subject = text(PR_SUBJECT_A, "edited");
  ASSERT_EQ(original->SetProps(1, &subject, nullptr), S_OK);
  ASSERT_EQ(original->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
  EXPECT_GT(timeOf(original.get(), PR_LAST_MODIFICATION_TIME), stamped);
  ASSERT_EQ(original->SetProps(1, &when, nullptr), S_OK);
  ASSERT_EQ(original->SaveChanges(KEEP_OPEN_READWRITE), S_OK);

  // The copy: a new entry id and source key, the original's time and search key.
  Ptr<IMessage> copy;
  ASSERT_EQ(inbox->CreateMessage(nullptr, 0, copy.put()), S_OK);
  ASSERT_EQ(original->CopyTo(0, nullptr, nullptr, 0, nullptr, &IID_IMessage, copy.get(), 0, nullptr), S_OK);
  ASSERT_EQ(copy->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
  EXPECT_NE(binaryOf(copy.get(), PR_ENTRYID), entry);
  EXPECT_NE(binaryOf(copy.get(), PR_SOURCE_KEY), source);
  EXPECT_EQ(binaryOf(copy.get(), PR_SEARCH_KEY), search);
  EXPECT_EQ(timeOf(copy.get(), PR_LAST_MODIFICATION_TIME), stamped);
  EXPECT_EQ(subjects(inbox.get()), (std::vector<std::string>{"edited", "edited"}));
  // Ids are never reused: a message made after a deletion gets a new one.
  const std::string copyId = binaryOf(copy.get(), PR_ENTRYID);
  SBinary one{static_cast<ULONG>(copyId.size()), reinterpret_cast<LPBYTE>(const_cast<char*>(copyId.data()))};
  SBinaryArray entries{1, &one};
  ASSERT_EQ(inbox->DeleteMessages(&entries, 0, nullptr, 0), S_OK);
  auto later = newMessage(inbox.get(), "later");
  EXPECT_NE(binaryOf(later.get(), PR_ENTRYID), copyId);
}

// As on Windows, a copy carries the recipient table along, unless PR_MESSAGE_RECIPIENTS is
// excluded (a copy put into an Outbox must still be submittable).
TEST_F(Sessions, ACopyCarriesTheRecipientsUnlessTheyAreExcluded) {
  ASSERT_NO_FATAL_FAILURE(openDefaultStore());
  auto original = newMessage(inbox.get(), "addressed");
  SPropValue recipient[3]{};
  recipient[0] = text(PR_DISPLAY_NAME_A, "John Doe");
  recipient[1] = text(PR_EMAIL_ADDRESS_A, "jdoe@example.org");
  recipient[2].ulPropTag = PR_RECIPIENT_TYPE;
  recipient[2].Value.l = MAPI_TO;
  ADRLIST list{1, {{0, 3, recipient}}};
  ASSERT_EQ(original->ModifyRecipients(0, &list), S_OK);
  ASSERT_EQ(original->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
  const auto recipientsOf = [](IMessage* message) {
    Ptr<IMAPITable> table;
    EXPECT_EQ(message->GetRecipientTable(0, table.put()), S_OK);
    ULONG count = 0;
    EXPECT_EQ(table->GetRowCount(0, &count), S_OK);
    return count;
  };
  Ptr<IMessage> copy;
  ASSERT_EQ(inbox->CreateMessage(nullptr, 0, copy.put()), S_OK);
  ASSERT_EQ(original->CopyTo(0, nullptr, nullptr, 0, nullptr, &IID_IMessage, copy.get(), 0, nullptr), S_OK);
  ASSERT_EQ(copy->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
  EXPECT_EQ(recipientsOf(copy.get()), 1u);
  EXPECT_EQ(recipientsOf(original.get()), 1u);

  SizedSPropTagArray(1, noRecipients) = {1, {PROP_TAG(PT_OBJECT, 0x0E12)}};
  Ptr<IMessage> bare;
  ASSERT_EQ(inbox->CreateMessage(nullptr, 0, bare.put()), S_OK);
  ASSERT_EQ(original->CopyTo(0, nullptr, reinterpret_cast<LPSPropTagArray>(&noRecipients), 0, nullptr, &IID_IMessage,
                             bare.get(), 0, nullptr),
            S_OK);
  ASSERT_EQ(bare->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
  EXPECT_EQ(recipientsOf(bare.get()), 0u);
}

TEST_F(Sessions, AttachmentDataIsAStreamSavedWithTheMessage) {
  ASSERT_NO_FATAL_FAILURE(openDefaultStore());
  Ptr<IMessage> message;
  ASSERT_EQ(inbox->CreateMessage(nullptr, 0, message.put()), S_OK);
  ULONG number = 99;
  Ptr<IAttach> attach;
  ASSERT_EQ(message->CreateAttach(nullptr, 0, &number, attach.put()), S_OK);
  EXPECT_EQ(number, 0u);
  SPropValue name = text(PR_ATTACH_LONG_FILENAME_A, "report.txt");
  ASSERT_EQ(attach->SetProps(1, &name, nullptr), S_OK);
  Ptr<IUnknown> unknown;
  ASSERT_EQ(attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY, unknown.put()), S_OK);
  auto* stream = static_cast<IStream*>(unknown.get());
  ASSERT_EQ(stream->Write("attached bytes", 14, nullptr), S_OK);
  ASSERT_EQ(stream->Commit(STGC_OVERWRITE), S_OK);
  unknown.reset();
  ASSERT_EQ(attach->SaveChanges(0), S_OK);
  attach.reset();
  ASSERT_EQ(message->SaveChanges(0), S_OK);

  Ptr<IMAPITable> table;
  ASSERT_EQ(message->GetAttachmentTable(0, table.put()), S_OK);
  SizedSPropTagArray(3, columns) = {3, {PR_ATTACH_NUM, PR_ATTACH_LONG_FILENAME_A, PR_ATTACH_SIZE}};
  LPSRowSet rows = nullptr;
  ASSERT_EQ(mapi.queryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, &rows), S_OK);
  ASSERT_EQ(rows->cRows, 1u);
  EXPECT_STREQ(rows->aRow[0].lpProps[1].Value.lpszA, "report.txt");
  EXPECT_EQ(rows->aRow[0].lpProps[2].Value.l, 14);
  mapi.freeProws(rows);
  ASSERT_EQ(message->OpenAttach(0, nullptr, 0, attach.put()), S_OK);
  ASSERT_EQ(attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, 0, unknown.put()), S_OK);
  char buffer[32] = {};
  ULONG read = 0;
  ASSERT_EQ(static_cast<IStream*>(unknown.get())->Read(buffer, sizeof buffer, &read), S_OK);
  EXPECT_EQ(std::string(buffer, read), "attached bytes");
  EXPECT_EQ(message->OpenAttach(5, nullptr, 0, attach.put()), MAPI_E_NOT_FOUND);
}

TEST_F(Sessions, WriteCallsAndListingsFailAtTheirFaultPoints) {
  ASSERT_NO_FATAL_FAILURE(openDefaultStore());
  struct Case {
    const char* point;
    std::function<HRESULT()> call;
  };
  auto message = newMessage(inbox.get(), "kept");
  const std::string id = binaryOf(message.get(), PR_ENTRYID);
  SBinary one{static_cast<ULONG>(id.size()), reinterpret_cast<LPBYTE>(const_cast<char*>(id.data()))};
  SBinaryArray entries{1, &one};
  Ptr<IMessage> created;
  Ptr<IMAPIFolder> folder;
  const Case cases[] = {
      {"IMAPIFolder::CreateMessage", [&] { return inbox->CreateMessage(nullptr, 0, created.put()); }},
      {"IMessage::SaveChanges", [&] { return message->SaveChanges(KEEP_OPEN_READWRITE); }},
      {"IMessage::CopyTo",
       [&] { return message->CopyTo(0, nullptr, nullptr, 0, nullptr, &IID_IMessage, message.get(), 0, nullptr); }},
      {"IMAPIFolder::DeleteMessages", [&] { return inbox->DeleteMessages(&entries, 0, nullptr, 0); }},
      {"IMAPIFolder::CreateFolder",
       [&] { return inbox->CreateFolder(FOLDER_GENERIC, const_cast<LPSTR>("New"), nullptr, nullptr, 0, folder.put()); }},
      {"IMessage::SubmitMessage", [&] { return message->SubmitMessage(0); }},
      {"IMAPIContainer::GetContentsTable", [&] {
         Ptr<IMAPITable> table;
         return inbox->GetContentsTable(0, table.put());
       }},
  };
  for (const Case& c : cases) {
    kipotest::failCall(c.point, static_cast<DWORD>(MAPI_E_DISK_ERROR), u"", 1, 1);
    EXPECT_EQ(c.call(), MAPI_E_DISK_ERROR) << c.point;
  }
  EXPECT_EQ(subjects(inbox.get()), (std::vector<std::string>{"kept"}));
  ASSERT_EQ(inbox->CreateFolder(FOLDER_GENERIC, const_cast<LPSTR>("New"), nullptr, nullptr, 0, folder.put()), S_OK);
  const std::string folderId = binaryOf(folder.get(), PR_ENTRYID);
  kipotest::failCall("IMAPIFolder::DeleteFolder", static_cast<DWORD>(MAPI_E_DISK_ERROR), u"", 1, 1);
  EXPECT_EQ(inbox->DeleteFolder(static_cast<ULONG>(folderId.size()), reinterpret_cast<LPENTRYID>(const_cast<char*>(folderId.data())),
                                0, nullptr, 0),
            MAPI_E_DISK_ERROR);
}

}  // namespace

namespace {

// Changes a store file behind the stand-in's back, as damage would.
bool execSql(const std::string& file, const std::string& sql) {
  sqlite3* db = nullptr;
  bool ok = sqlite3_open(file.c_str(), &db) == SQLITE_OK && sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

// A damaged value in a store file (a long of three bytes, a multi-valued count beyond its data)
// fails the read with MAPI_E_CORRUPT_DATA; the file is not rewritten by the failed reads.
TEST_F(Sessions, DamagedValuesInTheStoreFileFailTheirReads) {
  ASSERT_NO_FATAL_FAILURE(openDefaultStore());
  auto message = newMessage(inbox.get(), "damaged");
  const std::string id = binaryOf(message.get(), PR_ENTRYID);
  std::uint64_t object = 0;
  for (int i = 7; i >= 0; --i) object = (object << 8) | static_cast<unsigned char>(id[20 + i]);
  message.reset();
  store.reset();
  inbox.reset();
  const std::string cases[] = {
      "INSERT INTO props VALUES(%, 235339779, x'010203')",                       // PR_MESSAGE_FLAGS: 3 bytes
      "INSERT INTO props VALUES(%, 1711411458, x'ffffff7f')",                   // 0x66021102 (MV binary): huge count
  };
  for (std::string sql : cases) {
    sql.replace(sql.find('%'), 1, std::to_string(object));
    ASSERT_TRUE(execSql(host.c("outlook.pst").string(), sql)) << sql;
    ASSERT_NO_FATAL_FAILURE(openDefaultStore());
    ULONG type = 0;
    Ptr<IUnknown> object_;
    ASSERT_EQ(store->OpenEntry(static_cast<ULONG>(id.size()), reinterpret_cast<LPENTRYID>(const_cast<char*>(id.data())), nullptr, 0,
                               &type, object_.put()),
              S_OK);
    SizedSPropTagArray(1, tags) = {1, {PR_SUBJECT_A}};
    ULONG count = 0;
    LPSPropValue values = reinterpret_cast<LPSPropValue>(0xdeadbeef);
    EXPECT_EQ(static_cast<IMessage*>(object_.get())->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, &values),
              MAPI_E_CORRUPT_DATA)
        << sql;
    Ptr<IMAPITable> table;
    EXPECT_EQ(inbox->GetContentsTable(0, table.put()), MAPI_E_CORRUPT_DATA) << sql;
    const std::string after = host.read("outlook.pst");
    object_.reset();
    inbox.reset();
    store.reset();
    EXPECT_EQ(host.read("outlook.pst"), after) << "reading wrote the file";
    // Mend it for the next case.
    ASSERT_TRUE(execSql(host.c("outlook.pst").string(),
                        "DELETE FROM props WHERE object = " + std::to_string(object) + " AND tag IN (235339779, 1711411458)"));
  }
}

}  // namespace

namespace {

// Short-term ids: handed out only when the store's service says so (in the profile's registry
// data), in the contents table's PR_ENTRYID beside the long-term id and by GetReceiveFolder;
// accepted by OpenEntry and CompareEntryIDs of their own session, refused by another session's.
TEST_F(Sessions, ShortTermIdsWhenTheStoreIsSetToAndOnlyInTheirSession) {
  ASSERT_NO_FATAL_FAILURE(openDefaultStore());
  newMessage(inbox.get(), "item");
  ULONG cb = 0;
  LPENTRYID id = nullptr;
  ASSERT_EQ(store->GetReceiveFolder(const_cast<LPSTR>("IPM.Note"), 0, &cb, &id, nullptr), S_OK);
  EXPECT_EQ(cb, 28u);
  EXPECT_EQ(id->abFlags[0], 0);
  mapi.freeBuffer(id);

  // Switched on in the service's section.
  Ptr<IMsgServiceAdmin> admin;
  ASSERT_EQ(session->AdminServices(0, admin.put()), S_OK);
  Ptr<IMAPITable> services;
  ASSERT_EQ(admin->GetMsgServiceTable(0, services.put()), S_OK);
  SizedSPropTagArray(1, uidColumn) = {1, {PR_SERVICE_UID}};
  LPSRowSet rows = nullptr;
  ASSERT_EQ(mapi.queryAllRows(services.get(), reinterpret_cast<LPSPropTagArray>(&uidColumn), nullptr, nullptr, 0, &rows), S_OK);
  const std::u16string section = std::u16string(kProfiles) + u"\\Outlook\\" + hex(rows->aRow[0].lpProps[0].Value.bin.lpb, 16);
  mapi.freeProws(rows);
  const char on[] = {1, 0};
  ASSERT_EQ(SHSetValueW(HKEY_CURRENT_USER, section.c_str(), u"000b67f0", REG_BINARY, on, 2), ERROR_SUCCESS);
  ASSERT_NO_FATAL_FAILURE(openDefaultStore());  // through a short-term id from GetReceiveFolder

  ASSERT_EQ(store->GetReceiveFolder(const_cast<LPSTR>("IPM.Note"), 0, &cb, &id, nullptr), S_OK);
  EXPECT_EQ(id->abFlags[0], 0x80);
  const std::string shortInbox(reinterpret_cast<const char*>(id), cb);
  mapi.freeBuffer(id);
  const std::string longInbox = binaryOf(inbox.get(), PR_ENTRYID);
  EXPECT_EQ(longInbox.size(), 28u);
  ULONG same = 0;
  ASSERT_EQ(store->CompareEntryIDs(static_cast<ULONG>(shortInbox.size()), reinterpret_cast<LPENTRYID>(const_cast<char*>(shortInbox.data())),
                                   static_cast<ULONG>(longInbox.size()), reinterpret_cast<LPENTRYID>(const_cast<char*>(longInbox.data())),
                                   0, &same),
            S_OK);
  EXPECT_EQ(same, 1u);

  Ptr<IMAPITable> contents;
  ASSERT_EQ(inbox->GetContentsTable(0, contents.put()), S_OK);
  SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, PR_LONGTERM_ENTRYID_FROM_TABLE}};
  ASSERT_EQ(mapi.queryAllRows(contents.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, &rows), S_OK);
  ASSERT_EQ(rows->cRows, 1u);
  const std::string shortItem = bin(rows->aRow[0].lpProps[0]), longItem = bin(rows->aRow[0].lpProps[1]);
  mapi.freeProws(rows);
  EXPECT_EQ(static_cast<unsigned char>(shortItem[0]), 0x80);
  EXPECT_EQ(longItem[0], 0);
  ULONG type = 0;
  Ptr<IUnknown> object;
  ASSERT_EQ(session->OpenEntry(static_cast<ULONG>(shortItem.size()), reinterpret_cast<LPENTRYID>(const_cast<char*>(shortItem.data())),
                               nullptr, 0, &type, object.put()),
            S_OK);
  EXPECT_EQ(binaryOf(static_cast<IMAPIProp*>(static_cast<IMessage*>(object.get())), PR_ENTRYID), longItem);

  // Another session does not know this session's short-term ids.
  Ptr<IMAPISession> other;
  ASSERT_EQ(mapi.logonEx(0, const_cast<LPSTR>("Outlook"), nullptr, MAPI_EXTENDED | MAPI_EXPLICIT_PROFILE, other.put()), S_OK);
  EXPECT_EQ(other->OpenEntry(static_cast<ULONG>(shortItem.size()), reinterpret_cast<LPENTRYID>(const_cast<char*>(shortItem.data())),
                             nullptr, 0, &type, object.put()),
            MAPI_E_NOT_FOUND);
  EXPECT_EQ(other->OpenEntry(static_cast<ULONG>(longItem.size()), reinterpret_cast<LPENTRYID>(const_cast<char*>(longItem.data())),
                             nullptr, 0, &type, object.put()),
            S_OK);
}

}  // namespace

namespace {

// DeleteProfile of a profile with a session open marks it: hidden from the profile table and
// administration, not to be created again, and deleted from the registry when the session ends.
TEST_F(Sessions, DeletingAProfileInUseWaitsForItsLastSession) {
  auto admin = profAdmin();
  ASSERT_EQ(admin->DeleteProfile(const_cast<LPSTR>("Outlook"), 0), S_OK);
  const std::u16string key = std::u16string(kProfiles) + u"\\Outlook";
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &k), ERROR_SUCCESS) << "kept while in use";
  RegCloseKey(k);
  Ptr<IMAPITable> table;
  ASSERT_EQ(admin->GetProfileTable(0, table.put()), S_OK);
  ULONG count = 9;
  ASSERT_EQ(table->GetRowCount(0, &count), S_OK);
  EXPECT_EQ(count, 0u);
  Ptr<IMsgServiceAdmin> services;
  EXPECT_EQ(admin->AdminServices(const_cast<LPSTR>("Outlook"), nullptr, 0, 0, services.put()), MAPI_E_NOT_FOUND);
  EXPECT_EQ(admin->CreateProfile(const_cast<LPSTR>("Outlook"), nullptr, 0, 0), MAPI_E_NO_ACCESS);
  // The open session still works on it.
  Ptr<IMAPITable> status;
  EXPECT_EQ(session->GetStatusTable(0, status.put()), S_OK);

  ASSERT_EQ(session->Logoff(0, 0, 0), S_OK);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(admin->CreateProfile(const_cast<LPSTR>("Outlook"), nullptr, 0, 0), S_OK);
}

}  // namespace

namespace {

// A store in use is held open with a share mode that refuses deletion, and is one file at rest:
// copying it gives a store that opens; once nothing holds it, it can be deleted.
TEST_F(Sessions, AStoreInUseCannotBeDeletedAndIsOneFile) {
  ASSERT_NO_FATAL_FAILURE(openDefaultStore());
  newMessage(inbox.get(), "kept");
  EXPECT_FALSE(DeleteFileW(u"C:\\outlook.pst"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  // The platform's own open and close of the file leave the store working.
  ASSERT_TRUE(CopyFileW(u"C:\\outlook.pst", u"C:\\copy.pst", TRUE)) << GetLastError();
  newMessage(inbox.get(), "after the copy");
  EXPECT_TRUE(host.gone("outlook.pst-journal"));
  std::string out, err;
  ASSERT_EQ(kipotest::runTool({"mapi", "dump", "C:\\copy.pst"}, &out, &err), 0) << err;
  EXPECT_NE(out.find("item IPM.Note kept"), std::string::npos) << out;
  inbox.reset();
  store.reset();
  session.reset();
  EXPECT_TRUE(DeleteFileW(u"C:\\outlook.pst")) << GetLastError();
}

}  // namespace

namespace {

// The address book: one recipients container per contacts folder the address book provider was
// given, found as the product finds them (root hierarchy at convenient depth, restricted to
// AB_RECIPIENTS), and a search path kept in the profile, so a copy of the profile's key has it.
TEST_F(Sessions, AddressBookContainersAndASearchPathKeptInTheProfile) {
  Ptr<IMsgServiceAdmin> admin;
  ASSERT_EQ(session->AdminServices(0, admin.put()), S_OK);
  ASSERT_EQ(admin->CreateMsgService(const_cast<LPSTR>("CONTAB"), const_cast<LPSTR>("Kipo Address Book"), 0, 0), S_OK);
  Ptr<IMAPITable> services;
  ASSERT_EQ(admin->GetMsgServiceTable(0, services.put()), S_OK);
  ASSERT_EQ(services->SeekRow(BOOKMARK_END, -1, nullptr), S_OK);
  SizedSPropTagArray(1, uidColumn) = {1, {PR_SERVICE_UID}};
  ASSERT_EQ(services->SetColumns(reinterpret_cast<LPSPropTagArray>(&uidColumn), 0), S_OK);
  LPSRowSet rows = nullptr;
  ASSERT_EQ(services->QueryRows(1, 0, &rows), S_OK);
  MAPIUID contab;
  std::memcpy(contab.ab, rows->aRow[0].lpProps[0].Value.bin.lpb, 16);
  mapi.freeProws(rows);
  Ptr<IProviderAdmin> providers;
  ASSERT_EQ(admin->AdminProviders(&contab, 0, providers.put()), S_OK);
  BYTE a[] = {1}, b[] = {2};
  SBinary folders[] = {{1, a}, {1, b}};
  LPSTR names[] = {const_cast<LPSTR>("Contacts"), const_cast<LPSTR>("Suppliers")};
  SPropValue props[2]{};
  props[0].ulPropTag = 0x66201102;
  props[0].Value.MVbin = {2, folders};
  props[1].ulPropTag = 0x6623101E;
  props[1].Value.MVszA = {2, names};
  ASSERT_EQ(providers->CreateProvider(const_cast<LPSTR>("CONTABP"), 2, props, 0, 0, nullptr), S_OK);

  Ptr<IAddrBook> book;
  ASSERT_EQ(session->OpenAddressBook(0, nullptr, 0, book.put()), S_OK);
  Ptr<IUnknown> rootObject;
  ULONG type = 0;
  ASSERT_EQ(book->OpenEntry(0, nullptr, nullptr, 0, &type, rootObject.put()), S_OK);
  EXPECT_EQ(type, static_cast<ULONG>(MAPI_ABCONT));
  auto* root = static_cast<IABContainer*>(rootObject.get());
  Ptr<IMAPITable> hierarchy;
  ASSERT_EQ(root->GetHierarchyTable(CONVENIENT_DEPTH, hierarchy.put()), S_OK);
  SizedSPropTagArray(1, idColumn) = {1, {PR_ENTRYID}};
  ASSERT_EQ(hierarchy->SetColumns(reinterpret_cast<LPSPropTagArray>(&idColumn), 0), S_OK);
  SRestriction recipients{};
  recipients.rt = RES_BITMASK;
  recipients.res.resBitMask = {BMR_NEZ, PR_CONTAINER_FLAGS, AB_RECIPIENTS};
  ASSERT_EQ(hierarchy->Restrict(&recipients, TBL_BATCH), S_OK);
  ASSERT_EQ(hierarchy->QueryRows(100, 0, &rows), S_OK);
  ASSERT_EQ(rows->cRows, 2u);
  // Each container opens by its id, with its folder's name.
  Ptr<IUnknown> second;
  ASSERT_EQ(book->OpenEntry(rows->aRow[1].lpProps[0].Value.bin.cb, reinterpret_cast<LPENTRYID>(rows->aRow[1].lpProps[0].Value.bin.lpb),
                            nullptr, 0, &type, second.put()),
            S_OK);
  LPSPropValue name = nullptr;
  ASSERT_EQ(mapi.getOneProp(static_cast<IMAPIProp*>(static_cast<IABContainer*>(second.get())), PR_DISPLAY_NAME_A, &name), S_OK);
  EXPECT_STREQ(name->Value.lpszA, "Suppliers");
  mapi.freeBuffer(name);

  // The path set here, in reverse order, is what a session on a copy of the profile reads.
  std::swap(rows->aRow[0], rows->aRow[1]);
  ASSERT_EQ(book->SetSearchPath(0, rows), S_OK);
  const std::string first = bin(rows->aRow[0].lpProps[0]);
  mapi.freeProws(rows);
  HKEY target = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (std::u16string(kProfiles) + u"\\Copy").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &target, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(SHCopyKeyW(HKEY_CURRENT_USER, (std::u16string(kProfiles) + u"\\Outlook").c_str(), target, 0), ERROR_SUCCESS);
  RegCloseKey(target);
  Ptr<IMAPISession> copy;
  ASSERT_EQ(mapi.logonEx(0, const_cast<LPSTR>("Copy"), nullptr, MAPI_EXTENDED | MAPI_EXPLICIT_PROFILE, copy.put()), S_OK);
  Ptr<IAddrBook> copiedBook;
  ASSERT_EQ(copy->OpenAddressBook(0, nullptr, 0, copiedBook.put()), S_OK);
  ASSERT_EQ(copiedBook->GetSearchPath(0, &rows), S_OK);
  ASSERT_EQ(rows->cRows, 2u);
  EXPECT_EQ(bin(rows->aRow[0].lpProps[0]), first);
  mapi.freeProws(rows);
}

}  // namespace

namespace {

// A logon with the user interface and no profile name shows the profile dialog: the profile
// picked there is the session's; Cancel gives MAPI_E_USER_CANCEL and no session.
TEST_F(Sessions, TheProfileDialogChoosesTheProfileOrCancels) {
  makeProfiles({"Second"});
  auto profileOf = [&](IMAPISession* s) {
    Ptr<IMAPITable> status;
    EXPECT_EQ(s->GetStatusTable(0, status.put()), S_OK);
    SizedSPropTagArray(2, columns) = {2, {PR_RESOURCE_TYPE, PR_DISPLAY_NAME_A}};
    LPSRowSet rows = nullptr;
    EXPECT_EQ(mapi.queryAllRows(status.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, &rows), S_OK);
    std::string name = rows && rows->cRows ? rows->aRow[0].lpProps[1].Value.lpszA : "";
    mapi.freeProws(rows);
    return name;
  };
  Ptr<IMAPISession> chosen;
  {
    kipotest::UiScript ui;
    ui.window(u"#32770").select(mapi::kProfileListId, 1).click(IDOK);
    ASSERT_EQ(mapi.logonEx(0, nullptr, nullptr, MAPI_EXTENDED | MAPI_NEW_SESSION | MAPI_LOGON_UI, chosen.put()), S_OK);
  }
  EXPECT_EQ(profileOf(chosen.get()), "Second");
  {
    kipotest::UiScript ui;
    ui.window(u"#32770").click(IDCANCEL);
    Ptr<IMAPISession> none;
    EXPECT_EQ(mapi.logonEx(0, nullptr, nullptr, MAPI_EXTENDED | MAPI_NEW_SESSION | MAPI_LOGON_UI, none.put()),
              MAPI_E_USER_CANCEL);
    EXPECT_FALSE(none);
  }
}

}  // namespace
