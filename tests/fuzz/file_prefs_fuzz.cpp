// Fuzz harness of the file snap-in's preference records: a pref file from the drive loaded into
// the registry, then the records of one computer read from it and written back.
#include "app/preference_file.h"
#include "app/system_profile.h"
#include "snapins/customizer.h"
#include "snapins/file_customizer_prefs.h"
#include "tests/fuzz/fuzz_app.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kipofuzz::ensureApp();
  const CString file(kipofuzz::writeFile("customizer.pref", data, size).c_str());
  CPreferenceFile& store = getDevicePrefs();
  store.setFilePath(file);
  store.load();
  CSystemProfile profile;
  profile.m_computerName = CString(u"ALPHA");
  CCustomizer files(CString(u"Files"));
  CFileCustomizerPrefs prefs;
  prefs.read(&profile, &files);
  prefs.write(&profile, &files);
  store.setFilePath(CString());
  return 0;
}
