// Report-server transactions over HTTPS and the usage-report scheduling (see server_transaction.h).
#include "app/server_transaction.h"

#include <string>

#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/module_version.h"
#include "app/preference_file.h"
#include "app/profile_database.h"
#include "app/program_texts.h"
#include "app/windows_helpers.h"
#include "lang/ids.h"
#include "platform/base/wcrt.h"
#include "platform/win32/win32.h"

namespace {

constexpr const char16_t* kFormHeader = u"Content-Type:application/x-www-form-urlencoded";
constexpr DWORD kReplyChunk = 1023;
constexpr LONGLONG kSecondsPerDay = 86400;

LONGLONG now() { return static_cast<LONGLONG>(_time64(nullptr)); }

// A time preference as seconds since 1970: a 32-bit or a 64-bit value. False when absent or of
// another type.
bool readTimePref(CRegistry& prefs, LPCWSTR name, LONGLONG& seconds) {
  DWORD type = 0;
  if (!prefs.getValueType(name, type)) return false;
  if (type == REG_DWORD) {
    DWORD value = 0;
    if (!prefs.getDword(name, value)) return false;
    seconds = static_cast<LONG>(value);
    return true;
  }
  if (type == REG_QWORD) {
    ULONGLONG value = 0;
    if (!prefs.getUInt64(name, value)) return false;
    seconds = static_cast<LONGLONG>(value);
    return true;
  }
  return false;
}

}  // namespace

// ---- CSslConnection ----------------------------------------------------------------------------

CSslConnection::~CSslConnection() { close(); }

void CSslConnection::setError(UINT textId) {
  lastError = GetLastError();
  lastErrorText = loadResString(textId);
}

bool CSslConnection::open() {
  close();
  m_session = InternetOpenW(agent, PRE_CONFIG_INTERNET_ACCESS, nullptr, nullptr, 0);
  if (m_session == nullptr) {
    setError(IDS_HTTPS_SESSION_FAILED);
    return false;
  }
  m_connection = InternetConnectW(m_session, host, port, user.IsEmpty() ? nullptr : user.GetString(),
                                  password.IsEmpty() ? nullptr : password.GetString(), INTERNET_SERVICE_HTTP, 0, 0);
  if (m_connection == nullptr) {
    setError(IDS_HTTPS_CONNECT_FAILED);
    close();
    return false;
  }
  m_request = HttpOpenRequestW(m_connection, verb, objectPath, nullptr, u"", nullptr, requestFlags, 0);
  if (m_request == nullptr) {
    setError(IDS_HTTPS_REQUEST_FAILED);
    close();
    return false;
  }
  ++requestCount;
  return true;
}

bool CSslConnection::send(const CString& body) {
  std::string bytes;
  const int needed = WideCharToMultiByte(CP_ACP, 0, body, body.GetLength(), nullptr, 0, nullptr, nullptr);
  if (needed > 0) {
    bytes.resize(static_cast<std::size_t>(needed));
    WideCharToMultiByte(CP_ACP, 0, body, body.GetLength(), bytes.data(), needed, nullptr, nullptr);
  }
  CString headers = extraHeaders.IsEmpty() ? CString(kFormHeader) : extraHeaders;
  if (!HttpSendRequestW(m_request, headers, static_cast<DWORD>(-1), bytes.empty() ? nullptr : bytes.data(),
                        static_cast<DWORD>(bytes.size()))) {
    setError(IDS_HTTPS_REQUEST_FAILED);
    return false;
  }
  return true;
}

CString CSslConnection::readReply() {
  std::string reply;
  char chunk[kReplyChunk];
  DWORD got = 0;
  while (InternetReadFile(m_request, chunk, kReplyChunk, &got) && got > 0) reply.append(chunk, got);
  return CString(reply.c_str(), static_cast<int>(reply.size()));
}

void CSslConnection::close() {
  if (m_request != nullptr) InternetCloseHandle(m_request);
  if (m_connection != nullptr) InternetCloseHandle(m_connection);
  if (m_session != nullptr) InternetCloseHandle(m_session);
  m_request = m_connection = m_session = nullptr;
}

// ---- CServerTransaction ------------------------------------------------------------------------

void CServerTransaction::reset() {
  body.Empty();
  fields.clear();
  succeeded = false;
}

bool CServerTransaction::parseReply(const CString& text) {
  fields.clear();
  CString rest = text;
  CString name, value;
  while (nextField(rest, name, value)) fields.emplace_back(name, value);
  return true;
}

