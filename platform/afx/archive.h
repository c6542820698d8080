// CArchive: the framework's binary stream over a CFile, little-endian, with the class library's
// string form (FF FE FF marker and escaped length prefix for UTF-16 text; narrow strings read
// back widened) and object records by class name and schema.
//
// Input is never trusted: a value that runs past the end of the data throws a CArchiveException
// (endOfFile) heap object, and every length or count read is checked against what is left of the
// file before anything is allocated for it.
#pragma once

#include <map>
#include <vector>

#include "platform/afx/cstring.h"
#include "platform/afx/exception.h"
#include "platform/afx/file.h"
#include "platform/afx/object.h"

class CArchive {
 public:
  enum Mode : UINT { store = 0, load = 1, bNoFlushOnDelete = 2, bNoByteSwap = 4 };

  // nBufSize is the read-ahead / write-behind size; lpBuf, when given, is used as that buffer.
  CArchive(CFile* pFile, UINT nMode, int nBufSize = 4096, void* lpBuf = nullptr);
  // Flushes (unless bNoFlushOnDelete) and detaches, swallowing errors: a destructor cannot throw.
  ~CArchive();
  CArchive(const CArchive&) = delete;
  CArchive& operator=(const CArchive&) = delete;

  BOOL IsLoading() const { return (m_nMode & load) != 0; }
  BOOL IsStoring() const { return (m_nMode & load) == 0; }
  BOOL IsBufferEmpty() const { return cur_ == max_; }
  CFile* GetFile() const { return m_pFile; }
  // The file's path, for exception messages.
  LPCWSTR GetFileName() const { return m_strFileName.GetString(); }

  // Reads up to nMax bytes; fewer only at the end of the data.
  UINT Read(void* lpBuf, UINT nMax);
  void Write(const void* lpBuf, UINT nMax);
  // Storing: writes the buffer to the file. Loading: gives back to the file what was read ahead.
  void Flush();
  void Close();
  // Detaches without writing the buffer and without throwing.
  void Abort();

  // Text lines of UTF-16 characters ending in CR LF (WriteString writes no terminator itself).
  BOOL ReadString(CString& rString);
  LPWSTR ReadString(LPWSTR lpsz, UINT nMax);
  void WriteString(LPCWSTR lpsz);

  // Counts as the class library writes them: WORD, or 0xFFFF then DWORD.
  DWORD_PTR ReadCount();
  void WriteCount(DWORD_PTR dwCount);
  // Throws endOfFile unless count * elementSize bytes are left to read.
  void EnsureAvailable(ULONGLONG count, size_t elementSize);

  // Objects: a class record (name and schema) the first time a class is written, a back
  // reference to an object written earlier, or a null tag.
  void WriteObject(const CObject* pOb);
  // Reads an object record; the object must be of pClassRefRequested (or derived) when given.
  CObject* ReadObject(const CRuntimeClass* pClassRefRequested);
  // The schema of the object being read (from its class record), or (UINT)-1 outside ReadObject.
  UINT GetObjectSchema();
  void SetObjectSchema(UINT nSchema) { schema_ = nSchema; }

  CArchive& operator<<(BYTE by) { return putLE(by); }
  CArchive& operator<<(char ch) { return putLE(static_cast<BYTE>(ch)); }
  CArchive& operator<<(signed char ch) { return putLE(static_cast<BYTE>(ch)); }
  CArchive& operator<<(char16_t ch) { return putLE(static_cast<WORD>(ch)); }
  CArchive& operator<<(bool b) { return putLE(static_cast<BYTE>(b ? 1 : 0)); }
  CArchive& operator<<(WORD w) { return putLE(w); }
  CArchive& operator<<(short s) { return putLE(static_cast<WORD>(s)); }
  CArchive& operator<<(int i) { return putLE(static_cast<DWORD>(i)); }
  CArchive& operator<<(DWORD dw) { return putLE(dw); }
  CArchive& operator<<(LONGLONG v) { return putLE(static_cast<ULONGLONG>(v)); }
  CArchive& operator<<(ULONGLONG v) { return putLE(v); }
  CArchive& operator<<(float f);
  CArchive& operator<<(double d);
  CArchive& operator<<(const CString& str);
  CArchive& operator<<(LPCWSTR text) { return *this << CString(text); }
  CArchive& operator<<(const CObject* pOb) {
    WriteObject(pOb);
    return *this;
  }
  // A stray pointer would otherwise be written as a bool.
  CArchive& operator<<(const void*) = delete;
  CArchive& operator<<(const char*) = delete;

