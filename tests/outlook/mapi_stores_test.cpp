// Stores, special folders, attachments and the Exchange identity through the MAPI layer on the
// MAPI stand-in.
#include <filesystem>

#include "tests/outlook/mapi_layer_fixture.h"

namespace {

using platform::com::Ptr;

constexpr ULONG kShortTermIds = PROP_TAG(PT_BOOLEAN, 0x67F0);  // the stand-in's switch for a service

class MapiStoresTest : public mapilayertest::MapiLayerTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(setOutlook());
    tool({"net", "add", "EXCH01", "--address", "10.1.2.3"});
    tool({"mapi", "exchange", "add", "EXCH01", "--mailbox", "jdoe", "--org", "Acme", "--site", "HQ"});
    tool({"mapi", "profile", "add", "Outlook", "--pst", "C:\\outlook.pst", "--default"});
    util = &start();
    ASSERT_TRUE(util->initializeMapi());
  }
  void TearDown() override {
    session.reset();
    util->uninitializeMapi();
  }
  void logon(const char16_t* profile) { ASSERT_EQ(util->logon(session, CString(profile)), S_OK); }
  CMapiUtil::ServiceAdmin services() {
    CMapiUtil::ServiceAdmin admin;
    EXPECT_EQ(session->AdminServices(0, admin.put()), S_OK);
    return admin;
  }
  // Adds a personal folders service to the session's profile and sets these extra properties.
  void addPst(const char* path, const char* display, std::vector<SPropValue> extra = {}) {
    CMapiUtil::ProfAdmin admin;
    util->getMapiProfAdmin(admin);
    MAPIUID uid{};
    ASSERT_TRUE(util->addPstMessageServiceToProfile(admin.get(), util->getProfileName(session.get()), CString(path),
                                                    CString(display), &uid));
    if (!extra.empty()) {
      ASSERT_TRUE(util->configureMessageService(services().get(), &uid, extra.data(), static_cast<ULONG>(extra.size())));
    }
  }
  std::string storeName(IMsgStore* store) {
    Ptr<IMAPIProp> prop;
    EXPECT_EQ(Ptr<IMsgStore>(store).as(prop), S_OK);
    LPSPropValue v = nullptr;
    if (FAILED(getMapiLoader()->HrGetOneProp(prop.get(), PR_DISPLAY_NAME_A, &v))) return "<none>";
    std::string name = v->Value.lpszA;
    getMapiLoader()->MAPIFreeBuffer(v);
    return name;
  }
  // A new saved message in the store's Inbox.
  CMapiUtil::EntryId newMessage(IMsgStore* store) {
    CString inbox;
    EXPECT_EQ(util->getReceiveFolderEntryId(store, inbox, false), S_OK);
    Ptr<IUnknown> object;
    EXPECT_EQ(util->OpenEntry(store, inbox, object), S_OK);
    Ptr<IMAPIFolder> folder;
    EXPECT_EQ(object.as(folder), S_OK);
    Ptr<IMessage> message;
    EXPECT_EQ(folder->CreateMessage(nullptr, 0, message.put()), S_OK);
    EXPECT_EQ(message->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    LPSPropValue v = nullptr;
    EXPECT_EQ(getMapiLoader()->HrGetOneProp(message.get(), PR_ENTRYID, &v), S_OK);
    CMapiUtil::EntryId id(v->Value.bin.lpb, v->Value.bin.lpb + v->Value.bin.cb);
    getMapiLoader()->MAPIFreeBuffer(v);
    return id;
  }
  ULONG attachmentCount(IMsgStore* store, const CMapiUtil::EntryId& id) {
    Ptr<IUnknown> object;
    EXPECT_EQ(util->OpenEntry(store, id, object), S_OK);
    Ptr<IMessage> message;
    EXPECT_EQ(object.as(message), S_OK);
    Ptr<IMAPITable> table;
    EXPECT_EQ(message->GetAttachmentTable(0, table.put()), S_OK);
    ULONG count = 0;
    table->GetRowCount(0, &count);
    return count;
  }

  CMapiUtil* util = nullptr;
  CMapiUtil::Session session;
};

