// Exchange mailboxes: a mailbox of a server in the host's server table, a profile's Exchange
// service configured for it, its store in the store table as "Mailbox - NAME", the session's
// identity (the owner's addresses), and MAPI_E_NETWORK_ERROR while the server is unknown or does
// not answer.
#include <cstring>

#include "tests/platform/mapi/mapi_fixture.h"

namespace {

using mapitest::MapiTest;
using platform::com::Ptr;

std::string bin(const SPropValue& v) { return std::string(reinterpret_cast<const char*>(v.Value.bin.lpb), v.Value.bin.cb); }

class Exchange : public MapiTest {
 protected:
  void SetUp() override {
    MapiTest::SetUp();
    std::string err;
    ASSERT_EQ(kipotest::runTool({"net", "add", "EXCH01", "--address", "10.1.2.3"}, nullptr, &err), 0) << err;
    ASSERT_EQ(kipotest::runTool({"mapi", "exchange", "add", "EXCH01", "--mailbox", "jdoe", "--org", "Acme", "--site", "HQ"},
                                nullptr, &err),
              0)
        << err;
    makeProfiles({"Work"});
    ASSERT_EQ(profAdmin()->AdminServices(const_cast<LPSTR>("Work"), nullptr, 0, 0, services.put()), S_OK);
    ASSERT_EQ(services->CreateMsgService(const_cast<LPSTR>("MSEMS"), nullptr, 0, 0), S_OK);
    Ptr<IMAPITable> table;
    ASSERT_EQ(services->GetMsgServiceTable(0, table.put()), S_OK);
    SizedSPropTagArray(1, columns) = {1, {PR_SERVICE_UID}};
    ASSERT_EQ(table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0), S_OK);
    LPSRowSet rows = nullptr;
    ASSERT_EQ(table->QueryRows(1, 0, &rows), S_OK);
    std::memcpy(uid.ab, rows->aRow[0].lpProps[0].Value.bin.lpb, 16);
    mapi.freeProws(rows);
  }
  void TearDown() override {
    session.reset();
    services.reset();
    MapiTest::TearDown();
  }
  HRESULT configure(const char* server, const char* mailbox) {
    SPropValue props[2]{};
    props[0].ulPropTag = PR_PROFILE_UNRESOLVED_NAME;
    props[0].Value.lpszA = const_cast<LPSTR>(mailbox);
    props[1].ulPropTag = PR_PROFILE_UNRESOLVED_SERVER;
    props[1].Value.lpszA = const_cast<LPSTR>(server);
    return services->ConfigureMsgService(&uid, 0, 0, 2, props);
  }

  Ptr<IMsgServiceAdmin> services;
  Ptr<IMAPISession> session;
  MAPIUID uid{};
};

TEST_F(Exchange, ConfiguringNeedsAListedReachableServerWithTheMailbox) {
  EXPECT_EQ(configure("NOSUCH", "jdoe"), MAPI_E_NETWORK_ERROR);
  EXPECT_EQ(configure("EXCH01", "nobody"), MAPI_E_NOT_FOUND);
  std::string err;
  ASSERT_EQ(kipotest::runTool({"net", "add", "EXCH01", "--address", "10.1.2.3", "--unreachable"}, nullptr, &err), 0) << err;
  EXPECT_EQ(configure("exch01", "jdoe"), MAPI_E_NETWORK_ERROR);
  ASSERT_EQ(kipotest::runTool({"net", "add", "EXCH01", "--address", "10.1.2.3"}, nullptr, &err), 0) << err;
  EXPECT_EQ(configure("exch01", "jdoe"), S_OK);
  // A mailbox needs a listed server.
  EXPECT_EQ(kipotest::runTool({"mapi", "exchange", "add", "OTHER", "--mailbox", "x"}, nullptr, &err), 1);
}

