// CFile and its kinds: CFile over the Win32 file calls (so it sees the host's drives, sharing
// rules and injected faults), CStdioFile for text with CR LF line ends, and CMemFile, a growing
// block of memory with the same interface (archives in memory use it).
// Failures throw CFileException heap objects, except Open, which reports through its argument.
#pragma once

#include <vector>

#include "platform/afx/cstring.h"
#include "platform/afx/exception.h"
#include "platform/afx/object.h"

class CFile : public CObject {
  DECLARE_DYNAMIC(CFile)
 public:
  enum OpenFlags : UINT {
    modeRead = 0x0000,
    modeWrite = 0x0001,
    modeReadWrite = 0x0002,
    shareCompat = 0x0000,
    shareExclusive = 0x0010,
    shareDenyWrite = 0x0020,
    shareDenyRead = 0x0030,
    shareDenyNone = 0x0040,
    modeNoInherit = 0x0080,
    modeCreate = 0x1000,
    modeNoTruncate = 0x2000,
    typeText = 0x4000,
    typeBinary = 0x8000,
    osNoBuffer = 0x10000,
    osWriteThrough = 0x20000,
    osRandomAccess = 0x40000,
    osSequentialScan = 0x80000,
  };
  enum SeekPosition : UINT { begin = 0x0, current = 0x1, end = 0x2 };

  static const HANDLE hFileNull;

  CFile();
  // Wraps an open handle; the CFile does not close it on destruction.
  explicit CFile(HANDLE hFile);
  // Opens or throws the CFileException that Open would have filled.
  CFile(LPCWSTR lpszFileName, UINT nOpenFlags);
  ~CFile() override;
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  operator HANDLE() const { return m_hFile; }  // NOLINT: as in the class library

  // FALSE with pError filled (cause, Win32 error, file name) when the file cannot be opened.
  virtual BOOL Open(LPCWSTR lpszFileName, UINT nOpenFlags, CFileException* pError = nullptr);
  virtual UINT Read(void* lpBuf, UINT nCount);
  virtual void Write(const void* lpBuf, UINT nCount);
  virtual ULONGLONG Seek(LONGLONG lOff, UINT nFrom);
  void SeekToBegin() { Seek(0, begin); }
  ULONGLONG SeekToEnd() { return Seek(0, end); }
  virtual ULONGLONG GetLength() const;
  virtual void SetLength(ULONGLONG dwNewLen);
  virtual ULONGLONG GetPosition() const;
  virtual void Flush();
  virtual void Close();
  // Closes without reporting errors (for use in an error path).
  virtual void Abort();

  // The full path of the file opened; the name is its last element, the title the name without
  // its extension.
  virtual CString GetFilePath() const { return m_strFileName; }
  virtual CString GetFileName() const;
  virtual CString GetFileTitle() const;
  virtual void SetFilePath(LPCWSTR lpszNewName) { m_strFileName = lpszNewName; }

  static void PASCAL Remove(LPCWSTR lpszFileName);
  static void PASCAL Rename(LPCWSTR lpszOldName, LPCWSTR lpszNewName);

  HANDLE m_hFile;
  BOOL m_bCloseOnDelete;
  CString m_strFileName;

 protected:
  [[noreturn]] void throwLastError() const;
};

class CStdioFile : public CFile {
  DECLARE_DYNAMIC(CStdioFile)
 public:
  CStdioFile() = default;
  CStdioFile(LPCWSTR lpszFileName, UINT nOpenFlags);

  // Text mode (the default) stores ANSI text with CR LF line ends and stops reading at Ctrl-Z
  // (Read and Write translate line ends too); typeBinary stores UTF-16LE characters untranslated.
  BOOL Open(LPCWSTR lpszFileName, UINT nOpenFlags, CFileException* pError = nullptr) override;
  // The next line without its line end; FALSE at the end of the file.
  virtual BOOL ReadString(CString& rString);
  // Up to nMax - 1 characters, stopping after a line end (kept as '\n'); null at the end.
  virtual LPWSTR ReadString(LPWSTR lpsz, UINT nMax);
  virtual void WriteString(LPCWSTR lpsz);

  UINT Read(void* lpBuf, UINT nCount) override;
  void Write(const void* lpBuf, UINT nCount) override;
  ULONGLONG Seek(LONGLONG lOff, UINT nFrom) override;
  ULONGLONG GetPosition() const override;
  void Close() override;
  void Abort() override;

 private:
  // Reads one line into `out` (with '\n' when the line had one); false at end of file.
  bool readLine(std::u16string& out, size_t limit);
  void writeRaw(const void* lpBuf, size_t nCount);
  // Next byte of the read-ahead buffer, or -1 at the end of the file.
  int nextByte();
  bool fill();

  bool text_ = true;
  bool eof_ = false;
  std::vector<BYTE> buffer_;
  size_t bufferPos_ = 0;
};

class CMemFile : public CFile {
  DECLARE_DYNAMIC(CMemFile)
 public:
  explicit CMemFile(UINT nGrowBytes = 1024);
  // Uses the caller's buffer; with nGrowBytes 0 it cannot grow beyond nBufferSize, and its
  // length starts at 0 (with growth allowed) or at nBufferSize (fixed, for reading).
  CMemFile(BYTE* lpBuffer, UINT nBufferSize, UINT nGrowBytes = 0);
  ~CMemFile() override;

  void Attach(BYTE* lpBuffer, UINT nBufferSize, UINT nGrowBytes = 0);
  // Hands back the caller's buffer (or null for an owned one) and empties the file.
  BYTE* Detach();

  BOOL Open(LPCWSTR, UINT, CFileException* pError = nullptr) override;
  UINT Read(void* lpBuf, UINT nCount) override;
  void Write(const void* lpBuf, UINT nCount) override;
  ULONGLONG Seek(LONGLONG lOff, UINT nFrom) override;
  ULONGLONG GetLength() const override { return length_; }
  void SetLength(ULONGLONG dwNewLen) override;
  ULONGLONG GetPosition() const override { return position_; }
  void Flush() override {}
  void Close() override;
  void Abort() override { Close(); }

  // The file's bytes (valid until the next write).
  const BYTE* data() const { return external_ ? external_ : owned_.data(); }

 private:
  void grow(size_t needed);

  std::vector<BYTE> owned_;
  BYTE* external_ = nullptr;
  size_t capacity_ = 0;  // of the external buffer
  size_t length_ = 0;
  size_t position_ = 0;
  UINT growBytes_;
};
