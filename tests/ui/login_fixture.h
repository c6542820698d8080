// What the login surface's tests share: a drive with computer profiles (a folder on the drive for
// the ones that should be listed), the program's application object, and a login host and
// document services that record what the surface asks of the program.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "app/app_messages.h"
#include "app/document_host_services.h"
#include "app/preference_file.h"
#include "app/registry.h"
#include "app/profile_database.h"
#include "app/system_profile.h"
#include "platform/afx/afxwin.h"
#include "platform/host/host.h"
#include "tests/app/profiles_fixture.h"
#include "ui/login_host.h"

namespace logintest {

// Records the switchboard messages posted and sent (kept as type, value and profile), and the
// autostart switches asked for (true: on; the answer to a switch-on is `autostartWorks`).
class RecordingServices : public CDocumentHostServices {
 public:
  struct Seen {
    LONG type;
    CSystemProfile* profile;
    bool posted;
    LONG value;
  };
  RecordingServices() { setDocumentHostServices(this); }
  ~RecordingServices() override { setDocumentHostServices(nullptr); }
  bool postAppMessage(CAppMessage* message) override { return keep(message, true); }
  bool sendAppMessage(CAppMessage* message) override { return keep(message, false); }
  bool enableAutostart() override {
    autostart.push_back(true);
    return autostartWorks;
  }
  bool disableAutostart() override {
    autostart.push_back(false);
    return true;
  }
  std::vector<Seen> seen;
  std::vector<bool> autostart;
  bool autostartWorks = true;

 private:
  bool keep(CAppMessage* message, bool posted) {
    auto* login = dynamic_cast<CLoginMessage*>(message);
    seen.push_back({login ? login->type : -1, login ? login->profile : nullptr, posted, message->value});
    delete message;
    return true;
  }
};

// A host whose personalized state and logout the test decides.
class ScriptedHost : public CLoginHost {
 public:
  ScriptedHost() { setLoginHost(this); }
  ~ScriptedHost() override { setLoginHost(nullptr); }
  bool isPersonalized() override { return personalized; }
  void startLogout(bool flag) override {
    logouts.push_back(flag);
    if (onLogout) onLogout();
  }
  void doPersonalize() override { ++personalizeCalls; }
  CCustomizerDoc* document() override { return doc; }
  int personalizeCalls = 0;
  bool personalized = false;
  CCustomizerDoc* doc = nullptr;
  std::function<void()> onLogout;
  std::vector<bool> logouts;
};

class LoginTest : public apptest::ProfilesTest {
 protected:
  CWinApp application{u"Kipo"};
  RecordingServices services;

  // The device preference store's root exists while the program runs (the pref file's load makes it).
  LoginTest() { CRegistry(CPreferenceFile::getPrefsRootPath(), true, true); }

  // A profile of computer `name` with `nickname`; `listed` gives it its folder on the drive.
  CSystemProfile* addProfile(const char16_t* name, const char16_t* nickname, bool listed = true) {
    auto p = std::make_unique<CSystemProfile>();
    p->m_computerName = name;
    p->m_nickname = nickname;
    CSystemProfile* raw = p.get();
    getProfileDatabase().profiles().push_back(std::move(p));
    if (listed) std::filesystem::create_directories(computersFolder() / utf8(raw->getKey()));
    return raw;
  }
  // The profile of the computer the test runs on, with `nickname`, as the only profile so far:
  // loading the list takes this host's fingerprint (so getThisComputerProfile finds it) and adds
  // its profile. `listed` gives it its folder on the drive.
  CSystemProfile* addThisComputer(const char16_t* nickname, bool listed = true) {
    CProfileDatabase& database = getProfileDatabase();
    EXPECT_TRUE(database.loadProfiles());
    CSystemProfile* self = database.getThisComputerProfile();
    EXPECT_NE(self, nullptr);
    if (!self) return nullptr;
    auto& list = database.profiles();
    std::erase_if(list, [self](const std::unique_ptr<CSystemProfile>& p) { return p.get() != self; });
    self->m_nickname = nickname;
    const auto folder = computersFolder() / utf8(self->getKey());
    if (listed)
      std::filesystem::create_directories(folder);
    else
      std::filesystem::remove_all(folder);
    return self;
  }
  static void setScreen(int width, int height) {
    platform::host::Host::current().setFact(platform::host::fact::ScreenWidth, std::to_string(width));
    platform::host::Host::current().setFact(platform::host::fact::ScreenHeight, std::to_string(height));
  }
};

}  // namespace logintest