TEST_F(Exchange, TheMailboxIsAStoreOfTheSessionAndItsOwnerTheIdentity) {
  ASSERT_EQ(configure("EXCH01", "jdoe"), S_OK);
  ASSERT_EQ(mapi.logonEx(0, const_cast<LPSTR>("Work"), nullptr, MAPI_EXTENDED | MAPI_EXPLICIT_PROFILE, session.put()), S_OK);
  Ptr<IMAPITable> stores;
  ASSERT_EQ(session->GetMsgStoresTable(0, stores.put()), S_OK);
  SizedSPropTagArray(3, columns) = {3, {PR_DISPLAY_NAME_A, PR_ENTRYID, PR_DEFAULT_STORE}};
  LPSRowSet rows = nullptr;
  ASSERT_EQ(mapi.queryAllRows(stores.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, &rows), S_OK);
  ASSERT_EQ(rows->cRows, 1u);
  EXPECT_STREQ(rows->aRow[0].lpProps[0].Value.lpszA, "Mailbox - jdoe");
  EXPECT_EQ(rows->aRow[0].lpProps[2].Value.b, 1);
  const std::string storeId = bin(rows->aRow[0].lpProps[1]);
  mapi.freeProws(rows);
  Ptr<IMsgStore> store;
  ASSERT_EQ(session->OpenMsgStore(0, static_cast<ULONG>(storeId.size()), reinterpret_cast<LPENTRYID>(const_cast<char*>(storeId.data())),
                                  nullptr, 0, store.put()),
            S_OK);
  LPSPropValue subtree = nullptr;
  EXPECT_EQ(mapi.getOneProp(store.get(), PR_IPM_SUBTREE_ENTRYID, &subtree), S_OK);
  mapi.freeBuffer(subtree);

  ULONG cb = 0;
  LPENTRYID identity = nullptr;
  ASSERT_EQ(session->QueryIdentity(&cb, &identity), S_OK);
  Ptr<IUnknown> object;
  ULONG type = 0;
  ASSERT_EQ(session->OpenEntry(cb, identity, &IID_IMAPIProp, 0, &type, object.put()), S_OK);
  mapi.freeBuffer(identity);
  SizedSPropTagArray(2, tags) = {2, {0x8007001E, PR_EMAIL_ADDRESS_A}};
  ULONG count = 0;
  LPSPropValue values = nullptr;
  ASSERT_EQ(static_cast<IMAPIProp*>(object.get())->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, &values), S_OK);
  EXPECT_STREQ(values[0].Value.lpszA, "/o=Acme/ou=HQ/cn=Configuration/cn=Servers/cn=EXCH01/cn=Microsoft MTA");
  EXPECT_STREQ(values[1].Value.lpszA, "/o=Acme/ou=HQ/cn=Recipients/cn=jdoe");
  mapi.freeBuffer(values);
  object.reset();

  // The server stops answering: the mailbox cannot be opened.
  std::string err;
  ASSERT_EQ(kipotest::runTool({"net", "add", "EXCH01", "--address", "10.1.2.3", "--unreachable"}, nullptr, &err), 0) << err;
  EXPECT_EQ(session->OpenMsgStore(0, static_cast<ULONG>(storeId.size()), reinterpret_cast<LPENTRYID>(const_cast<char*>(storeId.data())),
                                  nullptr, 0, store.put()),
            MAPI_E_NETWORK_ERROR);
}

}  // namespace