  CArchive& operator>>(BYTE& by) { return getLE(by); }
  CArchive& operator>>(char& ch) { return getAs<BYTE>(ch); }
  CArchive& operator>>(signed char& ch) { return getAs<BYTE>(ch); }
  CArchive& operator>>(char16_t& ch) { return getAs<WORD>(ch); }
  CArchive& operator>>(bool& b);
  CArchive& operator>>(WORD& w) { return getLE(w); }
  CArchive& operator>>(short& s) { return getAs<WORD>(s); }
  CArchive& operator>>(int& i) { return getAs<DWORD>(i); }
  CArchive& operator>>(DWORD& dw) { return getLE(dw); }
  CArchive& operator>>(LONGLONG& v) { return getAs<ULONGLONG>(v); }
  CArchive& operator>>(ULONGLONG& v) { return getLE(v); }
  CArchive& operator>>(float& f);
  CArchive& operator>>(double& d);
  CArchive& operator>>(CString& str);
  CArchive& operator>>(CObject*& pOb) {
    pOb = ReadObject(nullptr);
    return *this;
  }

  CFile* m_pFile;
  UINT m_nMode;
  CString m_strFileName;
  void* m_pDocument = nullptr;

 private:
  template <class T>
  CArchive& putLE(T value) {
    BYTE bytes[sizeof(T)];
    for (size_t i = 0; i < sizeof(T); ++i) bytes[i] = static_cast<BYTE>(static_cast<ULONGLONG>(value) >> (8 * i));
    Write(bytes, sizeof(T));
    return *this;
  }
  template <class T>
  CArchive& getLE(T& value) {
    BYTE bytes[sizeof(T)];
    readExactly(bytes, sizeof(T));
    ULONGLONG v = 0;
    for (size_t i = 0; i < sizeof(T); ++i) v |= static_cast<ULONGLONG>(bytes[i]) << (8 * i);
    value = static_cast<T>(v);
    return *this;
  }
  template <class Stored, class T>
  CArchive& getAs(T& value) {
    Stored stored;
    getLE(stored);
    value = static_cast<T>(stored);
    return *this;
  }

  void readExactly(void* lpBuf, UINT nCount);
  [[noreturn]] void fail(int cause) const;
  void requireLoading() const;
  void requireStoring() const;
  // Bytes not yet read: the read-ahead buffer plus the rest of the file.
  ULONGLONG remaining() const;
  void fillBuffer(UINT nNeeded);
  void writeClass(const CRuntimeClass* pClass);
  CRuntimeClass* readClass(const CRuntimeClass* pClassRefRequested, UINT* pSchema, DWORD* pObTag);

  std::vector<BYTE> ownBuffer_;
  BYTE* buffer_;
  UINT bufSize_;
  BYTE* cur_;
  BYTE* max_;

  // Object records: index 0 is the null tag; classes and objects share the numbering.
  std::map<const void*, DWORD> storeMap_;
  DWORD storeCount_ = 1;
  struct Loaded {
    void* pointer;      // the CRuntimeClass or the CObject
    bool isClass;
    UINT schema;        // of a class record
  };
  std::vector<Loaded> loadArray_;
  UINT schema_ = static_cast<UINT>(-1);
};
