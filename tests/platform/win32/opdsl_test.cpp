// The secure-drive controller library stand-in "OPDSL.dll", loaded as the program loads it: what
// the drive letter shows as the secure area opens and closes, passwords, the lock after three
// wrong ones, the device information and repartitioning, and the notifications it posts.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/host/device_tree.h"
#include "platform/host/secure_area.h"
#include "platform/modules/opdsl/opdsl.h"
#include "platform/win32/win32.h"
#include "tests/support/test_host.h"
#include "tests/support/test_windows.h"

namespace {

namespace fs = std::filesystem;
namespace host = platform::host;

// A password field as the program sends it: Base64 of the UTF-16LE bytes.
std::string field(std::u16string_view text) {
  static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string bytes;
  for (char16_t c : text) bytes += static_cast<char>(c & 0xFF), bytes += static_cast<char>(c >> 8);
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::uint32_t n = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) n |= static_cast<unsigned char>(bytes[i + 2]);
    out += digits[n >> 18];
    out += digits[(n >> 12) & 63];
    out += i + 1 < bytes.size() ? digits[(n >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? digits[n & 63] : '=';
  }
  return out;
}

struct Report {
  UINT message;
  WPARAM wParam;
  WORD code, high;
};

class Opdsl : public ::testing::Test {
 protected:
  Opdsl() {
    fs::copy_file(KIPO_OPDSL_MODULE, testHost.c("WINDOWS/system32/OPDSL.dll"), fs::copy_options::overwrite_existing);
    module = LoadLibraryW(u"OPDSL.dll");
    EXPECT_NE(module, nullptr) << GetLastError();
    registerWindow = reinterpret_cast<OTiDll_RegisterWindowFn>(GetProcAddress(module, MAKEINTRESOURCEA(1)));
    deviceInfo = reinterpret_cast<OTiDll_GetDeviceInfoFn>(GetProcAddress(module, MAKEINTRESOURCEA(2)));
    isLogin = reinterpret_cast<OTiDll_IsLoginFn>(GetProcAddress(module, kOpdslIsLogin));
    login = reinterpret_cast<OTiDll_LoginFn>(GetProcAddress(module, kOpdslLogin));
    logout = reinterpret_cast<OTiDll_LogoutFn>(GetProcAddress(module, kOpdslLogout));
    changePw = reinterpret_cast<OTiDll_ChangePWFn>(GetProcAddress(module, kOpdslChangePW));
    resize = reinterpret_cast<OTiDll_ResizeFn>(GetProcAddress(module, kOpdslResize));
    publicFolder = kipotest::freshTempDir("opdsl-public");
    secureFolder = kipotest::freshTempDir("opdsl-secure");
    std::ofstream(publicFolder / "Kipo.exe") << "program";
    std::ofstream(secureFolder / "secret.txt") << "secret";
    kipotest::registerWindowClass(u"KipoOtiTest");
    window = CreateWindowExW(0, u"KipoOtiTest", u"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    plug();
  }
  ~Opdsl() override {
    if (registerWindow) registerWindow(nullptr);
    DestroyWindow(window);
    FreeLibrary(module);
  }

  void plug() {
    host::PlugRequest r;
    r.letter = u'E';
    r.folder = publicFolder;
    r.device = {u"0EA0", u"2469", u"OTI123", host::UsbDriveKind::SecureDrive};
    r.capacity = 4096000000ull;
    r.secureFolder = secureFolder;
    r.hintField = "HINT+FIELD==";
    host::plugDrive(r);
  }

  std::vector<Report> reports() {
    std::vector<Report> out;
    MSG m;
    while (PeekMessageW(&m, window, 0, 0, PM_REMOVE))
      if (m.message >= WM_USER) out.push_back({m.message, m.wParam, LOWORD(m.lParam), HIWORD(m.lParam)});
    return out;
  }

  int state() {
    int s = -1;
    EXPECT_EQ(isLogin(window, "OTI123", &s), 0);
    return s;
  }

  std::string info() {
    std::vector<char> buffer(10240, 0);
    EXPECT_EQ(deviceInfo(buffer.data(), 10240), 0);
    return buffer.data();
  }

  static bool onE(const char16_t* name) { return GetFileAttributesW((std::u16string(u"E:\\") + name).c_str()) != INVALID_FILE_ATTRIBUTES; }

  kipotest::TestHost testHost;
  HMODULE module = nullptr;
  OTiDll_RegisterWindowFn registerWindow = nullptr;
  OTiDll_GetDeviceInfoFn deviceInfo = nullptr;
  OTiDll_IsLoginFn isLogin = nullptr;
  OTiDll_LoginFn login = nullptr;
  OTiDll_LogoutFn logout = nullptr;
  OTiDll_ChangePWFn changePw = nullptr;
  OTiDll_ResizeFn resize = nullptr;
  fs::path publicFolder, secureFolder;
  HWND window = nullptr;
};

TEST_F(Opdsl, ExportsByNameAndOrdinalAndTheFirstReportFollowsRegistration) {
  ASSERT_TRUE(registerWindow && deviceInfo && isLogin && login && logout && changePw && resize);
  EXPECT_EQ(GetProcAddress(module, "OTiDll_Missing"), nullptr);
  EXPECT_EQ(std::u16string(host::kFactoryDevicePassword), std::u16string(kOpdslFactoryDevicePassword));
  EXPECT_EQ(registerWindow(window), 0);
  auto r = reports();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].message, kOpdslNotifyMessage);
  EXPECT_EQ(r[0].wParam, 80u);
  EXPECT_EQ(r[0].code, kOpdslReportReady);
  EXPECT_NE(r[0].high, 0) << "a report, not an error";
  EXPECT_EQ(info(),
            "<otidevice0><otivid>0EA0</otivid><otipid>2469</otipid><otisn>OTI123</otisn><otiallcapa>4096</otiallcapa>"
            "<otisecurity>2048</otisecurity><otilun2>0</otilun2><otipwhint>HINT+FIELD==</otipwhint>"
            "<otidrive>E</otidrive></otidevice0>");
  char tiny[16] = {};
  EXPECT_EQ(deviceInfo(tiny, sizeof tiny), kOpdslInvalidParameters) << "a buffer too small is refused";
  EXPECT_EQ(tiny[0], 0);
}

