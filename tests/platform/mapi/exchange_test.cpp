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
