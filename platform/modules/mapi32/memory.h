// MAPI's memory: blocks from MAPIAllocateBuffer, with MAPIAllocateMore blocks chained to them so
// that one MAPIFreeBuffer of the first frees them all; and helpers that copy property values and
// row sets into such blocks.
#pragma once

#include <string>

#include "platform/modules/mapi32/mapidefs.h"

namespace mapi {

SCODE allocateBuffer(ULONG cb, LPVOID* buffer);
SCODE allocateMore(ULONG cb, LPVOID object, LPVOID* buffer);
// Frees a block from allocateBuffer with everything chained to it. A null pointer is fine; a
// block from allocateMore, or a pointer MAPI did not hand out, is refused (its chain stays with
// its owner) rather than corrupting the heap.
ULONG freeBuffer(LPVOID buffer);
// Frees each row's values, then the row set.
void freeRows(LPSRowSet rows);

// Deep copy of one value into `to`, with its strings and bytes chained to `owner`.
SCODE copyValue(const SPropValue& from, SPropValue& to, LPVOID owner);

}  // namespace mapi