TEST_F(Opdsl, LoginShowsTheSecureAreaAndLogoutThePublicOne) {
  registerWindow(window);
  reports();
  EXPECT_EQ(state(), 0);
  EXPECT_TRUE(onE(u"Kipo.exe"));
  ULARGE_INTEGER total{};
  ASSERT_TRUE(GetDiskFreeSpaceExW(u"E:\\", nullptr, &total, nullptr));
  EXPECT_EQ(total.QuadPart, 2048000000ull) << "the public half";

  EXPECT_EQ(login(window, "OTI123", field(kOpdslFactoryDevicePassword).c_str(), 2, 80), 0);
  EXPECT_EQ(state(), 1);
  EXPECT_TRUE(onE(u"secret.txt"));
  EXPECT_FALSE(onE(u"Kipo.exe"));
  auto r = reports();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].code, kOpdslReportReady);
  EXPECT_NE(r[0].high, 0);
  EXPECT_EQ(login(window, "OTI123", field(kOpdslFactoryDevicePassword).c_str(), 2, 80), 0) << "already open";

  EXPECT_EQ(logout(window, "OTI123", 1, 80), 0);
  EXPECT_EQ(state(), 0);
  EXPECT_TRUE(onE(u"Kipo.exe"));
  int s = 0;
  EXPECT_EQ(isLogin(window, "NOSUCH", &s), kOpdslNoDevice);
  EXPECT_EQ(login(window, nullptr, "x", 2, 80), kOpdslNoDevice);
}

TEST_F(Opdsl, ThreeWrongPasswordsLockTheDriveUntilItIsPluggedAgain) {
  registerWindow(window);
  reports();
  const std::string wrong = field(u"abc");
  EXPECT_EQ(login(window, "OTI123", wrong.c_str(), 2, 80), kOpdslWrongPassword);
  EXPECT_EQ(changePw(window, "OTI123", wrong.c_str(), field(u"new").c_str(), "H"), kOpdslWrongPassword);
  EXPECT_EQ(login(window, "OTI123", "not base64!", 2, 80), kOpdslLockedUntilReplug);
  auto r = reports();
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[1].code, kOpdslLockedUntilReplug);
  EXPECT_EQ(r[1].high, 0) << "an error report";
  EXPECT_EQ(login(window, "OTI123", field(kOpdslFactoryDevicePassword).c_str(), 2, 80), kOpdslLockedUntilReplug);
  EXPECT_EQ(state(), 0);

  ASSERT_TRUE(host::unplugDrive(u'E'));
  plug();
  EXPECT_EQ(login(window, "OTI123", field(kOpdslFactoryDevicePassword).c_str(), 2, 80), 0);
  EXPECT_EQ(state(), 1);
}

