// The program's side of a drive with a password-protected secure area: the abstract CDeviceSdk the
// rest of the program asks about and drives the area through, and COtiSdk, its one
// implementation over the maker's library OPDSL.dll, with the hidden window that receives that
// library's notifications. The user's password lives encrypted in a field of the drive's own
// information record; the area itself is always opened with the program's fixed device password.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/afx/afxwin.h"

class CAdminLogon;
class COtiSdk;
struct OpdslBinding;

// Every bool-returning query answers whether the query itself worked; its answer travels in the
// out-parameter.
class CDeviceSdk : public CObject {
 public:
  ~CDeviceSdk() override = default;

  // Opens the secure area after checking `password` against the stored copy.
  virtual bool login(const CString& password, bool& opened) = 0;
  // matches: the first 12 characters equal those of the stored password.
  virtual bool checkPassword(const CString& password, bool& matches) = 0;
  virtual bool logout() = 0;
  // `unused` plays no part; kept for the callers that pass it.
  virtual bool changePassword(const CString& oldPassword, const CString& newPassword, const CString& unused,
                              bool& changed) = 0;
  virtual CString getStoredPassword() = 0;
  // The drive letter followed by ":\".
  virtual CString getDrivePath() = 0;
  virtual bool getCapacity(std::uint64_t& bytes) = 0;
  virtual bool getPublicAreaSize(std::uint64_t& bytes) = 0;
  virtual bool getSecureAreaSize(std::uint64_t& bytes) = 0;
  virtual bool hasSecureArea() = 0;
  // Creates the secure area protected by `password`, leaving a public area of `publicSize` MB.
  // `secondText` plays no part.
  virtual bool format(const CString& password, const CString& secondText, int publicSize) = 0;
  virtual bool removeSecureArea() = 0;
  virtual bool isLoggedIn(bool& open) = 0;
  virtual bool isLoggedOut(bool& closed) = 0;
  virtual bool supportsLogin() = 0;
  virtual bool supportsResize() = 0;
  // Asks the library for the device information and discards it.
  virtual void readDeviceInfo() = 0;
  // Tells the shell that the drive's root changed; false when there is no drive path.
  virtual bool notifyShellOfDrive();
};

// The hidden window OPDSL.dll posts its notifications to.
class COtiNotificationWindow : public CWnd {
 public:
  explicit COtiNotificationWindow(COtiSdk* owner) : owner(owner) {}

  // Creates the hidden 10 x 10 window "QX OTI Notify"; false when it could not be created.
  bool create();

  COtiSdk* owner;
  bool done = false;

 protected:
  afx_msg LRESULT OnOtiNotify(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnOtiResult(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnDeviceInfoReady(WPARAM wParam, LPARAM lParam);
  DECLARE_MESSAGE_MAP()
};

class COtiSdk : public CDeviceSdk {
 public:
  // Registers the notification window with the library and waits for its first report.
  COtiSdk();
  ~COtiSdk() override;
  COtiSdk(const COtiSdk&) = delete;
  COtiSdk& operator=(const COtiSdk&) = delete;

  bool login(const CString& password, bool& opened) override;
  bool checkPassword(const CString& password, bool& matches) override;
  bool logout() override;
  bool changePassword(const CString& oldPassword, const CString& newPassword, const CString& unused,
                      bool& changed) override;
  CString getStoredPassword() override;
  CString getDrivePath() override;
  bool getCapacity(std::uint64_t& bytes) override;
  bool getPublicAreaSize(std::uint64_t& bytes) override;
  bool getSecureAreaSize(std::uint64_t& bytes) override;
  bool hasSecureArea() override;
  bool format(const CString& password, const CString& secondText, int publicSize) override;
  bool removeSecureArea() override;
  bool isLoggedIn(bool& open) override;
  bool isLoggedOut(bool& closed) override;
  bool supportsLogin() override;
  bool supportsResize() override;
  void readDeviceInfo() override;
  bool notifyShellOfDrive() override;

  // Up to 200 passes of message pump and 100 ms sleep; true as soon as a notification set `done`.
  bool waitForNotification();
  // Reads the device-information text from the library and parses it.
  void fetchDeviceInfo();
  // Takes the fields from the tagged device-information text (blocks "otidevice0" ..
  // "otidevice1023"; the last block found wins, a missing tag keeps its field).
  void parseDeviceInfo(const CString& text);

  // The drive's fields as of the last device-information report.
  CString getSerialNumber() const { return serialNumber; }
  CString getVendorId() const { return vendorId; }
  CString getProductId() const { return productId; }
  int getCapacityMb() const { return capacity; }
  int getSecureAreaSizeMb() const { return secureAreaSize; }
  int getLun2SizeMb() const { return lun2Size; }
  CString getDriveLetter() const { return driveLetter; }
  HWND getNotificationHandle() const { return notificationWindow.GetSafeHwnd(); }

 private:
  friend class COtiNotificationWindow;
  // Asks the library whether the area is open; false when the query failed.
  bool queryLoginState(int& state);
  bool resize(const CString& request);

  // The administrator logon object with its one operation (the protected area's opening); built,
  // never shown; gives up any impersonation when destroyed.
  std::unique_ptr<CAdminLogon> adminLogon;
  // OPDSL.dll and its seven functions, bound when the object is made.
  std::unique_ptr<OpdslBinding> library;
  CString serialNumber;
  CString storedPassword;
  CString vendorId;
  CString productId;
  int capacity = 0;  // MB, as the library reports sizes
  int secureAreaSize = 0;
  int lun2Size = 0;
  CString driveLetter;
  COtiNotificationWindow notificationWindow;
};

// The fixed device password: every login, password change and format sends it, and only it, as
// the device's password; never shown. Three capital letters or digits, as the drives carry it.
inline constexpr char16_t kDevicePassword[] = u"K7P";

// The encoded field in which passwords travel to the library and the drive keeps the user's
// password: UTF-16LE bytes, the first 16 (zero-padded) AES-encrypted when asked, in Base64.
// The result is 8-bit text.
std::string encodeDeviceField(const CString& text, bool encrypt);
// Reverses encodeDeviceField; false (text empty) when the field is not valid Base64.
bool decodeDeviceField(const std::string& field, bool decrypt, CString& text);

// The library's text for a result code; empty for codes without one.
CString otiResultText(int code);
