// Fuzz harness of the key dump: the raw load of a dump file and the pref file's checked load,
// both fed the same bytes as a file on the drive.
#include "app/preference_file.h"
#include "app/registry.h"
#include "tests/fuzz/fuzz_app.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kipofuzz::ensureApp();
  const CString file(kipofuzz::writeFile("customizer.pref", data, size).c_str());
  {
    CRegistry dump(CString(u"HKEY_CURRENT_USER\\Software\\Fuzz"), true, true);
    dump.loadFromFile(file);
  }
  CPreferenceFile prefs;
  prefs.setFilePath(file);
  prefs.load();
  return 0;
}
