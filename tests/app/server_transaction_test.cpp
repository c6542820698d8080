// Report-server transactions: the reply's fields, the HTTPS form post against a loopback server
// with a test authority the host trusts, the usage report's record (built, never posted), and
// when the update-check report is due.
#include "app/server_transaction.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>

#include "lang/ids.h"
#include "loopback_server.h"
#include "platform/base/text.h"
#include "platform/net/servers.h"
#include "tests/app/profiles_fixture.h"

namespace {

using kipotest::HttpRequest;
using kipotest::LoopbackServer;

constexpr LONGLONG kDay = 86400;
const char16_t* const kPrefs = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs";

// ---- Reply fields ---------------------------------------------------------------------------------

TEST(ServerTransactionFields, RepliesSplitIntoNamedFields) {
  struct Case {
    const char16_t* reply;
    std::vector<std::pair<std::u16string, std::u16string>> fields;
  };
  const Case cases[] = {
      {u"<result>1</result>", {{u"result", u"1"}}},
      {u"junk<a>x</a>\r\n<result>7</result>tail", {{u"a", u"x"}, {u"result", u"7"}}},
      {u"<a><b>x</b></a>", {{u"a", u"<b>x</b>"}}},           // nesting is not looked into
      {u"<a>1</a><b>2", {{u"a", u"1"}}},                      // a field without its closing tag ends the list
      {u"<a x=\"1\">v</a x=\"1\">", {{u"a x=\"1\"", u"v"}}},  // attributes are part of the name
      {u"<a>unclosed", {}},
      {u"no tags at all", {}},
      {u"<a", {}},
      {u"", {}},
  };
  for (const Case& c : cases) {
    CServerTransaction t;
    t.fields.emplace_back(u"stale", u"1");
    EXPECT_TRUE(t.parseReply(CString(c.reply)));
    ASSERT_EQ(t.fields.size(), c.fields.size()) << platform::text::toUtf8(c.reply);
    for (std::size_t i = 0; i < c.fields.size(); ++i) {
      EXPECT_EQ(t.fields[i].first, CString(c.fields[i].first.c_str()));
      EXPECT_EQ(t.fields[i].second, CString(c.fields[i].second.c_str()));
    }
  }
}

TEST(ServerTransactionFields, NextFieldLeavesTheTextOnFailure) {
  CServerTransaction t;
  CString text = u"<a>1</a> <b>2";
  CString name = u"sentinel", value = u"sentinel";
  ASSERT_TRUE(t.nextField(text, name, value));
  EXPECT_EQ(text, CString(u" <b>2"));
  EXPECT_FALSE(t.nextField(text, name, value));
  EXPECT_EQ(text, CString(u" <b>2"));
  EXPECT_EQ(name, CString(u"a")) << "outputs untouched by the failed call";
}

// ---- HTTPS post ---------------------------------------------------------------------------------

class ServerPostTest : public apptest::ProfilesTest {
 protected:
  static void SetUpTestSuite() {
    folder_ = new std::filesystem::path(kipotest::freshTempDir("report-tls"));
    const std::string script =
        "cd '" + folder_->string() + "' && printf 'subjectAltName=DNS:reports.test\\n' > ext.cnf && "
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout root.key -out root.pem "
        "-days 2 -subj '/CN=Report Root' -addext basicConstraints=critical,CA:TRUE "
        "-addext keyUsage=critical,keyCertSign 2>/dev/null && "
        "openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout server.key -out server.csr "
        "-subj /CN=reports.test 2>/dev/null && "
        "openssl x509 -req -in server.csr -CA root.pem -CAkey root.key -CAcreateserial -days 2 -extfile ext.cnf "
        "-out server.pem 2>/dev/null";
    ASSERT_EQ(std::system(script.c_str()), 0);
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }
  static std::string file(const std::string& name) { return (*folder_ / name).string(); }

