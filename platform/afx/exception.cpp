// Exception classes, their English messages and the mapping from Win32 errors to file causes.
#include "platform/afx/exception.h"
#include "platform/afx/msgbox.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <shared_mutex>

#include "platform/win32/error.h"

IMPLEMENT_DYNAMIC(CException, CObject)
IMPLEMENT_DYNAMIC(CMemoryException, CException)
IMPLEMENT_DYNAMIC(CNotSupportedException, CException)
IMPLEMENT_DYNAMIC(CResourceException, CException)
IMPLEMENT_DYNAMIC(CUserException, CException)
IMPLEMENT_DYNAMIC(CFileException, CException)
IMPLEMENT_DYNAMIC(CArchiveException, CException)

namespace {

// Messages, one per cause; %1 is the file name.
constexpr const char16_t* kUnnamedFile = u"an unnamed file";

constexpr const char16_t* kFileMessages[] = {
    u"No error occurred.",
    u"An unexpected error occurred while accessing %1.",
    u"%1 was not found.",
    u"%1 contains an incorrect path.",
    u"%1 could not be opened because there are too many open files.",
    u"Access to %1 was denied.",
    u"An incorrect file handle was associated with %1.",
    u"%1 could not be removed because it is the current directory.",
    u"%1 could not be created because the directory is full.",
    u"Seek failed on %1.",
    u"A hardware I/O error was reported while accessing %1.",
    u"A sharing violation occurred while accessing %1.",
    u"A locking violation occurred while accessing %1.",
    u"Disk full while accessing %1.",
    u"An attempt was made to access %1 past its end.",
};

constexpr const char16_t* kArchiveMessages[] = {
    u"No error occurred.",
    u"An unexpected error occurred while reading %1.",
    u"An attempt was made to write to %1 while it was open for reading.",
    u"An unexpected end of file was reached while reading %1.",
    u"An attempt was made to read from %1 while it was open for writing.",
    u"%1 has a bad format.",
    u"%1 contained an unexpected object.",
    u"%1 contains an incorrect schema.",
};

constexpr const char16_t* kMemoryMessage = u"Out of memory.";
constexpr const char16_t* kNotSupportedMessage = u"An unsupported operation was attempted.";
constexpr const char16_t* kResourceMessage = u"A required resource was unavailable.";
constexpr const char16_t* kNoMessage = u"No error message is available.";

template <size_t N>
CString causeMessage(const char16_t* const (&table)[N], int cause, const CString& fileName) {
  CString text = cause >= 0 && static_cast<size_t>(cause) < N ? table[cause] : table[1];
  text.Replace(u"%1", fileName.IsEmpty() ? kUnnamedFile : fileName.GetString());
  return text;
}

struct MessageBoxHook {
  std::shared_mutex mutex;
  std::function<int(const CString&, UINT)> function;
};

MessageBoxHook& messageBoxHook() {
  static auto* hook = new MessageBoxHook;
  return *hook;
}

}  // namespace

namespace platform::afx {

void setMessageBoxHook(std::function<int(const CString& text, UINT type)> hook) {
  std::unique_lock lock(messageBoxHook().mutex);
  messageBoxHook().function = std::move(hook);
}

int showMessage(const CString& text, UINT type) {
  std::function<int(const CString&, UINT)> hook;
  {
    std::shared_lock lock(messageBoxHook().mutex);
    hook = messageBoxHook().function;
  }
  // Not under the lock: the box's modal loop may show another one.
  if (hook) return hook(text, type);
  return frameworkMessageBox(text.GetString(), type);
}

}  // namespace platform::afx

void CException::Delete() {
  if (m_bAutoDelete) delete this;
}

BOOL CException::GetErrorMessage(LPWSTR lpszError, UINT nMaxError, PUINT pnHelpContext) const {
  if (pnHelpContext) *pnHelpContext = 0;
  const CString text = message();
  if (lpszError && nMaxError > 0) {
    const UINT n = std::min<UINT>(static_cast<UINT>(text.GetLength()), nMaxError - 1);
    std::char_traits<char16_t>::copy(lpszError, text.GetString(), n);
    lpszError[n] = 0;
  }
  return text.IsEmpty() ? FALSE : TRUE;
}

int CException::ReportError(UINT nType, UINT nMessageID) {
  CString text = message();
  if (text.IsEmpty() && nMessageID != 0) text.LoadString(nMessageID);
  if (text.IsEmpty()) text = kNoMessage;
  return platform::afx::showMessage(text, nType);
}