namespace {

// Mail flow: a message submitted from a personal folders store with the mailbox owner as its
// recipient is in the sent log, in the mailbox's Inbox, and in the sender's Sent Items.
TEST_F(Exchange, SubmittedMailIsLoggedDeliveredAndMovedToSentItems) {
  ASSERT_EQ(configure("EXCH01", "jdoe"), S_OK);
  std::string err;
  ASSERT_EQ(kipotest::runTool({"mapi", "profile", "add", "Home", "--pst", "C:\\home.pst"}, nullptr, &err), 0) << err;
  ASSERT_EQ(mapi.logonEx(0, const_cast<LPSTR>("Home"), nullptr, MAPI_EXTENDED | MAPI_EXPLICIT_PROFILE, session.put()), S_OK);
  Ptr<IMAPITable> stores;
  ASSERT_EQ(session->GetMsgStoresTable(0, stores.put()), S_OK);
  LPSRowSet rows = nullptr;
  ASSERT_EQ(stores->QueryRows(1, 0, &rows), S_OK);
  const std::string storeId = bin(rows->aRow[0].lpProps[0]);
  mapi.freeProws(rows);
  Ptr<IMsgStore> store;
  ASSERT_EQ(session->OpenMsgStore(0, static_cast<ULONG>(storeId.size()), reinterpret_cast<LPENTRYID>(const_cast<char*>(storeId.data())),
                                  nullptr, MDB_WRITE, store.put()),
            S_OK);
  LPSPropValue outboxId = nullptr;
  ASSERT_EQ(mapi.getOneProp(store.get(), PR_IPM_OUTBOX_ENTRYID, &outboxId), S_OK);
  Ptr<IUnknown> object;
  ULONG type = 0;
  ASSERT_EQ(store->OpenEntry(outboxId->Value.bin.cb, reinterpret_cast<LPENTRYID>(outboxId->Value.bin.lpb), nullptr,
                             MAPI_BEST_ACCESS, &type, object.put()),
            S_OK);
  mapi.freeBuffer(outboxId);
  auto* outbox = static_cast<IMAPIFolder*>(object.get());
  Ptr<IMessage> message;
  ASSERT_EQ(outbox->CreateMessage(nullptr, 0, message.put()), S_OK);
  SPropValue props[3]{};
  props[0].ulPropTag = PR_SUBJECT_A;
  props[0].Value.lpszA = const_cast<LPSTR>("Quarterly figures");
  props[1].ulPropTag = PR_MESSAGE_CLASS_A;
  props[1].Value.lpszA = const_cast<LPSTR>("IPM.Note");
  props[2].ulPropTag = PR_SENDER_NAME_A;
  props[2].Value.lpszA = const_cast<LPSTR>("Home User");
  ASSERT_EQ(message->SetProps(3, props, nullptr), S_OK);
  EXPECT_EQ(message->SubmitMessage(0), MAPI_E_NO_RECIPIENTS);

  SPropValue recipient[3]{};
  recipient[0].ulPropTag = PR_DISPLAY_NAME_A;
  recipient[0].Value.lpszA = const_cast<LPSTR>("John Doe");
  recipient[1].ulPropTag = PR_EMAIL_ADDRESS_A;
  recipient[1].Value.lpszA = const_cast<LPSTR>("/o=Acme/ou=HQ/cn=Recipients/cn=jdoe");
  recipient[2].ulPropTag = PR_RECIPIENT_TYPE;
  recipient[2].Value.l = MAPI_TO;
  ADRLIST list{1, {{0, 3, recipient}}};
  ASSERT_EQ(message->ModifyRecipients(MODRECIP_ADD, &list), S_OK);
  ASSERT_EQ(message->SubmitMessage(0), S_OK);

  std::string out;
  ASSERT_EQ(kipotest::runTool({"mapi", "sent"}, &out, &err), 0) << err;
  EXPECT_EQ(out, "Home User\t/o=Acme/ou=HQ/cn=Recipients/cn=jdoe\tQuarterly figures\n");
  ASSERT_EQ(kipotest::runTool({"mapi", "dump", "C:\\Program Files\\Exchsrvr\\MDBDATA\\EXCH01\\jdoe.mbx"}, &out, &err), 0) << err;
  EXPECT_NE(out.find("folder Inbox\n  item IPM.Note Quarterly figures\n"), std::string::npos) << out;
  ASSERT_EQ(kipotest::runTool({"mapi", "dump", "C:\\home.pst"}, &out, &err), 0) << err;
  EXPECT_NE(out.find("folder Sent Items\n  item IPM.Note Quarterly figures\n"), std::string::npos) << out;
  LPSPropValue flags = nullptr;
  ASSERT_EQ(mapi.getOneProp(message.get(), PR_MESSAGE_FLAGS, &flags), S_OK);
  EXPECT_TRUE(flags->Value.l & MSGFLAG_SUBMIT);
  mapi.freeBuffer(flags);
  // The recipient is kept with the message.
  Ptr<IMAPITable> recipients;
  ASSERT_EQ(message->GetRecipientTable(0, recipients.put()), S_OK);
  ULONG count = 0;
  ASSERT_EQ(recipients->GetRowCount(0, &count), S_OK);
  EXPECT_EQ(count, 1u);
}

TEST_F(Exchange, StoresListsMailboxesBesideTheProfilesFiles) {
  std::string out, err;
  ASSERT_EQ(kipotest::runTool({"mapi", "profile", "add", "Home", "--pst", "C:\\home.pst"}, nullptr, &err), 0) << err;
  // The mailbox is listed whatever its server's state.
  ASSERT_EQ(kipotest::runTool({"net", "add", "EXCH01", "--address", "10.1.2.3", "--unreachable"}, nullptr, &err), 0) << err;
  ASSERT_EQ(kipotest::runTool({"mapi", "stores"}, &out, &err), 0) << err;
  EXPECT_EQ(out,
            "Home\tPersonal Folders\tC:\\home.pst\n"
            "exchange:EXCH01\tMailbox - jdoe\tC:\\Program Files\\Exchsrvr\\MDBDATA\\EXCH01\\jdoe.mbx\n");
}

}  // namespace