  ServerPostTest() {
    platform::net::addServer({u"reports.test", "127.0.0.1"});
    std::ifstream in(file("root.pem"));
    std::stringstream pem;
    pem << in.rdbuf();
    platform::net::addTrustedRoot(pem.str());
  }

  static std::filesystem::path* folder_;
};

std::filesystem::path* ServerPostTest::folder_ = nullptr;

// A transaction posted to the loopback server's port.
class LoopbackTransaction : public CServerTransaction {
 public:
  explicit LoopbackTransaction(unsigned port) : port_(static_cast<INTERNET_PORT>(port)) {}
  bool execute(const CString& toHost, const CString& toPath, const CString& withBody, CString& reply) override {
    CSslConnection connection;
    connection.agent = u"Kipo";
    connection.host = toHost;
    connection.port = port_;
    connection.objectPath = toPath;
    connection.verb = u"POST";
    if (!connection.open() || !connection.send(withBody)) {
      error = connection.lastError;
      errorText = connection.lastErrorText;
      return false;
    }
    reply = connection.readReply();
    return true;
  }
  DWORD error = 0;
  CString errorText;

 private:
  INTERNET_PORT port_;
};

TEST_F(ServerPostTest, FormIsPostedWithPlusesAndTheReplyParsed) {
  HttpRequest seen;
  LoopbackServer server(
      [&](const HttpRequest& request, const LoopbackServer::Send& send) {
        seen = request;
        send(kipotest::httpReply(200, "OK", std::string(3000, ' ') + "<result>1</result>"));
      },
      file("server.pem"), file("server.key"));
  LoopbackTransaction t(server.port());
  t.host = u"reports.test";
  t.path = loadResString(IDS_REPORT_PATH);
  t.body = u"version=Kipo 1.2.3.4&lang=English United States";
  ASSERT_TRUE(t.send()) << t.error << " " << platform::text::toUtf8(t.errorText.view());
  EXPECT_TRUE(t.hasSucceeded());
  EXPECT_EQ(seen.method, "POST");
  EXPECT_EQ(seen.path, "/ccprocess/Update.php");
  EXPECT_EQ(seen.header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(seen.body, "version=Kipo+1.2.3.4&lang=English+United+States");
  EXPECT_EQ(t.getIntField(u"result"), 1) << "a reply longer than one read chunk";
}

TEST_F(ServerPostTest, EachFailingStepKeepsItsTextAndError) {
  LoopbackTransaction t(1);  // nothing listens on port 1
  t.host = u"reports.test";
  t.path = u"/ccprocess/Update.php";
  t.body = u"a=b";
  EXPECT_FALSE(t.send());
  EXPECT_FALSE(t.hasSucceeded());
  EXPECT_EQ(t.errorText, loadResString(IDS_HTTPS_REQUEST_FAILED));
  EXPECT_EQ(t.error, static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));

  LoopbackTransaction unknown(443);
  unknown.host = u"unlisted.test";
  unknown.path = u"/";
  EXPECT_FALSE(unknown.send());
  EXPECT_EQ(unknown.error, static_cast<DWORD>(ERROR_INTERNET_NAME_NOT_RESOLVED));
}

// ---- Usage reports ------------------------------------------------------------------------------

class ReportTest : public apptest::ProfilesTest {
 protected:
  ReportTest() { CRegistry(CString(kPrefs), true, true); }
  static LONGLONG now() { return static_cast<LONGLONG>(std::time(nullptr)); }
  static void setTime(const char16_t* name, LONGLONG seconds) {
    CRegistry prefs(CString(kPrefs), true, true);
    ASSERT_TRUE(prefs.setDword(name, static_cast<DWORD>(seconds)));
  }
  static bool readTime(const char16_t* name, LONGLONG& seconds) {
    CRegistry prefs{CString(kPrefs)};
    DWORD value = 0;
    if (!prefs.getDword(name, value)) return false;
    seconds = static_cast<LONG>(value);
    return true;
  }
};

TEST_F(ReportTest, ResultFieldAsANumber) {
  CCallHomeTransaction report;
  report.parseReply(u"<status>ok</status><result>1</result><result>2</result>");
  EXPECT_EQ(report.result, 1) << "the first field of the name";
  EXPECT_EQ(report.getField(u"status"), CString(u"ok"));
  report.parseReply(u"<status>ok</status>");
  EXPECT_EQ(report.result, -1);
  report.parseReply(u"<result></result>");
  EXPECT_EQ(report.result, -1) << "an empty value reads as -1";
  report.reset();
  EXPECT_TRUE(report.fields.empty());
  EXPECT_FALSE(report.hasSucceeded());
}

TEST_F(ReportTest, DueRule) {
  struct Case {
    LONG sinceAcceptance;
    bool lastKnown;
    LONG toLastCheck;
    bool due;
  };
  const Case cases[] = {
      {0, false, 0, false}, {1, false, 0, true}, {30, false, 0, true},  // never checked: from day 1
      {5, true, 0, true},   {0, true, 0, false},                        // checked on acceptance day
      {3, true, 3, false},  {4, true, 3, true},  {2, true, 3, false},   // at most once per day
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isUpdateCheckReportDue(c.sinceAcceptance, c.lastKnown, c.toLastCheck), c.due)
        << c.sinceAcceptance << " " << c.lastKnown << " " << c.toLastCheck;
  }
}

