// The program's message boxes and resource strings: one path (showMessageBox) to the message-box
// sink, the information box that is also logged, the Yes/No question, and the string loader
// with its "missing string" box.
#include "app/messages.h"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/lingrove.h"
#include "app/program_texts.h"
#include "lang/ids.h"
#include "platform/win32/dialog.h"
#include "platform/win32/locale.h"
#include "platform/win32/window.h"

#ifndef IDOK
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDTRYAGAIN 10
#define IDCONTINUE 11
#endif

namespace {

constexpr const char16_t* kImageWindowTitle = u"KIPO_IMAGE_WINDOW";
constexpr const char16_t* kMissingStringText = u"Unable to load resource string";
constexpr UINT kInformationStyle = MB_ICONINFORMATION | MB_SYSTEMMODAL;  // 0x1040
constexpr UINT kQuestionStyle = MB_YESNO | MB_ICONQUESTION | MB_SYSTEMMODAL;
constexpr UINT kMissingStringStyle = MB_ICONSTOP;  // 16
constexpr WORD kEnglishNeutral = 9;

struct Hooks {
  std::mutex lock;
  MessageBoxSink sink;
  std::function<HWND()> ownerWindow;
  std::function<bool(bool)> setTrayMenuEnabled;
};

Hooks& hooks() {
  static Hooks* h = new Hooks;
  return *h;
}

// Without a sink the box is a real one: it waits for the user (or a test's UI driver).
int defaultSink(const MessageBoxRequest& box) {
  return MessageBoxExW(box.owner, box.text, box.caption, box.style, box.language);
}

// The tray menu stays off while a box is up, whatever way the box ends.
class TrayMenuOff {
 public:
  explicit TrayMenuOff(std::function<bool(bool)> setEnabled) : set_(std::move(setEnabled)) {
    if (set_) previous_ = set_(false);
  }
  ~TrayMenuOff() {
    if (set_) set_(previous_);
  }
  TrayMenuOff(const TrayMenuOff&) = delete;
  TrayMenuOff& operator=(const TrayMenuOff&) = delete;

 private:
  std::function<bool(bool)> set_;
  bool previous_ = true;
};

}  // namespace

MessageBoxSink setMessageBoxSink(MessageBoxSink sink) {
  Hooks& h = hooks();
  std::lock_guard<std::mutex> hold(h.lock);
  return std::exchange(h.sink, std::move(sink));
}

void setMessageOwnerSource(std::function<HWND()> ownerWindow) {
  Hooks& h = hooks();
  std::lock_guard<std::mutex> hold(h.lock);
  h.ownerWindow = std::move(ownerWindow);
}

void setTrayMenuSwitch(std::function<bool(bool enabled)> setTrayMenuEnabled) {
  Hooks& h = hooks();
  std::lock_guard<std::mutex> hold(h.lock);
  h.setTrayMenuEnabled = std::move(setTrayMenuEnabled);
}

int defaultButtonOf(UINT style) {
  static const std::vector<int> sets[] = {
      {IDOK},                        // MB_OK
      {IDOK, IDCANCEL},              // MB_OKCANCEL
      {IDABORT, IDRETRY, IDIGNORE},  // MB_ABORTRETRYIGNORE
      {IDYES, IDNO, IDCANCEL},       // MB_YESNOCANCEL
      {IDYES, IDNO},                 // MB_YESNO
      {IDRETRY, IDCANCEL},           // MB_RETRYCANCEL
      {IDCANCEL, IDTRYAGAIN, IDCONTINUE},  // MB_CANCELTRYCONTINUE
  };
  UINT type = style & MB_TYPEMASK;
  if (type >= sizeof(sets) / sizeof(sets[0])) return IDOK;
  const std::vector<int>& buttons = sets[type];
  size_t index = (style & MB_DEFMASK) >> 8;
  return index < buttons.size() ? buttons[index] : buttons[0];
}

int showMessageBox(HWND owner, const CString& text, const CString& caption, UINT style, WORD language) {
  MessageBoxSink sink;
  {
    Hooks& h = hooks();
    std::lock_guard<std::mutex> hold(h.lock);
    sink = h.sink;
  }
  MessageBoxRequest box;
  box.owner = owner;
  box.text = text;
  box.caption = caption;
  box.style = style;
  box.language = language;
  return sink ? sink(box) : defaultSink(box);
}

void showMessageText(const CString& message) {
  std::function<HWND()> ownerWindow;
  std::function<bool(bool)> trayMenu;
  {
    Hooks& h = hooks();
    std::lock_guard<std::mutex> hold(h.lock);
    ownerWindow = h.ownerWindow;
    trayMenu = h.setTrayMenuEnabled;
  }
  TrayMenuOff menuOff(std::move(trayMenu));
  if (HWND image = FindWindowW(nullptr, kImageWindowTitle)) ShowWindow(image, SW_HIDE);
  CString text = message.GetLength() > kMessageTextLimit ? message.Left(kMessageTextLimit) : message;
  writeLogText(text);
  showMessageBox(ownerWindow ? ownerWindow() : nullptr, text, programCaption(), kInformationStyle, kEnglishNeutral);
}

bool askYesNoText(const CString& question) {
  CString text = question.GetLength() > kMessageTextLimit ? question.Left(kMessageTextLimit) : question;
  return showMessageBox(nullptr, text, programCaption(), kQuestionStyle) == IDYES;
}

CString loadResString(UINT id) {
  CString text;
  if (findChainString(id, text)) return text;
  CString message;
  if (!findChainString(IDS_RESOURCE_STRING_MISSING, message)) message = kMissingStringText;
  CString box = formatMessageText(u"%s: %d", message, id);
  writeLogText(box);
  showMessageBox(nullptr, box, programCaption(), kMissingStringStyle);
  return CString();
}
