// What the tests of the pref file, the profile database and the folder lookup share: a host with
// the program and the US English library, a log, a removable drive E: that the program runs
// from (its folder outside the host, so a second host can use the same drive), and the
// process-wide pref store and profile database reset around each test.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/folder_lookup.h"
#include "app/lingrove.h"
#include "app/preference_file.h"
#include "app/profile_database.h"
#include "app/registry.h"
#include "platform/host/drives.h"
#include "platform/host/host.h"
#include "platform/win32/win32.h"
#include "tests/app/app_fixture.h"

namespace apptest {

inline constexpr DWORD kDriveSerial = 0x5eed0001;

class ProfilesTest : public AppTest {
 protected:
  ProfilesTest() {
    installLanguages({"USA"});
    language = std::make_unique<Lingrove>(CString(u"USA"), TRUE);
    createLog();
    drive = kipotest::freshTempDir("profiles-drive");
    plugDrive(drive);
    CFolderLookup::setDevicePathSource([] { return CString(u"E:\\"); });
    setComputerName("ALPHA");
    resetGlobals();
    getDevicePrefs().setFilePath(CString(u"E:\\Synchronized Computers\\customizer.pref"));
  }
  ~ProfilesTest() override {
    resetGlobals();
    CFolderLookup::setDevicePathSource(nullptr);
  }

  // The store and the database outlive the test's host: they hold nothing of it afterwards.
  static void resetGlobals() {
    getProfileDatabase().deleteAllProfiles();
    getDevicePrefs().setFilePath(CString());
    getDevicePrefs().open(CString(), false, false);
  }

  static void plugDrive(const fs::path& folder, const char16_t* name = u"E:", UINT type = DRIVE_REMOVABLE,
                        DWORD serial = kDriveSerial) {
    platform::host::Drive d;
    d.name = name;
    d.root = folder;
    d.type = type;
    d.serial = serial;
    platform::host::addDrive(d);
  }
  static void setComputerName(const char* name) {
    platform::host::Host::current().setFact(platform::host::fact::ComputerName, name);
  }
  // Gives drive C: another volume serial: the host now has other disks.
  void setSystemDriveSerial(DWORD serial) {
    platform::host::removeDrive(u"C:");
    plugDrive(host.c(), u"C:", DRIVE_FIXED, serial);
  }
  static DWORD systemDriveSerial() {
    DWORD serial = 0;
    GetVolumeInformationW(u"C:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0);
    return serial;
  }

  fs::path computersFolder() const { return drive / "Synchronized Computers"; }

  // The log lines written since `mark` (a size of the log), split at "<br>".
  std::vector<std::string> linesSince(std::size_t mark) {
    std::vector<std::string> lines;
    std::string s = logBytes().substr(mark);
    for (std::size_t pos; (pos = s.find("<br>")) != std::string::npos; s.erase(0, pos + 4))
      lines.push_back(s.substr(0, pos));
    return lines;
  }
  bool logHas(const std::string& line) {
    for (const std::string& l : linesSince(0))
      if (l == line) return true;
    return false;
  }

  // A registry value as text, or "<none>".
  static std::string regText(const char16_t* key, const char16_t* name) {
    CRegistry r{CString(key)};
    CString value;
    if (!r.getString(name, value)) return "<none>";
    return utf8(value);
  }
  static bool keyExists(const char16_t* key) {
    CRegistry r{CString(key)};
    return r.isOpen();
  }

  std::unique_ptr<Lingrove> language;
  fs::path drive;
};

}  // namespace apptest