bool CServerTransaction::nextField(CString& text, CString& name, CString& value) {
  const int open = text.Find(u'<');
  if (open < 0) return false;
  const int close = text.Find(u'>', open + 1);
  if (close < 0) return false;
  const CString fieldName = text.Mid(open + 1, close - open - 1);
  const CString closingTag = CString(u"</") + fieldName + u">";
  const int end = text.Find(closingTag, close + 1);
  if (end < 0) return false;
  name = fieldName;
  value = text.Mid(close + 1, end - close - 1);
  text = text.Mid(end + closingTag.GetLength());
  return true;
}

bool CServerTransaction::execute(const CString& toHost, const CString& toPath, const CString& withBody,
                                 CString& reply) {
  CSslConnection connection;
  connection.agent = kProductName;
  connection.host = toHost;
  connection.objectPath = toPath;
  connection.verb = u"POST";
  if (!connection.open() || !connection.send(withBody)) {
    writeLog(u"{Server Transaction}: %s (%u)", connection.lastErrorText, connection.lastError);
    return false;
  }
  reply = connection.readReply();
  return true;
}

bool CServerTransaction::send() {
  body.Replace(u' ', u'+');
  CString reply;
  if (!execute(host, path, body, reply) || !parseReply(reply)) return false;
  succeeded = true;
  return true;
}

CString CServerTransaction::getField(const CString& name) const {
  for (const auto& [fieldName, value] : fields) {
    if (fieldName == name) return value;
  }
  return CString();
}

LONG CServerTransaction::getIntField(const CString& name) const {
  const CString value = getField(name);
  if (value.IsEmpty()) return -1;
  return static_cast<LONG>(_wtoi(value));
}

// ---- CCallHomeTransaction ----------------------------------------------------------------------

CCallHomeTransaction::CCallHomeTransaction(LONG reportType) {
  host = loadResString(IDS_REPORT_HOST);
  path = loadResString(IDS_REPORT_PATH);

  CPreferenceFile& prefs = getDevicePrefs();
  prefs.openRoot();
  const LONGLONG current = now();
  LONGLONG accepted = 0;
  record.acceptanceTime = readTimePref(prefs, kEulaAcceptanceDatePref, accepted) ? accepted : current;
  record.daysSinceAcceptance = static_cast<LONG>((current - record.acceptanceTime) / kSecondsPerDay);
  int a = 0, b = 0, c = 0, d = 0;
  if (getOwnExeVersion(a, b, c, d)) record.versionText.Format(u"%s %d.%d.%d.%d", kProductName, a, b, c, d);
  const DWORD version = GetVersion();
  record.windowsMajor = LOBYTE(LOWORD(version));
  record.windowsMinor = HIBYTE(LOWORD(version));
  record.language = getSystemLanguageName();
  record.country = getSystemCountryName();
  ULONGLONG kilobytes = 0;
  if (prefs.getUInt64(kKilobytesSynchronizedPref, kilobytes)) {
    record.megabytesSynchronized = static_cast<double>(kilobytes & 0x7FFFFFFFFFFFFFFFULL) * 0.001;
  }
  record.computerFolders = CFolderLookup::countSynchronizedComputers();
  record.computerProfiles = getProfileDatabase().getProfileCount();
  record.reportType = reportType;
}

bool CCallHomeTransaction::parseReply(const CString& text) {
  CServerTransaction::parseReply(text);
  result = getIntField(u"result");
  return true;
}

// ---- Reports -----------------------------------------------------------------------------------

bool sendUsageReport() {
  CCallHomeTransaction report(0);
  report.reset();  // built and let go: the report is never posted
  return true;
}

bool isUpdateCheckReportDue(LONG daysSinceAcceptance, bool lastKnown, LONG daysToLastCheck) {
  if (lastKnown && daysToLastCheck != 0) return daysSinceAcceptance > daysToLastCheck;
  return daysSinceAcceptance >= 1;
}

bool sendUpdateCheckReport() {
  CPreferenceFile& prefs = getDevicePrefs();
  prefs.openRoot();
  const LONGLONG current = now();
  LONGLONG accepted = 0, lastCheck = 0;
  const bool hasAcceptance = readTimePref(prefs, kEulaAcceptanceDatePref, accepted);
  const LONG daysSince = hasAcceptance ? static_cast<LONG>((current - accepted) / kSecondsPerDay) : 0;
  const bool lastKnown = hasAcceptance && readTimePref(prefs, kLastUpdateCheckDatePref, lastCheck);
  const LONG daysToLast = lastKnown ? static_cast<LONG>((lastCheck - accepted) / kSecondsPerDay) : 0;
  if (!isUpdateCheckReportDue(daysSince, lastKnown, daysToLast)) return false;

  prefs.setDword(kLastUpdateCheckDatePref, static_cast<DWORD>(current));
  prefs.save();
  try {
    CCallHomeTransaction report(3);
    report.reset();  // never posted
  } catch (CException* e) {
    e->Delete();
    writeLog(u"Error in updateCheck3 report");
  }
  return true;
}
