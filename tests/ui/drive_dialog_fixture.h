// What the drive dialogs' tests share: an application object, the English language library, a
// device library object that answers from a stored password, and services that hand it out, hold
// the change client and record the first-password request.
#pragma once

#include <functional>
#include <vector>

#include "app/device_change_client.h"
#include "app/device_sdk.h"
#include "app/lingrove.h"
#include "app/secure_drive_services.h"
#include "platform/afx/afxwin.h"
#include "tests/app/app_fixture.h"

namespace drivetest {

// The dialogs' view of a drive with a secure area: the password check compares with `stored`,
// a change is taken when `acceptChange` is set.
class ScriptedSdk : public CDeviceSdk {
 public:
  bool login(const CString&, bool& opened) override { return opened = false; }
  bool checkPassword(const CString& password, bool& matches) override {
    ++checks;
    matches = password == stored;
    return checkWorks;
  }
  bool logout() override { return true; }
  bool changePassword(const CString& oldPassword, const CString& newPassword, const CString&, bool& changed) override {
    changes.push_back({oldPassword, newPassword});
    changed = acceptChange;
    if (changed) stored = newPassword;
    return changeWorks;
  }
  CString getStoredPassword() override { return stored; }
  CString getDrivePath() override { return u"E:\\"; }
  bool getCapacity(std::uint64_t& bytes) override { return bytes = 0, true; }
  bool getPublicAreaSize(std::uint64_t& bytes) override { return bytes = 0, true; }
  bool getSecureAreaSize(std::uint64_t& bytes) override { return bytes = 0, true; }
  bool hasSecureArea() override { return secureArea; }
  bool format(const CString&, const CString&, int) override { return false; }
  bool removeSecureArea() override { return false; }
  bool isLoggedIn(bool& open) override { return open = false, true; }
  bool isLoggedOut(bool& closed) override { return closed = true, true; }
  bool supportsLogin() override { return true; }
  bool supportsResize() override { return true; }
  void readDeviceInfo() override {}

  struct Change {
    CString oldPassword, newPassword;
  };
  CString stored = u"secret";
  bool checkWorks = true;
  bool changeWorks = true;
  bool acceptChange = true;
  bool secureArea = true;
  int checks = 0;
  std::vector<Change> changes;
};

class DialogServices : public CSecureDriveServices {
 public:
  DialogServices() { setSecureDriveServices(this); }
  ~DialogServices() override { setSecureDriveServices(nullptr); }
  CDeviceSdk* getDeviceSdk() override { return sdk; }
  CDeviceChangeClient* getDeviceChangeClient() override { return client; }
  void setDeviceChangeClient(CDeviceChangeClient* c) override { client = c; }
  bool changeSecureAreaPassword(const CString& newPassword, const CString& secondText) override {
    firstPasswords.push_back(newPassword);
    secondTexts.push_back(secondText);
    if (duringFirstPassword) duringFirstPassword();
    return firstPasswordWorks;
  }

  CDeviceSdk* sdk = nullptr;
  CDeviceChangeClient* client = nullptr;
  bool firstPasswordWorks = true;
  std::function<void()> duringFirstPassword;
  std::vector<CString> firstPasswords, secondTexts;
};

class DriveDialogTest : public apptest::AppTest {
 protected:
  // The program always has its application object; the framework's message pump runs on it.
  CWinApp application{u"Kipo"};
  DriveDialogTest() {
    installLanguages({"USA"});
    language = std::make_unique<Lingrove>(CString(u"USA"), FALSE);
    services.sdk = &sdk;
  }
  // The texts of the boxes shown, as string ids of the language library (0 for other texts).
  std::vector<UINT> boxIds(std::initializer_list<UINT> known) const {
    std::vector<UINT> ids;
    for (const MessageBoxRequest& b : boxes) {
      UINT found = 0;
      for (UINT id : known)
        if (b.text == loadResString(id)) found = id;
      ids.push_back(found);
    }
    return ids;
  }

  std::unique_ptr<Lingrove> language;
  ScriptedSdk sdk;
  DialogServices services;
};

}  // namespace drivetest
