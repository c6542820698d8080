// The framework's Internet classes over the WinInet calls (platform/net/wininet.h): a session that
// opens URLs, the file of an HTTP reply, and the exception that carries a WinInet error. Failures
// throw a CInternetException on the heap, as the other framework exceptions are thrown.
#pragma once

#include "platform/afx/exception.h"
#include "platform/afx/file.h"
#include "platform/net/wininet.h"

class CInternetException : public CException {
  DECLARE_DYNAMIC(CInternetException)
 public:
  explicit CInternetException(DWORD dwError) : m_dwError(dwError) {}

  DWORD_PTR m_dwContext = 0;
  DWORD m_dwError;

 protected:
  CString message() const override;
};

[[noreturn]] void AFXAPI AfxThrowInternetException(DWORD_PTR dwContext, DWORD dwError = 0);

class CInternetSession;

// A file read from an Internet handle; owns the handle. Read throws CInternetException; Close
// does not.
class CInternetFile : public CStdioFile {
  DECLARE_DYNAMIC(CInternetFile)
 public:
  CInternetFile(HINTERNET hFile, LPCWSTR pstrFileName, CInternetSession* pSession, DWORD_PTR dwContext);
  ~CInternetFile() override;

  UINT Read(void* lpBuf, UINT nCount) override;
  BOOL ReadString(CString& rString) override;
  // The bytes that can be read now without waiting, as the class library gives it (not the
  // announced length: HttpQueryInfoW tells that).
  ULONGLONG GetLength() const override;
  void Write(const void* lpBuf, UINT nCount) override;
  ULONGLONG Seek(LONGLONG lOff, UINT nFrom) override;
  ULONGLONG GetPosition() const override { return position_; }
  void Close() override;
  void Abort() override;

  operator HINTERNET() const { return m_hFile; }  // NOLINT: as in the class library

  HINTERNET m_hFile;
  DWORD_PTR m_dwContext;

 private:
  ULONGLONG position_ = 0;
};

// The reply of an HTTP request.
class CHttpFile : public CInternetFile {
  DECLARE_DYNAMIC(CHttpFile)
 public:
  using CInternetFile::CInternetFile;

  // FALSE (GetLastError set) when the reply has no such header.
  BOOL QueryInfo(DWORD dwInfoLevel, CString& str, LPDWORD lpdwIndex = nullptr) const;
  BOOL QueryInfo(DWORD dwInfoLevel, DWORD& dwResult, LPDWORD lpdwIndex = nullptr) const;
  BOOL QueryInfoStatusCode(DWORD& dwStatusCode) const;
};

class CInternetSession : public CObject {
  DECLARE_DYNAMIC(CInternetSession)
 public:
  // Opens the session; throws CInternetException when InternetOpenW fails.
  explicit CInternetSession(LPCWSTR pstrAgent = nullptr, DWORD_PTR dwContext = 1,
                            DWORD dwAccessType = PRE_CONFIG_INTERNET_ACCESS, LPCWSTR pstrProxyName = nullptr,
                            LPCWSTR pstrProxyBypass = nullptr, DWORD dwFlags = 0);
  ~CInternetSession() override;
  CInternetSession(const CInternetSession&) = delete;
  CInternetSession& operator=(const CInternetSession&) = delete;

  // Opens an http:// or https:// URL: a new CHttpFile that the caller deletes; throws
  // CInternetException when the URL cannot be opened.
  CStdioFile* OpenURL(LPCWSTR pstrURL, DWORD_PTR dwContext = 1, DWORD dwFlags = INTERNET_FLAG_TRANSFER_ASCII,
                      LPCWSTR pstrHeaders = nullptr, DWORD dwHeadersLength = 0);
  virtual void Close();
  DWORD_PTR GetContext() const { return m_dwContext; }
  operator HINTERNET() const { return m_hSession; }  // NOLINT: as in the class library

 protected:
  DWORD_PTR m_dwContext;
  HINTERNET m_hSession = nullptr;
};
