// Version blocks of program files and the comparison of versions with the running program's own:
// the update check, the relaunch from the drive and the about texts ask whether a file is newer
// than, or differs from, the program that runs.
#pragma once

#include <vector>

#include "platform/afx/cstring.h"
#include "platform/base/types.h"
#include "platform/win32/version.h"

// The version block of one file: the fixed record (zero until read), the raw block, and the
// first translation (language and code page; code page 1252 until read).
class CModuleVersion : public VS_FIXEDFILEINFO {
 public:
  CModuleVersion();

  // Reads the file's version block and copies its fixed record ("\") and first translation
  // ("\VarFileInfo\Translation", when at least 4 bytes). True when the fixed record carries the
  // signature 0xFEEF04BD; false (the record left zero) for a file without a block.
  bool getFileVersionInfo(const CString& path);

  WORD language() const { return m_language; }
  WORD codePage() const { return m_codePage; }

 private:
  std::vector<BYTE> m_block;
  WORD m_language = 0;
  WORD m_codePage = 1252;
};

inline constexpr DWORD kFixedFileInfoSignature = 0xFEEF04BD;

// The file version as four 16-bit parts (high and low words of the two file-version words).
bool getFileVersion(const CString& path, int& a, int& b, int& c, int& d);
// The version of the program file named after the product (".exe") in the running program's folder.
bool getOwnExeVersion(int& a, int& b, int& c, int& d);
// False when the own version cannot be read; otherwise `newer` says whether a.b.c.d is greater,
// deciding at the first part that differs.
bool isNewerThanOwn(int a, int b, int c, int d, bool& newer);
bool isFileNewerThanOwn(const CString& path, bool& newer);
// `differs`: any part unequal.
bool differsFromOwn(int a, int b, int c, int d, bool& differs);
bool fileDiffersFromOwn(const CString& path, bool& differs);
// "<product> a.b.c.d"; empty when the own version cannot be read.
CString getVersionText();
