// Entry ids of MAPI objects as the Outlook records carry them: the bytes, their order in maps
// keyed by id, and their text form (upper-case hexadecimal, two digits per byte), kept apart for
// long-term and short-term ids (first byte with bit 0x80).
#pragma once

#include <vector>

#include "platform/afx/cstring.h"
#include "platform/base/types.h"

using EntryIdBytes = std::vector<BYTE>;

// Shorter ids first; ids of one length by unsigned byte comparison.
struct EntryIdLess {
  bool operator()(const EntryIdBytes& a, const EntryIdBytes& b) const {
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
  }
};

inline bool isShortTermEntryId(const BYTE* bytes, ULONG count) { return count > 0 && (bytes[0] & 0x80); }

// Hexadecimal text of bytes (upper case) and back; bytesFromHex fails on odd length or a non-hex
// character.
CString hexFromBytes(const BYTE* bytes, ULONG count);
inline CString hexFromBytes(const EntryIdBytes& bytes) {
  return hexFromBytes(bytes.data(), static_cast<ULONG>(bytes.size()));
}
bool bytesFromHex(const CString& hex, EntryIdBytes& bytes);

class CEntryIdText {
 public:
  // Fills the long-term text for a long-term id, else the short-term text; the other stays.
  void set(const BYTE* bytes, ULONG count);
  // The long-term text when there is one, else the short-term text.
  CString getId() const { return longTerm.IsEmpty() ? shortTerm : longTerm; }
  bool isEmpty() const { return longTerm.IsEmpty() && shortTerm.IsEmpty(); }

  CString longTerm;
  CString shortTerm;
};
