// The custom message box (xmessagebox.h): layout measured with the message font, the template
// written in the system's in-memory dialog layout, the dialog procedure with countdown, disabled
// time and the remembered answer.
#include "app/xmessagebox.h"

#include <algorithm>
#include <cstring>

#include "app/lingrove.h"
#include "app/messages.h"
#include "lang/ids.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/module.h"
#include "platform/win32/registry.h"
#include "platform/win32/resource.h"

namespace {

constexpr UINT kCountdownTimer = 1;
constexpr UINT kDisabledTimer = 2;
constexpr int kButtonHeight = 26;
constexpr int kButtonWidth = 90;
constexpr int kCountdownButtonWidth = 100;
constexpr int kButtonGap = 6;
constexpr int kMargin = 16;
constexpr int kMinimumWidth = 70;
constexpr DWORD kBoxStyle = 0x90C80880;  // popup, visible, caption, system menu, modal frame, centred
constexpr WORD kButtonAtom = 0x80;
constexpr WORD kStaticAtom = 0x82;

// Texts of the buttons and the check box: the id of the text in a caller's module (9001-9019) and
// in the program's language library.
struct ButtonText {
  int id;
  UINT moduleId;
  UINT programId;
};
constexpr ButtonText kButtonTexts[] = {
    {IDOK, 9001, IDS_XMB_OK},           {IDCANCEL, 9002, IDS_XMB_CANCEL},     {IDIGNORE, 9003, IDS_XMB_IGNORE},
    {IDRETRY, 9004, IDS_XMB_RETRY},     {IDABORT, 9005, IDS_XMB_ABORT},       {IDXMBHELP, 9006, IDS_XMB_HELP},
    {IDYES, 9007, IDS_XMB_YES},         {IDNO, 9008, IDS_XMB_NO},             {IDCONTINUE, 9009, IDS_XMB_CONTINUE},
    {IDYESTOALL, 9013, IDS_XMB_YES_TO_ALL}, {IDNOTOALL, 9014, IDS_XMB_NO_TO_ALL}, {IDTRYAGAIN, 9015, IDS_XMB_TRY_AGAIN},
    {IDXMBREPORT, 9016, IDS_XMB_REPORT}, {IDIGNOREALL, 9017, IDS_XMB_IGNORE_ALL}, {IDSKIP, 9018, IDS_XMB_SKIP},
    {IDSKIPALL, 9019, IDS_XMB_SKIP_ALL},
};

// The value-name table of remembered answers: 64 characters, index (code + 5 x position) mod 64.
constexpr char16_t kNameTable[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
static_assert(sizeof(kNameTable) / sizeof(kNameTable[0]) == 65);

CString moduleString(HINSTANCE module, UINT id) {
  WCHAR buffer[1024] = {};
  const int length = LoadStringW(module, id, buffer, static_cast<int>(std::size(buffer)));
  return length > 0 ? CString(buffer, length) : CString();
}

CString programString(UINT id) {
  CString text;
  findChainString(id, text);
  return text;
}

// A text given directly, or as a string id (below 65,536) of the module, else the program.
CString textArgument(LPCWSTR text, HINSTANCE module) {
  if (!text) return CString();
  if (!IS_INTRESOURCE(text)) return CString(text);
  const UINT id = static_cast<UINT>(reinterpret_cast<ULONG_PTR>(text));
  CString loaded = module ? moduleString(module, id) : CString();
  return loaded.IsEmpty() ? programString(id) : loaded;
}

CString programFileName() {
  WCHAR path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  CString full(path, static_cast<int>(std::min<DWORD>(length, MAX_PATH)));
  const int slash = full.ReverseFind(u'\\');
  return slash < 0 ? full : full.Mid(slash + 1);
}

CString rememberedKeyPath(const XMessageBoxOptions& options) {
  CString path(u"Software\\");
  if (!options.company.IsEmpty()) path += options.company + CString(u"\\");
  return path + programFileName() + CString(u"\\XMessageBox");
}

bool readRemembered(const XMessageBoxOptions& options, DWORD& answer) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, rememberedKeyPath(options), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD type = 0, size = sizeof answer;
  const CString name = xMessageBoxValueName(options.key, options.number);
  const LONG result = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&answer), &size);
  RegCloseKey(key);
  return result == ERROR_SUCCESS && type == REG_DWORD && size == sizeof answer;
}

void writeRemembered(const XMessageBoxOptions& options, DWORD answer) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, rememberedKeyPath(options), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return;  // a failed write only means the box asks again next time
  const CString name = xMessageBoxValueName(options.key, options.number);
  RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&answer), sizeof answer);
  RegCloseKey(key);
}

