// Registry text files in the format of Windows' own registry editor ("Windows Registry Editor
// Version 5.00"): exporting a subtree and importing a file, behind `kipo-host reg export/import`.
// Both go through the Win32 registry calls, so the classes view and the access rules apply.
//
// Export writes UTF-16LE with a byte-order mark and CR LF line ends. A value is written in the
// editor's short forms only when they give back its exact bytes ("text" for a REG_SZ of
// NUL-free text ending in one NUL, dword: for a REG_DWORD of exactly 4 bytes); everything else
// is hex:/hex(N): so that every type number and every byte survives the round trip.
// Import reads UTF-16LE (with its mark), UTF-8 or ANSI text; the whole file is checked before
// anything is written, and each key section is then written in one transaction.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/base/types.h"

namespace platform::registry {

// The predefined key named at the start of `path` (full names and HKLM, HKCU, HKCR, HKU, HKCC,
// any case); `rest` is what follows the root and its backslash. Null when no root matches.
HKEY rootFromName(std::u16string_view path, std::u16string_view& rest);
// The full name of a predefined key ("HKEY_CURRENT_USER"), empty for any other handle.
std::u16string rootName(HKEY root);

// The .reg text of the subtree at `path` (a root name and a subkey path). Returns a Win32 error
// code (ERROR_FILE_NOT_FOUND for a missing key, ...) and leaves `out` empty on failure.
LONG exportText(std::u16string_view path, std::u16string& out);
// exportText in the file's byte form: UTF-16LE with a byte-order mark.
LONG exportBytes(std::u16string_view path, std::string& out);

struct ImportResult {
  bool ok = false;
  std::string error;  // "line N: ..." when not ok
  std::size_t sections = 0, values = 0;
};
// Imports the bytes of a .reg file. `committed` is told each key section (its path) once it is
// durable. On a parse error nothing is written; on a write error the sections before it stay.
ImportResult importBytes(std::string_view bytes, const std::function<void(const std::u16string&)>& committed = {});

}  // namespace platform::registry
