// The framework's Internet classes (inet.h) over the WinInet calls.
#include "platform/afx/inet.h"

#include <string>

#include "platform/win32/error.h"

IMPLEMENT_DYNAMIC(CInternetException, CException)
IMPLEMENT_DYNAMIC(CInternetFile, CStdioFile)
IMPLEMENT_DYNAMIC(CHttpFile, CInternetFile)
IMPLEMENT_DYNAMIC(CInternetSession, CObject)

namespace {

struct ErrorText {
  DWORD code;
  const char16_t* text;
};

// The messages of the errors the WinInet calls give; others are named by number.
constexpr ErrorText kErrorTexts[] = {
    {ERROR_INTERNET_TIMEOUT, u"The operation timed out"},
    {ERROR_INTERNET_INTERNAL_ERROR, u"An internal error occurred in the Microsoft Internet extensions"},
    {ERROR_INTERNET_INVALID_URL, u"The URL is invalid"},
    {ERROR_INTERNET_UNRECOGNIZED_SCHEME, u"The URL does not use a recognized protocol"},
    {ERROR_INTERNET_NAME_NOT_RESOLVED, u"The server name or address could not be resolved"},
    {ERROR_INTERNET_OPERATION_CANCELLED, u"The operation was canceled"},
    {ERROR_INTERNET_INCORRECT_HANDLE_TYPE, u"The type of handle supplied is incorrect for this operation"},
    {ERROR_INTERNET_INCORRECT_HANDLE_STATE, u"The handle is in the wrong state for the requested operation"},
    {ERROR_INTERNET_CANNOT_CONNECT, u"A connection with the server could not be established"},
    {ERROR_INTERNET_CONNECTION_ABORTED, u"The connection with the server was terminated abnormally"},
    {ERROR_INTERNET_CONNECTION_RESET, u"The connection with the server was reset"},
    {ERROR_INTERNET_SEC_CERT_DATE_INVALID, u"The date in the certificate is invalid or has expired"},
    {ERROR_INTERNET_SEC_CERT_CN_INVALID, u"The host name in the certificate is invalid or does not match"},
    {ERROR_INTERNET_INVALID_CA, u"The certificate authority is invalid or incorrect"},
    {ERROR_HTTP_HEADER_NOT_FOUND, u"The requested header could not be located"},
    {ERROR_HTTP_INVALID_SERVER_RESPONSE, u"The server response could not be parsed"},
    {ERROR_HTTP_REDIRECT_FAILED, u"The redirection failed"},
    {ERROR_INTERNET_SECURITY_CHANNEL_ERROR, u"An error occurred in the secure channel support"},
};

}  // namespace

CString CInternetException::message() const {
  for (const ErrorText& entry : kErrorTexts)
    if (entry.code == m_dwError) return CString(entry.text);
  std::u16string text = u"Internet error ";
  for (char c : std::to_string(m_dwError)) text += static_cast<char16_t>(c);
  return CString(std::u16string_view(text));
}

void AFXAPI AfxThrowInternetException(DWORD_PTR dwContext, DWORD dwError) {
  auto* exception = new CInternetException(dwError ? dwError : GetLastError());
  exception->m_dwContext = dwContext;
  throw exception;
}

CInternetFile::CInternetFile(HINTERNET hFile, LPCWSTR pstrFileName, CInternetSession*, DWORD_PTR dwContext)
    : m_hFile(hFile), m_dwContext(dwContext) {
  m_strFileName = pstrFileName;
}

CInternetFile::~CInternetFile() {
  if (m_hFile) InternetCloseHandle(m_hFile);
}

UINT CInternetFile::Read(void* lpBuf, UINT nCount) {
  DWORD read = 0;
  if (!InternetReadFile(m_hFile, lpBuf, nCount, &read)) AfxThrowInternetException(m_dwContext);
  position_ += read;
  return read;
}

BOOL CInternetFile::ReadString(CString& rString) {
  std::string line;
  char c = 0;
  bool any = false;
  while (Read(&c, 1) == 1) {
    any = true;
    if (c == '\n') break;
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  rString = CString(line.c_str(), static_cast<int>(line.size()));
  return any ? TRUE : FALSE;
}

ULONGLONG CInternetFile::GetLength() const {
  DWORD available = 0;
  if (!m_hFile || !InternetQueryDataAvailable(m_hFile, &available, 0, 0)) return 0;
  return available;
}

void CInternetFile::Write(const void*, UINT) { AfxThrowInternetException(m_dwContext, ERROR_CALL_NOT_IMPLEMENTED); }

ULONGLONG CInternetFile::Seek(LONGLONG, UINT) { AfxThrowInternetException(m_dwContext, ERROR_CALL_NOT_IMPLEMENTED); }

void CInternetFile::Close() {
  // Never throws: the handle may already have gone with its session.
  if (m_hFile) InternetCloseHandle(m_hFile);
  m_hFile = nullptr;
}

void CInternetFile::Abort() {
  if (m_hFile) InternetCloseHandle(m_hFile);
  m_hFile = nullptr;
}

BOOL CHttpFile::QueryInfo(DWORD dwInfoLevel, CString& str, LPDWORD lpdwIndex) const {
  DWORD size = 0;
  if (HttpQueryInfoW(m_hFile, dwInfoLevel, nullptr, &size, lpdwIndex) || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return FALSE;
  std::u16string buffer(size / sizeof(char16_t) + 1, u'\0');
  if (!HttpQueryInfoW(m_hFile, dwInfoLevel, buffer.data(), &size, lpdwIndex)) return FALSE;
  buffer.resize(size / sizeof(char16_t));
  str = CString(std::u16string_view(buffer));
  return TRUE;
}

BOOL CHttpFile::QueryInfo(DWORD dwInfoLevel, DWORD& dwResult, LPDWORD lpdwIndex) const {
  DWORD size = sizeof dwResult;
  return HttpQueryInfoW(m_hFile, dwInfoLevel | HTTP_QUERY_FLAG_NUMBER, &dwResult, &size, lpdwIndex);
}

BOOL CHttpFile::QueryInfoStatusCode(DWORD& dwStatusCode) const {
  return QueryInfo(HTTP_QUERY_STATUS_CODE, dwStatusCode);
}

CInternetSession::CInternetSession(LPCWSTR pstrAgent, DWORD_PTR dwContext, DWORD dwAccessType, LPCWSTR pstrProxyName,
                                   LPCWSTR pstrProxyBypass, DWORD dwFlags)
    : m_dwContext(dwContext) {
  m_hSession = InternetOpenW(pstrAgent ? pstrAgent : u"Kipo", dwAccessType, pstrProxyName, pstrProxyBypass, dwFlags);
  if (!m_hSession) AfxThrowInternetException(m_dwContext);
}

CInternetSession::~CInternetSession() {
  if (m_hSession) InternetCloseHandle(m_hSession);
}

CStdioFile* CInternetSession::OpenURL(LPCWSTR pstrURL, DWORD_PTR dwContext, DWORD dwFlags, LPCWSTR pstrHeaders,
                                      DWORD dwHeadersLength) {
  HINTERNET file = InternetOpenUrlW(m_hSession, pstrURL, pstrHeaders, pstrHeaders ? dwHeadersLength : 0, dwFlags,
                                    dwContext);
  if (!file) AfxThrowInternetException(dwContext);
  return new CHttpFile(file, pstrURL, this, dwContext);
}

void CInternetSession::Close() {
  if (m_hSession) InternetCloseHandle(m_hSession);
  m_hSession = nullptr;
}