TEST_F(MapiStoresTest, OfTwoDefaultStoresTheFirstRowOpens) {
  logon(u"Outlook");
  SPropValue flag{};
  flag.ulPropTag = PR_RESOURCE_FLAGS;
  flag.Value.l = SERVICE_DEFAULT_STORE;
  ASSERT_NO_FATAL_FAILURE(addPst("C:\\second.pst", "Second", {flag}));
  Ptr<IMAPITable> table;
  ASSERT_EQ(session->GetMsgStoresTable(0, table.put()), S_OK);
  SizedSPropTagArray(2, columns) = {2, {PR_DISPLAY_NAME_A, PR_DEFAULT_STORE}};
  LPSRowSet rows = nullptr;
  ASSERT_EQ(getMapiLoader()->HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr,
                                            0, &rows),
            S_OK);
  std::vector<std::string> defaults;
  for (ULONG i = 0; i < rows->cRows; ++i)
    if (rows->aRow[i].lpProps[1].Value.b) defaults.push_back(rows->aRow[i].lpProps[0].Value.lpszA);
  getMapiLoader()->FreeProws(rows);
  ASSERT_EQ(defaults.size(), 2u);

  CMapiUtil::Store store;
  util->openDefaultMessageStore(store, session.get());
  ASSERT_TRUE(store);
  EXPECT_EQ(storeName(store.get()), defaults[0]);
  util->openDefaultMessageStore(store, nullptr);
  EXPECT_FALSE(store);
}

TEST_F(MapiStoresTest, AStoreWhoseSupportMaskLacksABitIsSkippedForTheNextOfTheSameName) {
  ASSERT_EQ(util->createExchangeProfile(CString(u"Work"), CString(u"EXCH01"), CString(u"jdoe")), S_OK);
  logon(u"Work");
  CMapiUtil::Store exchange;
  util->openDefaultMessageStore(exchange, session.get());
  ASSERT_TRUE(exchange);
  const std::string mailbox = storeName(exchange.get());
  // The mailbox store lacks a support mask; a file store of the same name stands behind it.
  CMapiUtil::Store store;
  util->openMessageStore(store, CString(mailbox.c_str()), session.get(), false);
  EXPECT_FALSE(store);
  ASSERT_NO_FATAL_FAILURE(addPst("C:\\same.pst", mailbox.c_str()));
  CString upper(mailbox.c_str());
  upper.MakeUpper();
  util->openMessageStore(store, upper, session.get(), false);
  ASSERT_TRUE(store);
  Ptr<IMAPIProp> prop;
  ASSERT_EQ(store.as(prop), S_OK);
  LPSPropValue mask = nullptr;
  ASSERT_EQ(getMapiLoader()->HrGetOneProp(prop.get(), PR_STORE_SUPPORT_MASK, &mask), S_OK);
  getMapiLoader()->MAPIFreeBuffer(mask);
  util->openMessageStore(store, CString(u"No such store"), session.get(), false);
  EXPECT_FALSE(store);
}

TEST_F(MapiStoresTest, ShortTermIdsAreMadeLongTermUnlessKept) {
  logon(u"Outlook");
  SPropValue shortIds{};
  shortIds.ulPropTag = kShortTermIds;
  shortIds.Value.b = 1;
  MAPIUID uid{};
  ASSERT_TRUE(util->getDefaultServiceAndDeleteOthers(session.get(), uid, false));
  ASSERT_TRUE(util->configureMessageService(services().get(), &uid, &shortIds, 1));
  CMapiUtil::Session fresh;
  ASSERT_EQ(util->logon(fresh, CString(u"Outlook")), S_OK);
  CMapiUtil::Store store;
  util->openDefaultMessageStore(store, fresh.get());
  ASSERT_TRUE(store);

  CString kept, converted;
  ASSERT_EQ(util->getReceiveFolderEntryId(store.get(), kept, true), S_OK);
  ASSERT_EQ(util->getReceiveFolderEntryId(store.get(), converted, false), S_OK);
  EXPECT_EQ(kept.Left(2), CString(u"80"));
  EXPECT_EQ(converted.Left(8), CString(u"00000000"));
  EXPECT_EQ(converted.GetLength(), 56);
  // Both name the Inbox.
  CMapiUtil::EntryId longTerm, keptBytes;
  ASSERT_TRUE(bytesFromHex(kept, keptBytes));
  ASSERT_EQ(util->getLongTermEntryId(store.get(), keptBytes, longTerm), S_OK);
  EXPECT_EQ(hexFromBytes(longTerm.data(), static_cast<ULONG>(longTerm.size())), converted);

  // Special folders: the Inbox's tags and the store's, each long-term.
  for (ULONG tag : {PR_IPM_CONTACT_ENTRYID, PR_IPM_SENTMAIL_ENTRYID, PR_IPM_SUBTREE_ENTRYID}) {
    SCOPED_TRACE(tag);
    CString id;
    ASSERT_EQ(util->getSpecialFolderEntryId(store.get(), tag, id), S_OK);
    EXPECT_EQ(id.Left(8), CString(u"00000000"));
    Ptr<IUnknown> folder;
    EXPECT_EQ(util->OpenEntry(store.get(), id, folder), S_OK);
  }
  CString none;
  EXPECT_EQ(util->getSpecialFolderEntryId(nullptr, PR_IPM_CONTACT_ENTRYID, none), E_FAIL);
}

