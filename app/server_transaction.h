// Transactions with the maker's report server: a form posted over HTTPS and a reply of simple
// "<name>value</name>" fields. The usage report is built from the program's facts but never
// sent (no operation of the program posts it); sendUpdateCheckReport keeps the date of the last
// due update-check report in the device preferences.
#pragma once

#include <utility>
#include <vector>

#include "platform/afx/cstring.h"
#include "platform/base/types.h"
#include "platform/net/wininet.h"

// Preferences of the report scheduling (device preference store, root).
inline constexpr const char16_t* kEulaAcceptanceDatePref = u"EULAAcceptanceDate";
inline constexpr const char16_t* kLastUpdateCheckDatePref = u"lastUpdateCheckDate3";
inline constexpr const char16_t* kKilobytesSynchronizedPref = u"kilobytesSynchronized";

// One HTTPS connection through WinInet, with the error of the step that failed.
class CSslConnection {
 public:
  // INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_SECURE |
  // INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_IGNORE_CERT_CN_INVALID
  static constexpr DWORD kDefaultRequestFlags = 0x84C01000;

  CSslConnection() = default;
  ~CSslConnection();
  CSslConnection(const CSslConnection&) = delete;
  CSslConnection& operator=(const CSslConnection&) = delete;

  // Session, connection and request. False with the error text (417, 413, 418) and the Win32
  // error of the failing step; the handles opened before it are closed.
  bool open();
  // Posts `body` (converted to the ANSI code page) as a form; false with text 418 and the error.
  bool send(const CString& body);
  // The reply, in chunks of at most 1,023 bytes, until a read fails or gives 0 bytes.
  CString readReply();
  // Closes the request and the connection (and the session).
  void close();

  INTERNET_PORT port = INTERNET_DEFAULT_HTTPS_PORT;
  DWORD requestFlags = kDefaultRequestFlags;
  CString agent;
  CString host;
  CString user;
  CString password;
  CString verb;
  CString objectPath;
  CString extraHeaders;
  CString lastErrorText;
  DWORD lastError = 0;
  int requestCount = 0;

 private:
  void setError(UINT textId);
  HINTERNET m_session = nullptr;
  HINTERNET m_connection = nullptr;
  HINTERNET m_request = nullptr;
};

class CServerTransaction {
 public:
  CServerTransaction() = default;
  virtual ~CServerTransaction() = default;
  CServerTransaction(const CServerTransaction&) = delete;
  CServerTransaction& operator=(const CServerTransaction&) = delete;

  // Empties body and fields, clears succeeded.
  virtual void reset();
  virtual bool hasSucceeded() const { return succeeded; }
  // Replaces the fields by those of `text`; true.
  virtual bool parseReply(const CString& text);
  // Takes the first "<name>value</name>" field off the front of `text` (what follows the closing
  // tag remains); false, `text` unchanged, when a "<", its ">" or the closing tag is missing.
  virtual bool nextField(CString& text, CString& name, CString& value);
  // One HTTPS POST of `body` to host and path; the reply into `reply`. True when open, send and
  // read succeeded.
  virtual bool execute(const CString& toHost, const CString& toPath, const CString& withBody, CString& reply);

  // Blanks of the body become "+", then execute and parseReply; succeeded when both did.
  bool send();
  // The value of the first field called `name`; empty when none.
  CString getField(const CString& name) const;
  // That value as a decimal number; -1 when it is empty.
  LONG getIntField(const CString& name) const;

  CString host;
  CString path;
  CString body;
  std::vector<std::pair<CString, CString>> fields;
  bool succeeded = false;
};

// The usage report: the program's facts as the report server takes them.
struct CallHomeRecord {
  LONGLONG acceptanceTime = 0;  // "EULAAcceptanceDate", now when absent
  LONG daysSinceAcceptance = 0;
  CString versionText;          // "<product> a.b.c.d"
  DWORD windowsMajor = 0;
  DWORD windowsMinor = 0;
  CString language;             // English names of the system locale's language and country
  CString country;
  double megabytesSynchronized = 0.0;
  LONG computerFolders = 0;     // entries of the drive's "Synchronized Computers" folder
  LONG computerProfiles = 0;    // synchronized computer profiles
  LONG reportType = 3;          // 0 after installation, 3 update check
};

class CCallHomeTransaction : public CServerTransaction {
 public:
  // Host and path from strings 407 and 406; the record from the program's facts, of this type.
  explicit CCallHomeTransaction(LONG reportType = 3);

  // The base, then result = the field "result" (-1 when absent).
  bool parseReply(const CString& text) override;

  CallHomeRecord record;
  LONG result = 0;
};

// Builds the type-0 report (never sent); true.
bool sendUsageReport();
// When a type-3 report is due (see server_transaction.cpp), writes "lastUpdateCheckDate3" = now,
// saves the pref file, builds the report (never sent) and returns true; otherwise false.
bool sendUpdateCheckReport();
// The rule behind it: days since acceptance A, days from acceptance to the last check L (when
// `lastKnown`). Due when L is known and not 0 and A > L, or when L is unknown or 0 and A >= 1.
bool isUpdateCheckReportDue(LONG daysSinceAcceptance, bool lastKnown, LONG daysToLastCheck);
