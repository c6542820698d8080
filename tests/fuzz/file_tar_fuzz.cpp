// Fuzz harness of the folder archive reader: an archive from the drive unpacked into a folder,
// which must afterwards hold nothing but plain files directly inside it.
#include "app/file_operation.h"
#include "snapins/file_tar.h"
#include "tests/fuzz/fuzz_app.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kipofuzz::ensureApp();
  const CString archive(kipofuzz::writeFile("archive.tar", data, size).c_str());
  const CString target(u"C:\\fuzz\\unpacked");
  CFileTar().extractAll(archive, target, nullptr);
  CStringArray folders;
  listSubfolders(target, folders, true);
  if (folders.GetSize() != 0) __builtin_trap();  // extraction makes no folders
  deleteFolder(target);
  CStringArray left;
  listFolder(CString(u"C:\\fuzz"), left, false);
  if (left.GetSize() != 1) __builtin_trap();  // something was written beside the target
  return 0;
}