void put16(std::vector<BYTE>& out, WORD v) {
  out.push_back(static_cast<BYTE>(v & 0xFF));
  out.push_back(static_cast<BYTE>(v >> 8));
}
void put32(std::vector<BYTE>& out, DWORD v) {
  put16(out, static_cast<WORD>(v & 0xFFFF));
  put16(out, static_cast<WORD>(v >> 16));
}
void putText(std::vector<BYTE>& out, const CString& text) {
  for (char16_t c : text.view()) put16(out, c);
  put16(out, 0);
}

HICON systemIconOf(UINT style) {
  switch (style & 0xF0) {
    case MB_ICONHAND: return LoadIconW(nullptr, IDI_HAND);
    case MB_ICONQUESTION: return LoadIconW(nullptr, IDI_QUESTION);
    case MB_ICONEXCLAMATION: return LoadIconW(nullptr, IDI_EXCLAMATION);
    case MB_ICONASTERISK: return LoadIconW(nullptr, IDI_ASTERISK);
    default: return nullptr;
  }
}

}  // namespace

CString xMessageBoxValueName(const CString& key, int number) {
  CString name;
  int position = 0;
  for (char16_t c : key.view()) {
    name += kNameTable[(static_cast<unsigned>(c) + 5u * static_cast<unsigned>(position)) % 64u];
    ++position;
  }
  name.AppendFormat(u"%d", number);
  return name;
}

int showXMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style, const XMessageBoxOptions* options,
                    HICON icon) {
  if (!owner) owner = GetLastActivePopup(GetActiveWindow());
  XMessageBoxOptions effective = options ? *options : XMessageBoxOptions();
  if ((style & MB_ICONHAND) && (style & MB_SYSTEMMODAL)) {
    return showMessageBox(owner, textArgument(text, effective.stringModule), textArgument(caption, effective.stringModule),
                          style);
  }
  if ((style & XMB_REMEMBER_BITS) && !effective.key.IsEmpty()) {
    DWORD answer = 0;
    if (readRemembered(effective, answer) && (answer & XMB_REMEMBER_BITS)) return static_cast<int>(answer);
  }
  if (effective.countdownSeconds >= 1000) effective.countdownSeconds = 10;
  if (effective.disabledSeconds >= 1000) effective.disabledSeconds = 10;
  CXDialogTemplate box(owner, text, caption, style, effective, icon);
  if (!(style & XMB_NOSOUND)) MessageBeep(style & 0xF0);
  return box.run();
}

// ---- CXDialogTemplate ----------------------------------------------------------------------------------

CXDialogTemplate::CXDialogTemplate(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style,
                                   const XMessageBoxOptions& options, HICON icon)
    : m_owner(owner), m_style(style), m_options(options), m_callerIcon(icon) {
  m_text = textArgument(text, options.stringModule);
  m_caption = textArgument(caption, options.stringModule);
  if (m_caption.IsEmpty()) m_caption = u"Error";
  build();
}

CXDialogTemplate::~CXDialogTemplate() {
  if (m_ownsIcon && m_icon) DestroyIcon(m_icon);
  if (m_font) DeleteObject(m_font);
}

CString CXDialogTemplate::buttonText(int id) const {
  for (const ButtonText& b : kButtonTexts) {
    if (b.id != id) continue;
    if (!(m_style & XMB_NORESOURCE) && m_options.stringModule) {
      CString text = moduleString(m_options.stringModule, b.moduleId);
      if (!text.IsEmpty()) return text;
    }
    return programString(b.programId);
  }
  return CString();
}

bool CXDialogTemplate::hasCancel() const { return std::find(m_buttons.begin(), m_buttons.end(), IDCANCEL) != m_buttons.end(); }

bool CXDialogTemplate::okOnly() const {
  return m_options.customButtons.IsEmpty() && (m_style & 0xF) == MB_OK;
}

