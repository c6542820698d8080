// Owned copies of MAPI binary values (byte count and bytes), the lists of them that service ids
// are read into, and the search for the entry that a later list added.
#pragma once

#include <memory>
#include <vector>

#include "platform/modules/mapi32/mapidefs.h"

// Frees the bytes and the value.
void destroySBinary(SBinary* value);
struct SBinaryDeleter {
  void operator()(SBinary* value) const { destroySBinary(value); }
};
using SBinaryPtr = std::unique_ptr<SBinary, SBinaryDeleter>;
using SBinaryVector = std::vector<SBinaryPtr>;

// A new value with its own copy of the bytes; none when memory runs out.
SBinaryPtr copySBinary(const SBinary& value);
// Frees the bytes of a value made here and zeroes its count and pointer.
void freeSBinary(SBinary& value);
// Replaces the destination's bytes (made here) with a copy of the source's; false when memory
// runs out (the destination is then empty).
bool copyProperty(SBinary& destination, const SBinary& source);
// The index of the first entry of `after` that equals no entry of `before`; -1 when each has one.
int findNewEntry(const SBinaryVector& before, const SBinaryVector& after);
void freeBinaryVector(SBinaryVector& list);