TEST_F(ReportTest, UpdateCheckDateWrittenOnlyWhenDueAndSaved) {
  EXPECT_FALSE(sendUpdateCheckReport()) << "no acceptance date: not due";
  LONGLONG stored = 0;
  EXPECT_FALSE(readTime(kLastUpdateCheckDatePref, stored));

  const LONGLONG accepted = now() - 3 * kDay - 60;
  setTime(kEulaAcceptanceDatePref, accepted);
  EXPECT_TRUE(sendUpdateCheckReport());
  ASSERT_TRUE(readTime(kLastUpdateCheckDatePref, stored));
  EXPECT_LE(std::llabs(stored - now()), 5);
  EXPECT_TRUE(std::filesystem::exists(computersFolder() / "customizer.pref")) << "the pref file was saved";

  EXPECT_FALSE(sendUpdateCheckReport()) << "already reported today";
  setTime(kLastUpdateCheckDatePref, accepted + 2 * kDay);
  EXPECT_TRUE(sendUpdateCheckReport()) << "last report a day earlier";
}

TEST_F(ReportTest, ReportIsBuiltFromTheFactsAndNeverPosted) {
  const LONGLONG accepted = now() - 10 * kDay - 5;
  setTime(kEulaAcceptanceDatePref, accepted);
  {
    CRegistry prefs(CString(kPrefs), true, true);
    ASSERT_TRUE(prefs.setUInt64(kKilobytesSynchronizedPref, 0x8000000000000000ULL | 2500));
  }
  std::filesystem::create_directories(computersFolder() / "ALPHA");
  std::filesystem::create_directories(computersFolder() / "BETA");
  CCallHomeTransaction report(0);
  EXPECT_EQ(report.host, CString(u"reports.brackwater.com"));
  EXPECT_EQ(report.path, CString(u"/ccprocess/Update.php"));
  EXPECT_EQ(report.record.acceptanceTime, accepted);
  EXPECT_EQ(report.record.daysSinceAcceptance, 10);
  EXPECT_DOUBLE_EQ(report.record.megabytesSynchronized, 2.5) << "the sign bit is dropped";
  EXPECT_EQ(report.record.computerFolders, 2);
  EXPECT_EQ(report.record.reportType, 0);
  EXPECT_EQ(report.record.windowsMajor, 5u);
  EXPECT_EQ(report.record.windowsMinor, 1u);
  EXPECT_FALSE(report.record.language.IsEmpty());
  EXPECT_EQ(CCallHomeTransaction().record.reportType, 3);
  EXPECT_TRUE(sendUsageReport());
}

}  // namespace