void CXDialogTemplate::build() {
  // The message font, for measuring now and for every control when the box opens.
  m_font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  HDC dc = GetDC(nullptr);
  HGDIOBJ previous = dc ? SelectObject(dc, m_font) : nullptr;
  m_font = nullptr;  // a stock object: not ours to delete

  // Icon: the options' resource, else the system icon of the style's type.
  if (m_options.iconName) {
    m_icon = LoadIconW(m_options.iconModule ? m_options.iconModule : GetModuleHandleW(nullptr), m_options.iconName);
  }
  if (!m_icon) m_icon = systemIconOf(m_style);
  const int iconWidth = GetSystemMetrics(SM_CXICON);
  const int iconHeight = GetSystemMetrics(SM_CYICON);

  int maxTextWidth = GetSystemMetrics(SM_CXSCREEN) / 2 + 100;
  if (m_style & 0xF0) maxTextWidth -= iconWidth + 16;
  RECT measured{0, 0, maxTextWidth, 0};
  if (dc) DrawTextW(dc, m_text, m_text.GetLength(), &measured, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
  const int textLeft = m_icon ? 8 + iconWidth + kMargin : kMargin;
  RECT textRect{textLeft, kMargin, textLeft + (measured.right - measured.left) + 12,
                kMargin + (measured.bottom - measured.top) + 5};

  if (m_icon) m_controls.push_back({kStaticAtom, IDXMBICON, WS_CHILD | WS_VISIBLE | SS_ICON, {8, 8, 8 + iconWidth, 8 + iconHeight}, CString()});
  m_controls.push_back({kStaticAtom, IDXMBTEXT, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, textRect, m_text});

  // Buttons: custom texts (each returns its position), else the style's set.
  std::vector<CString> customTexts;
  if (!m_options.customButtons.IsEmpty()) {
    int start = 0;
    const CString& all = m_options.customButtons;
    while (start <= all.GetLength() && customTexts.size() < 4) {
      int end = all.Find(u'\n', start);
      if (end < 0) end = all.GetLength();
      customTexts.push_back(all.Mid(start, end - start));
      start = end + 1;
    }
    for (std::size_t i = 0; i < customTexts.size(); ++i) m_buttons.push_back(static_cast<int>(i) + 1);
  } else {
    switch (m_style & 0xF) {
      case MB_OKCANCEL: m_buttons = {IDOK, IDCANCEL}; break;
      case MB_ABORTRETRYIGNORE: m_buttons = {IDABORT, IDRETRY, IDIGNORE}; break;
      case MB_YESNOCANCEL:
      case MB_YESNO:
        m_buttons = {IDYES};
        if (m_style & XMB_YESTOALL) m_buttons.push_back(IDYESTOALL);
        m_buttons.push_back(IDNO);
        if (m_style & XMB_NOTOALL) m_buttons.push_back(IDNOTOALL);
        if ((m_style & 0xF) == MB_YESNOCANCEL) m_buttons.push_back(IDCANCEL);
        break;
      case MB_RETRYCANCEL: m_buttons = {IDRETRY, IDCANCEL}; break;
      case XMB_CANCELTRYCONTINUE: m_buttons = {IDCANCEL, IDTRYAGAIN, IDCONTINUE}; break;
      case XMB_CONTINUEABORT: m_buttons = {IDCONTINUE, IDABORT}; break;
      case XMB_SKIPSKIPALLCANCEL: m_buttons = {IDSKIP, IDSKIPALL, IDCANCEL}; break;
      case XMB_IGNOREIGNOREALLCANCEL: m_buttons = {IDIGNORE, IDIGNOREALL, IDCANCEL}; break;
      default: m_buttons = {IDOK}; break;
    }
  }
  const std::size_t setSize = m_buttons.size();
  if (m_style & MB_HELP) m_buttons.push_back(IDXMBHELP);
  if (m_options.reportFunction) m_buttons.push_back(IDXMBREPORT);

  std::size_t defaultIndex = (m_style & MB_DEFMASK) >> 8;
  if (defaultIndex >= m_buttons.size()) defaultIndex = 0;
  m_defaultId = m_buttons[defaultIndex];

  const int buttonWidth = m_options.countdownSeconds > 0 ? kCountdownButtonWidth : kButtonWidth;
  const int count = static_cast<int>(m_buttons.size());
  const int rowWidth = count * buttonWidth + (count - 1) * kButtonGap;
  const int contentBottom = std::max<int>(textRect.bottom, m_icon ? 8 + iconHeight : 0);
  int width = std::max({kMinimumWidth, static_cast<int>(textRect.right) + kMargin, rowWidth + 2 * kMargin});

  // The remembered-answer check box, one third wider than its text.
  CString checkText;
  if (m_style & XMB_DONOTASKAGAIN) checkText = programString(IDS_XMB_DONT_ASK_AGAIN);
  else if (m_style & XMB_DONOTTELLAGAIN) checkText = programString(IDS_XMB_DONT_TELL_AGAIN);
  else if (m_style & XMB_DONOTSHOWAGAIN) checkText = programString(IDS_XMB_DONT_SHOW_AGAIN);
  if (!(m_style & XMB_NORESOURCE) && m_options.stringModule && (m_style & XMB_REMEMBER_BITS)) {
    const UINT moduleId = (m_style & XMB_DONOTASKAGAIN) ? 9010 : (m_style & XMB_DONOTTELLAGAIN) ? 9011 : 9012;
    CString fromModule = moduleString(m_options.stringModule, moduleId);
    if (!fromModule.IsEmpty()) checkText = fromModule;
  }
  int checkWidth = 0;
  if (m_style & XMB_REMEMBER_BITS) {
    SIZE extent{};
    if (dc) GetTextExtentPoint32W(dc, checkText, checkText.GetLength(), &extent);
    checkWidth = (extent.cx + 20) * 4 / 3;  // box glyph and gap included
    width = std::max(width, 17 + checkWidth + kMargin);
  }

  const int buttonTop = contentBottom + kMargin;
  int x = m_options.rightJustifyButtons ? width - kMargin - rowWidth : (width - rowWidth) / 2;
  for (std::size_t i = 0; i < m_buttons.size(); ++i) {
    const int id = m_buttons[i];
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (id == m_defaultId ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    CString text = i < customTexts.size() && i < setSize && !customTexts.empty() ? customTexts[i] : buttonText(id);
    if (id == IDXMBREPORT && !m_options.reportCaption.IsEmpty()) text = m_options.reportCaption;
    m_controls.push_back({kButtonAtom, id, style, {x, buttonTop, x + buttonWidth, buttonTop + kButtonHeight}, text});
    x += buttonWidth + kButtonGap;
  }
  int bottom = buttonTop + kButtonHeight;
  if (m_style & XMB_REMEMBER_BITS) {
    const int top = bottom + 10;
    m_controls.push_back({kButtonAtom, IDXMBCHECKBOX, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
                          {17, top, 17 + checkWidth, top + 16}, checkText});
    bottom = top + 16;
  }
  m_size = {width, bottom + kMargin};
  if (dc) {
    SelectObject(dc, previous);
    ReleaseDC(nullptr, dc);
  }
}

std::vector<BYTE> CXDialogTemplate::templateBytes() const {
  const LONG units = GetDialogBaseUnits();
  const int baseX = std::max(1, static_cast<int>(LOWORD(units)));
  const int baseY = std::max(1, static_cast<int>(HIWORD(units)));
  auto dluX = [&](LONG v) { return static_cast<WORD>(static_cast<short>(v * 4 / baseX)); };
  auto dluY = [&](LONG v) { return static_cast<WORD>(static_cast<short>(v * 8 / baseY)); };

  std::vector<BYTE> out;
  const DWORD style = kBoxStyle | ((m_style & MB_SYSTEMMODAL) ? DS_SYSMODAL : 0);
  put32(out, style);
  put32(out, 0);
  put16(out, static_cast<WORD>(m_controls.size()));
  put16(out, 0);
  put16(out, 0);
  put16(out, dluX(m_size.cx));
  put16(out, dluY(m_size.cy));
  put16(out, 0);  // no menu
  put16(out, 0);  // the default class
  putText(out, m_caption);
  for (const Control& c : m_controls) {
    while (out.size() % 4) out.push_back(0);
    put32(out, c.style);
    put32(out, 0);
    put16(out, dluX(c.rect.left));
    put16(out, dluY(c.rect.top));
    put16(out, dluX(c.rect.right - c.rect.left));
    put16(out, dluY(c.rect.bottom - c.rect.top));
    put16(out, static_cast<WORD>(c.id));
    put16(out, 0xFFFF);
    put16(out, c.classAtom);
    // Control texts are at most 1023 characters in the template; the message text goes in full
    // when the box opens.
    putText(out, c.text.GetLength() > 1023 ? c.text.Left(1023) : c.text);
    put16(out, 0);  // no creation data
  }
  return out;
}

int CXDialogTemplate::run() {
  const std::vector<BYTE> bytes = templateBytes();
  m_countdown = m_options.countdownSeconds;
  m_disabled = m_options.disabledSeconds;
  const INT_PTR result =
      DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), m_owner,
                              &CXDialogTemplate::dialogProc, reinterpret_cast<LPARAM>(this));
  return static_cast<int>(result);
}

