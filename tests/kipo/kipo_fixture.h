// What the main program's end-to-end tests share: a host with the program and its helpers
// installed and a USB drive E: holding the program, starting "Kipo.exe" with a command line,
// finding its frame, answering its message boxes and dialogs, reading the drive's log.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/Utilities/helper_fixture.h"

namespace kipo {

constexpr char16_t kSynchronizeCaption[] = u"Kipo - Synchronizer";
constexpr char16_t kProgressCaption[] = u"Kipo - Progress";
constexpr char16_t kNicknameCaption[] = u"Kipo - Name the Computer";

using namespace helpers;

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// What the host tool printed, both streams.
inline std::string tool(const std::vector<std::string>& args) {
  std::string out, err;
  kipotest::runTool(args, &out, &err);
  return out + err;
}

inline constexpr char16_t kFrameClass[] = u"KipoMainFrameClass";
inline constexpr char16_t kInstallKey[] = u"Software\\Brackwater\\Kipo\\install";

// The main frame of the process, or null.
inline HWND frameOf(DWORD pid) {
  for (HWND w = FindWindowExW(nullptr, nullptr, kFrameClass, nullptr); w; w = FindWindowExW(nullptr, w, kFrameClass, nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == pid) return w;
  }
  return nullptr;
}

inline std::u16string windowText(HWND w) {
  WCHAR buf[1024] = {};
  GetWindowTextW(w, buf, 1024);
  return buf;
}

// The text of a dialog's control, empty when it has none.
inline std::u16string controlText(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  return control ? windowText(control) : std::u16string();
}

// A box or dialog of the program and what the test did with it.
struct SeenBox {
  std::u16string caption;
  std::u16string text;
};

class KipoTest : public HelperTest {
 protected:
  void SetUp() override {
    HelperTest::SetUp();
    for (const char16_t* name : {u"Kipo.exe", u"Lingrove_USA.DLL", u"kipo.xml"})
      ASSERT_NE(GetFileAttributesW((productFolder_ + name).c_str()), INVALID_FILE_ATTRIBUTES) << toUtf8(name);
    drive_ = kipotest::freshTempDir("drive");
    std::string err;
    ASSERT_EQ(kipotest::runTool({"plug", "E:", "--folder", drive_.string(), "--serial", "4B1D0E5A", "--capacity", "1073741824"}, nullptr, &err), 0)
        << err;
    fs::copy_file(KIPO_PROGRAM, drive_ / "Kipo.exe", fs::copy_options::overwrite_existing);
  }

  Started startKipo(const std::u16string& arguments) {
    return start(program(u"Kipo.exe") + (arguments.empty() ? u"" : u" " + arguments), productFolder_);
  }

  // Waits until the program's frame exists and it has opened the device (the log has the device's
  // cluster size); null when it ended or did not get there.
  HWND waitForFrame(const Started& kipo, double seconds = 20) {
    HWND frame = nullptr;
    eventually([&] { return (frame = frameOf(kipo.pid)) != nullptr || !kipo.running(); }, seconds);
    if (!frame) return nullptr;
    eventually([&] { return log().find("Device Cluster Size: ") != std::string::npos || !kipo.running(); }, seconds);
    return kipo.running() ? frame : nullptr;
  }

  // Closes the program through its frame, as another program would, and waits for its end.
  bool closeKipo(const Started& kipo) {
    HWND frame = frameOf(kipo.pid);
    if (frame) PostMessageW(frame, WM_CLOSE, 0, 0);
    return kipo.waitEnd(20);
  }