CString CMemoryException::message() const { return kMemoryMessage; }
CString CNotSupportedException::message() const { return kNotSupportedMessage; }
CString CResourceException::message() const { return kResourceMessage; }

CString CFileException::message() const { return causeMessage(kFileMessages, m_cause, m_strFileName); }
CString CArchiveException::message() const { return causeMessage(kArchiveMessages, m_cause, m_strFileName); }

int PASCAL CFileException::OsErrorToException(LONG lOsError) {
  struct Entry {
    LONG error;
    int cause;
  };
  static constexpr Entry kMap[] = {
      {ERROR_SUCCESS, none},
      {ERROR_FILE_NOT_FOUND, fileNotFound},
      {ERROR_PATH_NOT_FOUND, badPath},
      {ERROR_TOO_MANY_OPEN_FILES, tooManyOpenFiles},
      {ERROR_ACCESS_DENIED, accessDenied},
      {ERROR_INVALID_HANDLE, fileNotFound},
      {ERROR_BAD_FORMAT, invalidFile},
      {ERROR_INVALID_ACCESS, accessDenied},
      {ERROR_INVALID_DRIVE, badPath},
      {ERROR_CURRENT_DIRECTORY, removeCurrentDir},
      {ERROR_NOT_SAME_DEVICE, badPath},
      {ERROR_NO_MORE_FILES, fileNotFound},
      {ERROR_WRITE_PROTECT, accessDenied},
      {20 /* ERROR_BAD_UNIT */, hardIO},
      {ERROR_NOT_READY, hardIO},
      {22 /* ERROR_BAD_COMMAND */, hardIO},
      {ERROR_CRC, hardIO},
      {24 /* ERROR_BAD_LENGTH */, badSeek},
      {ERROR_SEEK, badSeek},
      {26 /* ERROR_NOT_DOS_DISK */, invalidFile},
      {27 /* ERROR_SECTOR_NOT_FOUND */, badSeek},
      {ERROR_WRITE_FAULT, accessDenied},
      {ERROR_READ_FAULT, badSeek},
      {ERROR_SHARING_VIOLATION, sharingViolation},
      {ERROR_LOCK_VIOLATION, lockViolation},
      {34 /* ERROR_WRONG_DISK */, badPath},
      {36 /* ERROR_SHARING_BUFFER_EXCEEDED */, tooManyOpenFiles},
      {ERROR_HANDLE_EOF, endOfFile},
      {ERROR_HANDLE_DISK_FULL, diskFull},
      {ERROR_BAD_NETPATH, badPath},
      {ERROR_NETWORK_ACCESS_DENIED, accessDenied},
      {ERROR_BAD_NET_NAME, badPath},
      {ERROR_FILE_EXISTS, accessDenied},
      {ERROR_CANNOT_MAKE, accessDenied},
      {ERROR_INVALID_PARAMETER, badPath},
      {ERROR_DISK_FULL, diskFull},
      {ERROR_INVALID_NAME, badPath},
      {ERROR_NEGATIVE_SEEK, badSeek},
      {132 /* ERROR_SEEK_ON_DEVICE */, badSeek},
      {ERROR_DIR_NOT_EMPTY, accessDenied},
      {ERROR_BAD_PATHNAME, badPath},
      {ERROR_ALREADY_EXISTS, accessDenied},
      {ERROR_FILENAME_EXCED_RANGE, badPath},
      {ERROR_IO_DEVICE, hardIO},
  };
  for (const Entry& e : kMap)
    if (e.error == lOsError) return e.cause;
  return genericException;
}

void PASCAL CFileException::ThrowOsError(LONG lOsError, LPCWSTR lpszFileName) {
  throw new CFileException(OsErrorToException(lOsError), lOsError, lpszFileName);
}

void AFXAPI AfxThrowMemoryException() { throw new CMemoryException; }
void AFXAPI AfxThrowNotSupportedException() { throw new CNotSupportedException; }
void AFXAPI AfxThrowResourceException() { throw new CResourceException; }
void AFXAPI AfxThrowUserException() { throw new CUserException; }
void AFXAPI AfxThrowFileException(int cause, LONG lOsError, LPCWSTR lpszFileName) {
  throw new CFileException(cause, lOsError, lpszFileName);
}
void AFXAPI AfxThrowArchiveException(int cause, LPCWSTR lpszArchiveName) {
  throw new CArchiveException(cause, lpszArchiveName);
}
