// Fuzz harness of the snapshot reader: a snapshot file from the drive (or its host copy) read into
// a snapshot. A failed read must leave it empty; a read that works must give records that look
// up by their own paths and survive a write and a second read unchanged in number.
#include "snapins/sync_snapshot.h"
#include "tests/fuzz/fuzz_app.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kipofuzz::ensureApp();
  const CString path(kipofuzz::writeFile("data.snap", data, size).c_str());
  CSyncSnapshot snapshot;
  snapshot.addEntry(u"C:\\fuzz\\before.txt", u"before.txt");
  if (!snapshot.read(path)) {
    if (snapshot.getCount() != 0) __builtin_trap();  // a failed read takes nothing
    return 0;
  }
  for (int i = 0; i < snapshot.getCount(); ++i) {
    const CFileSnapshot* record = snapshot.getAt(i);
    if (!snapshot.findByHostPath(record->hostPath) || !snapshot.findByRelativePath(record->relativePath))
      __builtin_trap();
  }
  const CString copy(u"C:\\fuzz\\copy.snap");
  if (!snapshot.write(copy, true)) __builtin_trap();
  CSyncSnapshot again;
  if (!again.read(copy) || again.getCount() != snapshot.getCount()) __builtin_trap();
  return 0;
}
