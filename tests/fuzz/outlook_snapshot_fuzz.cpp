// Fuzz harness of the Outlook snapshot reader: a snapshot file from the drive. Whatever it
// reads must write back and read again with the same entries, root and folders (the writer
// writes every record the reader expects); a failed read must leave the snapshot empty.
#include "outlook/outlook_snapshot.h"
#include "tests/fuzz/fuzz_app.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kipofuzz::ensureApp();
  const CString file(kipofuzz::writeFile("_Outlook.snap", data, size).c_str());
  COutlookSyncSnapshot snapshot;
  if (!snapshot.read(file)) {
    if (!snapshot.entries().empty() || snapshot.getRootFolder()) __builtin_trap();
    return 0;
  }
  // An entry stored with the failed-and-created bits is left out of every save.
  size_t entries = 0;
  for (const auto& [key, entry] : snapshot.entries())
    if (!entry->hasState(kItemSnapshotFailed) || !entry->hasState(kItemSnapshotCreated)) ++entries;
  const bool root = snapshot.getRootFolder() != nullptr;
    const CString copy(u"C:\\fuzz\\copy.snap");
  if (!snapshot.write(copy, false)) __builtin_trap();
  COutlookSyncSnapshot again;
  if (!again.read(copy)) __builtin_trap();
  if (again.entries().size() != entries || (again.getRootFolder() != nullptr) != root) __builtin_trap();
  for (const auto& [key, entry] : snapshot.entries()) {
    if (entry->hasState(kItemSnapshotFailed) && entry->hasState(kItemSnapshotCreated)) continue;
    const CItemSnapshot* back = again.findBySource(key);
    if (!back || back->targetEntryId != entry->targetEntryId || !(back->item.parentFolder == entry->item.parentFolder) ||
        !(back->targetFolder == entry->targetFolder))
      __builtin_trap();
  }
  return 0;
}
