// The framework's exceptions. They are thrown as heap objects (`throw new CFileException(...)`),
// caught as pointers and released by the catcher with Delete(). GetErrorMessage gives an English
// text that names the file where there is one.
#pragma once

#include "platform/afx/cstring.h"
#include "platform/afx/object.h"

class CException : public CObject {
  DECLARE_DYNAMIC(CException)
 public:
  explicit CException(BOOL bAutoDelete = TRUE) : m_bAutoDelete(bAutoDelete) {}
  ~CException() override = default;

  // Frees the exception when it was made on the heap (the usual case).
  void Delete();
  // Copies the message into lpszError (cut to nMaxError - 1 characters, NUL-terminated); FALSE
  // and an empty buffer when the exception has no message. pnHelpContext, when given, gets 0.
  virtual BOOL GetErrorMessage(LPWSTR lpszError, UINT nMaxError, PUINT pnHelpContext = nullptr) const;
  // Shows the message to the user through the message-box hook (standard error until the window
  // layer installs one); nMessageID is the string shown when there is no message. Returns the
  // button pressed (IDOK without a window layer).
  virtual int ReportError(UINT nType = 0, UINT nMessageID = 0);

  BOOL m_bAutoDelete;

 protected:
  // The message, or empty; what GetErrorMessage copies out.
  virtual CString message() const { return CString(); }
};

namespace platform::afx {
// The window layer installs the function behind ReportError (text, message-box type) -> button.
void setMessageBoxHook(std::function<int(const CString& text, UINT type)> hook);
int showMessage(const CString& text, UINT type);
}  // namespace platform::afx

class CMemoryException : public CException {
  DECLARE_DYNAMIC(CMemoryException)
 protected:
  CString message() const override;
};

class CNotSupportedException : public CException {
  DECLARE_DYNAMIC(CNotSupportedException)
 protected:
  CString message() const override;
};

class CResourceException : public CException {
  DECLARE_DYNAMIC(CResourceException)
 protected:
  CString message() const override;
};

// Thrown after the user was already told; carries no message of its own.
class CUserException : public CException {
  DECLARE_DYNAMIC(CUserException)
};

class CFileException : public CException {
  DECLARE_DYNAMIC(CFileException)
 public:
  enum {
    none,
    genericException,
    fileNotFound,
    badPath,
    tooManyOpenFiles,
    accessDenied,
    invalidFile,
    removeCurrentDir,
    directoryFull,
    badSeek,
    hardIO,
    sharingViolation,
    lockViolation,
    diskFull,
    endOfFile,
  };

  explicit CFileException(int cause = none, LONG lOsError = -1, LPCWSTR lpszArchiveName = nullptr)
      : m_cause(cause), m_lOsError(lOsError), m_strFileName(lpszArchiveName) {}

  // Resets to "no error", as before reuse in CFile::Open.
  void Clear() {
    m_cause = none;
    m_lOsError = -1;
    m_strFileName.Empty();
  }
  // The cause for a Win32 error code.
  static int PASCAL OsErrorToException(LONG lOsError);
  [[noreturn]] static void PASCAL ThrowOsError(LONG lOsError, LPCWSTR lpszFileName = nullptr);

  int m_cause;
  LONG m_lOsError;
  CString m_strFileName;

 protected:
  CString message() const override;
};

class CArchiveException : public CException {
  DECLARE_DYNAMIC(CArchiveException)
 public:
  enum {
    none,
    genericException,
    readOnly,
    endOfFile,
    writeOnly,
    badIndex,
    badClass,
    badSchema,
  };

  explicit CArchiveException(int cause = none, LPCWSTR lpszArchiveName = nullptr)
      : m_cause(cause), m_strFileName(lpszArchiveName) {}

  int m_cause;
  CString m_strFileName;

 protected:
  CString message() const override;
};

[[noreturn]] void AFXAPI AfxThrowMemoryException();
[[noreturn]] void AFXAPI AfxThrowNotSupportedException();
[[noreturn]] void AFXAPI AfxThrowResourceException();
[[noreturn]] void AFXAPI AfxThrowUserException();
[[noreturn]] void AFXAPI AfxThrowFileException(int cause, LONG lOsError = -1, LPCWSTR lpszFileName = nullptr);
[[noreturn]] void AFXAPI AfxThrowArchiveException(int cause, LPCWSTR lpszArchiveName = nullptr);
