// Fuzz harness of the customization file: the XML the drive's maker ships, read as the program
// reads it at start (its fields, images and presets), and its signature check.
#include "app/customization.h"
#include "tests/fuzz/fuzz_app.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kipofuzz::ensureApp();
  kipofuzz::writeFile("Customization.xml", data, size);
  CU3CustomConfig config;
  config.setPaths(CString(u"C:\\fuzz\\"), CString(u"Customization.xml"));
  if (config.load()) {
    bool recent = false, recursive = false;
    long days = 0;
    config.getDefaultSyncSettings(CString(u"My Documents"), recent, recursive, days);
    config.allowedLanguages();
  }
  config.verifySignature();
  return 0;
}
