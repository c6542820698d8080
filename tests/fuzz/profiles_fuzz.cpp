// Fuzz harness of the legacy profile file "Profiles.dat": the archive of stored computers that a
// drive may still carry from an older version.
#include "app/profile_database.h"
#include "tests/fuzz/fuzz_app.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kipofuzz::ensureApp();
  const CString file(kipofuzz::writeFile("Profiles.dat", data, size).c_str());
  CProfileDatabase profiles;
  profiles.readSystemProfiles(file);
  return 0;
}