INT_PTR CALLBACK CXDialogTemplate::dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) SetWindowLongPtrW(dialog, DWLP_USER, lParam);
  auto* self = reinterpret_cast<CXDialogTemplate*>(GetWindowLongPtrW(dialog, DWLP_USER));
  return self ? self->handle(dialog, message, wParam, lParam) : FALSE;
}

void CXDialogTemplate::onInit(HWND dialog) {
  if (m_callerIcon) SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_callerIcon));
  if (m_icon) SendDlgItemMessageW(dialog, IDXMBICON, STM_SETICON, reinterpret_cast<WPARAM>(m_icon), 0);
  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  for (const Control& c : m_controls) SendDlgItemMessageW(dialog, c.id, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  SetDlgItemTextW(dialog, IDXMBTEXT, m_text);
  CheckDlgButton(dialog, IDXMBCHECKBOX, BST_UNCHECKED);
  if (m_disabled > 0) {
    for (int id = 1; id <= 26; ++id)
      if (HWND button = GetDlgItem(dialog, id)) EnableWindow(button, FALSE);
  }
  if (HWND button = GetDlgItem(dialog, m_defaultId)) SetFocus(button);
  if (m_options.topmost) SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  if (m_options.foreground) SetForegroundWindow(dialog);
  if (m_options.x || m_options.y) {
    SetWindowPos(dialog, nullptr, m_options.x, m_options.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  } else {
    RECT box{}, around{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    GetWindowRect(dialog, &box);
    if (m_owner && IsWindow(m_owner)) GetWindowRect(m_owner, &around);
    const int x = around.left + ((around.right - around.left) - (box.right - box.left)) / 2;
    const int y = around.top + ((around.bottom - around.top) - (box.bottom - box.top)) / 2;
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }
  if (m_countdown > 0) {
    WCHAR caption[256] = {};
    const int length = GetDlgItemTextW(dialog, m_defaultId, caption, 256);
    m_defaultCaption = CString(caption, std::max(0, length));
    SetTimer(dialog, kCountdownTimer, 1000, nullptr);
  }
  if (m_disabled > 0) SetTimer(dialog, kDisabledTimer, static_cast<UINT>(m_disabled) * 1000, nullptr);
}

void CXDialogTemplate::stopCountdown(HWND dialog) {
  if (m_countdown <= 0) return;
  m_countdown = 0;
  KillTimer(dialog, kCountdownTimer);
  SetDlgItemTextW(dialog, m_defaultId, m_defaultCaption);
}

void CXDialogTemplate::finish(HWND dialog, int id, int extraBits) {
  int result = id;
  if (IsDlgButtonChecked(dialog, IDXMBCHECKBOX) == BST_CHECKED) {
    result |= static_cast<int>(m_style & XMB_REMEMBER_BITS);
    if (!m_options.key.IsEmpty()) writeRemembered(m_options, static_cast<DWORD>(result));
  }
  KillTimer(dialog, kCountdownTimer);
  KillTimer(dialog, kDisabledTimer);
  EndDialog(dialog, result | extraBits);
}

INT_PTR CXDialogTemplate::handle(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      onInit(dialog);
      return FALSE;  // the focus is set
    case WM_TIMER:
      if (wParam == kCountdownTimer && m_countdown > 0) {
        if (--m_countdown == 0) {
          KillTimer(dialog, kCountdownTimer);
          SetDlgItemTextW(dialog, m_defaultId, m_defaultCaption);
          finish(dialog, m_defaultId, static_cast<int>(XMB_TIMEOUT));
        } else {
          SetDlgItemTextW(dialog, m_defaultId, formatMessageText(u"%s = %d", m_defaultCaption, m_countdown));
        }
        return TRUE;
      }
      if (wParam == kDisabledTimer) {
        KillTimer(dialog, kDisabledTimer);
        m_disabled = 0;
        for (int id = 1; id <= 26; ++id) {
          HWND button = GetDlgItem(dialog, id);
          WCHAR className[16] = {};
          if (button && GetClassNameW(button, className, 16) && CString(className).CompareNoCase(u"Button") == 0)
            EnableWindow(button, TRUE);
        }
        RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
        return TRUE;
      }
      return FALSE;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
      stopCountdown(dialog);
      return FALSE;
    case WM_COMMAND: {
      stopCountdown(dialog);
      const int id = LOWORD(wParam);
      if (id == IDXMBCHECKBOX) return TRUE;
      if (id == IDXMBREPORT) {
        if (m_options.reportFunction) m_options.reportFunction(m_options.reportArgument);
        return TRUE;
      }
      if (id == IDXMBHELP) return TRUE;  // there is no help file viewer for ".hlp" files here
      if (m_disabled > 0) return TRUE;   // buttons are still held
      const bool fromButton = lParam != 0;
      if (id == IDCANCEL && !fromButton) {
        // Escape or Close.
        if (hasCancel()) finish(dialog, IDCANCEL);
        else if (okOnly()) finish(dialog, IDOK);
        return TRUE;
      }
      if (std::find(m_buttons.begin(), m_buttons.end(), id) != m_buttons.end()) finish(dialog, id);
      return TRUE;
    }
    default:
      return FALSE;
  }
}
