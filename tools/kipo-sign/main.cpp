// kipo-sign: the build step that signs the product's default customization file with the
// product's own hash code, so the hash the program verifies at start is the one the file carries.
// The product's code runs over the stand-in, so the work is done in a throwaway host.
//   kipo-sign IN OUT       write OUT: IN with its hash element set
//   kipo-sign --verify F   exit 0 when F's stored hash matches its content
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/customization.h"
#include "app/xml_helper.h"
#include "platform/host/create.h"
#include "platform/host/host.h"

namespace {

namespace fs = std::filesystem;

// A host that lives as long as the tool runs, in `near` (a host needs a file system that keeps
// extended attributes, which the build's own folder has and a memory-backed /tmp may not).
class ScratchHost {
 public:
  explicit ScratchHost(const fs::path& near) {
    std::error_code ec;
    folder_ = fs::absolute(near, ec) / (".kipo-sign-" + std::to_string(::getpid()));
    fs::remove_all(folder_, ec);
    platform::host::createHost(folder_ / "host", {});
  }
  ~ScratchHost() {
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }
  ScratchHost(const ScratchHost&) = delete;
  ScratchHost& operator=(const ScratchHost&) = delete;
  fs::path cDrive() const { return folder_ / "host" / "C"; }

 private:
  fs::path folder_;
};

int fail(const std::string& why) {
  std::fprintf(stderr, "kipo-sign: %s\n", why.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const bool verify = argc == 3 && std::string(argv[1]) == "--verify";
  if (argc != 3) return fail("usage: kipo-sign IN OUT | kipo-sign --verify FILE");
  const fs::path input = verify ? argv[2] : argv[1];
  try {
    ScratchHost host(fs::path(argv[2]).parent_path());
    std::error_code ec;
    fs::copy_file(input, host.cDrive() / "kipo.xml", ec);
    if (ec) return fail("cannot read " + input.string() + ": " + ec.message());
    const CString path(u"C:\\kipo.xml");
    CXMLHelper xml;
    if (!xml.load(path)) return fail(input.string() + " is not a customization file");
    const CString hash = computeCustomizationHash(xml);
    if (hash.IsEmpty()) return fail("the hash could not be computed");
    if (verify) {
      CString stored;
      if (!xml.getText(CString(kHashValuePath), stored)) return fail(input.string() + " has no hash element");
      return customizationHashMatches(stored, hash) ? 0 : fail(input.string() + ": the hash does not match");
    }
    if (!xml.setText(CString(kHashValuePath), hash)) return fail(input.string() + " has no hash element");
    if (!xml.save(path)) return fail("cannot save the signed file");
    const fs::path output = argv[2];
    fs::copy_file(host.cDrive() / "kipo.xml", output, fs::copy_options::overwrite_existing, ec);
    if (ec) return fail("cannot write " + output.string() + ": " + ec.message());
  } catch (const std::exception& e) {
    return fail(e.what());
  }
  return 0;
}