  // Answers every box and dialog of the process until it ends: the drive choice is cancelled,
  // a question answered `answer` (IDOK for a plain box). The boxes it saw, in order.
  std::vector<SeenBox> answerUntilEnd(const Started& kipo, int answer = IDOK, double seconds = 30) {
    std::vector<SeenBox> seen;
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (kipo.running() && std::chrono::steady_clock::now() < until) {
      HWND box = boxOf(kipo.pid);
      if (!box || !IsWindowVisible(box)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        continue;
      }
      SeenBox s;
      s.caption = windowText(box);
      if (HWND label = GetDlgItem(box, 0xFFFF)) s.text = windowText(label);
      seen.push_back(s);
      int button = answer;
      if (!GetDlgItem(box, 0xFFFF)) button = IDCANCEL;  // a dialog, not a message box
      else if (!GetDlgItem(box, button)) button = GetDlgItem(box, IDOK) ? IDOK : IDCANCEL;
      PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
      eventually([&] { return !IsWindow(box) || !kipo.running(); }, 10);
    }
    return seen;
  }

  std::string log() const { return slurp(drive_ / "Kipo.html"); }

  // Waits until start-up has ended: the tray icon's balloon tells the login state.
  static bool waitForTrayBalloon(double seconds = 20) {
    return eventually([] {
      std::string out;
      kipotest::runTool({"ui", "tray"}, &out);
      return out.find("balloon=") != std::string::npos;
    }, seconds);
  }
  // The tray icons as `kipo-host ui tray` lists them.
  static std::string trayText() {
    std::string out;
    kipotest::runTool({"ui", "tray"}, &out);
    return out;
  }
  // Opens the tray icon's menu with a right click, as a user would; its listing once it is open.
  static std::string openTrayMenu() {
    kipotest::runTool({"ui", "tray", "click", "--icon", "0", "--right"});
    std::string listing;
    eventually([&] {
      listing.clear();
      kipotest::runTool({"ui", "list"}, &listing);
      return listing.find("class=#32768") != std::string::npos;
    }, 10);
    return listing;
  }
  static int pickMenuCommand(int command) { return kipotest::runTool({"ui", "menu", "--command", std::to_string(command)}); }

  // Waits for the process's message box and presses `button`; its text ("" when none came).
  static std::u16string pressInBox(DWORD pid, int button, double seconds = 20) {
    HWND box = nullptr;
    if (!eventually([&] { return (box = boxOf(pid)) != nullptr && IsWindowVisible(box); }, seconds)) return u"";
    std::u16string text;
    if (HWND label = GetDlgItem(box, 0xFFFF)) text = windowText(label);
    PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
    eventually([&] { return !IsWindow(box); }, 10);
    return text;
  }

  // Processes of the host whose image is `image`, from the host's process list.
  static int countProcesses(const std::string& image) {
    std::string out;
    kipotest::runTool({"ps"}, &out);
    int count = 0;
    for (std::size_t at = out.find(image); at != std::string::npos; at = out.find(image, at + 1))
      if (at > 0 && out[at - 1] == ' ') ++count;
    return count;
  }

  // Presses `button` in the dialog captioned `caption` once it shows.
  static bool pressInDialog(const char16_t* caption, int button, double seconds = 30) {
    HWND dialog = nullptr;
    if (!eventually([&] { return (dialog = FindWindowW(u"#32770", caption)) != nullptr && IsWindowVisible(dialog); },
                    seconds))
      return false;
    PostMessageW(dialog, WM_COMMAND, static_cast<WPARAM>(button), 0);
    return eventually([&] { return !IsWindow(dialog); }, 10);
  }