TEST_F(MapiStoresTest, AttachmentsGoInOnlyWithTheirDataAndComeOutOnlyIntoTheFolder) {
  logon(u"Outlook");
  CMapiUtil::Store store;
  util->openDefaultMessageStore(store, session.get());
  ASSERT_TRUE(store);
  const CMapiUtil::EntryId message = newMessage(store.get());
  host.write("data.txt", "attached bytes");
  std::filesystem::create_directories(host.c("Out"));

  EXPECT_FALSE(util->createAttachmentFromFile(store.get(), message, CString(u"C:\\missing.txt"), CString(u"m.txt")));
  EXPECT_EQ(attachmentCount(store.get(), message), 0u);
  ASSERT_TRUE(util->createAttachmentFromFile(store.get(), message, CString(u"C:\\data.txt"), CString(u"data.txt")));
  EXPECT_EQ(attachmentCount(store.get(), message), 1u);

  CString path(u"C:\\Out");
  ASSERT_TRUE(util->writeAttachmentToFile(store.get(), message, 0, path, true));
  EXPECT_EQ(path, CString(u"C:\\Out\\data.txt"));
  EXPECT_EQ(host.read("Out/data.txt"), "attached bytes");
  EXPECT_FALSE(util->writeAttachmentToFile(store.get(), message, 1, path, true));

  const char16_t* hostile[] = {u"..\\evil.txt", u"C:evil.txt", u"sub/evil.txt", u"..", u"C:\\evil.txt"};
  ULONG index = 1;
  for (const char16_t* name : hostile) {
    SCOPED_TRACE(platform::text::toUtf8(name));
    ASSERT_TRUE(util->createAttachmentFromFile(store.get(), message, CString(u"C:\\data.txt"), CString(name)));
    CString folder(u"C:\\Out\\Deep");
    std::filesystem::create_directories(host.c("Out/Deep"));
    EXPECT_FALSE(util->writeAttachmentToFile(store.get(), message, index++, folder, true));
    EXPECT_EQ(folder, CString(u"C:\\Out\\Deep"));
  }
  EXPECT_TRUE(host.gone("evil.txt"));
  EXPECT_TRUE(host.gone("Out/evil.txt"));
  EXPECT_TRUE(host.gone("Out/Deep/evil.txt"));
}

TEST_F(MapiStoresTest, TheExchangeUsersServerAndMailboxNamesComeFromTheIdentity) {
  ASSERT_EQ(util->createExchangeProfile(CString(u"Work"), CString(u"EXCH01"), CString(u"jdoe")), S_OK);
  logon(u"Work");
  EXPECT_EQ(utf8(getExchangeServerDistinguishedName(session.get())),
            "/o=Acme/ou=HQ/cn=Configuration/cn=Servers/cn=EXCH01");
  EXPECT_EQ(utf8(getExchangeMailboxDistinguishedName(session.get())), "/o=Acme/ou=HQ/cn=Recipients/cn=jdoe");
  createLog();
  EXPECT_TRUE(getExchangeServerDistinguishedName(nullptr).IsEmpty());
  EXPECT_EQ(logBytes(), "{getExchangeServerDistinguishedName}: HResult: 80004005<br>");
}

}  // namespace