TEST_F(Opdsl, ChangingThePasswordKeepsTheHintFieldAsGiven) {
  EXPECT_EQ(changePw(window, "OTI123", field(kOpdslFactoryDevicePassword).c_str(), field(u"Q2z").c_str(), "ENCODED/HINT=="), 0);
  EXPECT_NE(info().find("<otipwhint>ENCODED/HINT==</otipwhint>"), std::string::npos);
  EXPECT_EQ(login(window, "OTI123", field(kOpdslFactoryDevicePassword).c_str(), 2, 80), kOpdslWrongPassword);
  EXPECT_EQ(login(window, "OTI123", field(u"Q2z").c_str(), 2, 80), 0);
  EXPECT_EQ(changePw(window, "OTI123", field(u"Q2z").c_str(), "", "H"), kOpdslInvalidParameters);
  // The hint survives the drive being pulled out and plugged in again.
  ASSERT_TRUE(host::unplugDrive(u'E'));
  host::PlugRequest r;
  r.letter = u'E';
  r.folder = publicFolder;
  r.device = {u"0EA0", u"2469", u"OTI123", host::UsbDriveKind::SecureDrive};
  host::plugDrive(r);
  EXPECT_NE(info().find("<otipwhint>ENCODED/HINT==</otipwhint>"), std::string::npos);
}

TEST_F(Opdsl, ResizeFormatsBothAreasAndReportsTheEnd) {
  registerWindow(window);
  reports();
  auto request = [](const std::string& serial, const std::string& pw, const std::string& hint, const std::string& size) {
    return "<otidevice0><otiSN>" + serial + "</otiSN><otiPW>" + pw + "</otiPW><otiHint>" + hint + "</otiHint><otiSecuSize>" +
           size + "</otiSecuSize><otiLun2Size>0</otiLun2Size><otiCopyFile0></otiCopyFile0><otiCopyFile1></otiCopyFile1>"
           "<otiMsgID>80</otiMsgID></otidevice0>";
  };
  EXPECT_EQ(resize(window, request("OTI123", field(kOpdslFactoryDevicePassword), "H", "5000").c_str()), kOpdslInvalidParameters);
  EXPECT_EQ(resize(window, request("OTI123", "", "H", "1000").c_str()), kOpdslInvalidParameters) << "no password";
  EXPECT_EQ(resize(window, request("OTHER", field(kOpdslFactoryDevicePassword), "H", "1000").c_str()), kOpdslNoDevice);
  EXPECT_EQ(resize(window, "<otidevice0><otiSecuSize>10</otiSecuSize></otidevice0>"), kOpdslInvalidParameters);
  EXPECT_TRUE(reports().empty());
  EXPECT_TRUE(onE(u"Kipo.exe")) << "refused requests change nothing";

  ASSERT_EQ(resize(window, request("OTI123", field(kOpdslFactoryDevicePassword), "NEWHINT", "1000").c_str()), 0);
  auto r = reports();
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].message, kOpdslInfoReadyMessage);
  EXPECT_EQ(r[1].message, kOpdslResultMessage);
  EXPECT_EQ(r[1].code, kOpdslReportReady);
  EXPECT_FALSE(onE(u"Kipo.exe")) << "the public area was formatted";
  EXPECT_TRUE(fs::is_empty(secureFolder));
  ULARGE_INTEGER total{};
  ASSERT_TRUE(GetDiskFreeSpaceExW(u"E:\\", nullptr, &total, nullptr));
  EXPECT_EQ(total.QuadPart, 3096000000ull);
  EXPECT_NE(info().find("<otisecurity>1000</otisecurity><otilun2>0</otilun2><otipwhint>NEWHINT</otipwhint>"),
            std::string::npos);

  // Size 0 removes the secure area: no password needed, nothing to log in to.
  ASSERT_EQ(resize(window, request("OTI123", "", "", "0").c_str()), 0);
  EXPECT_EQ(state(), 2);
  EXPECT_EQ(login(window, "OTI123", field(kOpdslFactoryDevicePassword).c_str(), 2, 80), kOpdslNoSecureArea);
  EXPECT_NE(info().find("<otisecurity>0</otisecurity><otilun2>0</otilun2><otipwhint></otipwhint>"), std::string::npos);
}

}  // namespace