  // Logs in to this computer through the pull-down's panel, and takes note of the instructions
  // that follow.
  void logIn() {
    setString(HKEY_CURRENT_USER, u"Software\\Brackwater\\Kipo\\Prefs", u"allowLoginThisComputer", u"true");
    std::string menu = openTrayMenu();
    ASSERT_NE(menu.find("menu item 341"), std::string::npos) << menu;
    ASSERT_EQ(pickMenuCommand(341), 0);
    std::string links;
    ASSERT_TRUE(eventually([&] {
      links.clear();
      kipotest::runTool({"ui", "links", "--window", "Kipo Login", "--control", "1358"}, &links);
      return links.find("href=\"**ALPHA\"") != std::string::npos;
    })) << links << log();
    // A person clicks once the window has slid down (a click during a slide is not taken).
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    std::string err;
    ASSERT_EQ(kipotest::runTool({"ui", "follow", "--window", "Kipo Login", "--control", "1358", "--href", "**ALPHA"},
                                nullptr, &err), 0) << err;
    ASSERT_TRUE(eventually([] { return readString(HKEY_CURRENT_USER, u"Software\\Brackwater\\Kipo\\localPrefs", u"personalizing") == u"false"; }, 60))
        << log();
    ASSERT_TRUE(eventually([] { return trayText().find("tip=\"Logged in") != std::string::npos; })) << trayText();
    // The instructions that follow the screen cover's end, when they come.
    pressInDialog(u"Kipo - Message", IDOK, 10);
  }

  // The synchronize dialog once its search has ended, after keeping the offered nickname when the
  // dialog first asks for one (this computer's first synchronization). Null when it did not come.
  static HWND waitForSynchronizeSearch() {
    HWND dialog = nullptr;
    bool named = false;
    const bool searched = eventually(
        [&] {
          if (HWND nickname = named ? nullptr : FindWindowW(u"#32770", kNicknameCaption)) {
            PostMessageW(nickname, WM_COMMAND, IDOK, 0);
            named = true;
          }
          dialog = FindWindowW(u"#32770", kSynchronizeCaption);
          return dialog && controlText(dialog, 1246) == u"Kipo Meter - Search complete";
        },
        90);
    return searched ? dialog : nullptr;
  }

  // Out through the taskbar's "Log out" button and OK in the question, until the tray shows the
  // logged-out tip.
  void logOut() {
    std::string buttons;
    ASSERT_TRUE(eventually([&] { return contains(buttons = tool({"ui", "taskbar"}), "text=\"Log out\""); })) << buttons;
    std::string err;
    ASSERT_EQ(kipotest::runTool({"ui", "taskbar", "click", "--window", "Log out"}, nullptr, &err), 0) << err;
    ASSERT_TRUE(pressInDialog(u"Kipo - Log Out", IDOK)) << tool({"ui", "list"}) << log();
    EXPECT_TRUE(eventually([] { return contains(trayText(), "tip=\"Double-click to synchronize"); }, 60))
        << trayText() << tool({"ui", "list"}) << log();
  }

  // The tray's Synchronize through the dialogs a person sees: the synchronize dialog's search, OK,
  // the progress until it offers to close, Close, and the synchronized message. False at the
  // first step that did not come.
  static bool synchronizeThroughTray() {
    openTrayMenu();
    if (pickMenuCommand(344) != 0) return false;
    HWND dialog = waitForSynchronizeSearch();
    return dialog && runSynchronizeDialog(dialog);
  }

  // From OK in the synchronize dialog to the synchronized message closed (OK during a search is
  // taken once it has ended, so the progress may take `progressSeconds` to show).
  static bool runSynchronizeDialog(HWND dialog, int progressSeconds = 30) {
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    HWND progress = nullptr;
    if (!eventually([&] { return (progress = FindWindowW(u"#32770", kProgressCaption)) != nullptr; }, progressSeconds)) return false;
    if (!eventually([&] { return controlText(progress, 1030) == u"&Close"; }, 60)) return false;
    PostMessageW(progress, WM_COMMAND, 1030, 0);
    HWND message = nullptr;
    if (!eventually([&] { return (message = FindWindowW(u"#32770", u"Kipo - Message")) != nullptr; }, 30)) return false;
    PostMessageW(message, WM_COMMAND, IDOK, 0);
    return eventually([&] { return !IsWindow(message) && !IsWindow(dialog); }, 10);
  }

  fs::path drive_;
};

inline std::string utf8(const std::u16string& text) { return toUtf8(text); }

}  // namespace kipo
