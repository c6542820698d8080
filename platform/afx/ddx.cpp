// Dialog data exchange: moving values between controls and members, the checks on what the
// user typed, and the messages that tell the user what is wrong.
#include "platform/afx/ddx.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>

#include "platform/afx/app.h"
#include "platform/afx/exception.h"
#include "platform/afx/wnd.h"
#include "platform/base/text.h"
#include "platform/win32/controls_msg.h"

namespace {

// What the user is told, in one place.
constexpr const char16_t* kParseInt = u"Please enter an integer.";
constexpr const char16_t* kParseUInt = u"Please enter a positive integer.";
constexpr const char16_t* kParseReal = u"Please enter a number.";
constexpr const char16_t* kRangeInt = u"Please enter an integer between %d and %d.";
constexpr const char16_t* kRangeUInt = u"Please enter an integer between %u and %u.";
constexpr const char16_t* kMaxChars = u"Please enter no more than %d characters.";
constexpr UINT kMbIconExclamation = 0x30;

CString windowText(HWND h) {
  CWnd tmp;
  tmp.m_hWnd = h;
  CString s;
  tmp.GetWindowText(s);
  tmp.m_hWnd = nullptr;
  return s;
}

std::u16string className(HWND h) {
  WCHAR name[64] = {0};
  int n = GetClassNameW(h, name, 64);
  return std::u16string(name, static_cast<std::size_t>(n > 0 ? n : 0));
}

// A decimal number with optional blanks around it and an optional sign (only '-' when signed).
bool parseInteger(const CString& text, bool isSigned, long long& out) {
  std::string narrow = platform::text::toUtf8(text.view());
  const char* p = narrow.c_str();
  while (*p == ' ' || *p == '\t') ++p;
  if (!isSigned && *p == '-') return false;
  if (!(*p == '-' || *p == '+' || (*p >= '0' && *p <= '9'))) return false;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(p, &end, 10);
  if (end == p || errno == ERANGE) return false;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end) return false;
  out = v;
  return true;
}

[[noreturn]] void failWith(CDataExchange* pDX, const CString& message) {
  AfxMessageBox(message, kMbIconExclamation);
  pDX->Fail();
}

template <class T>
void exchangeInteger(CDataExchange* pDX, int nIDC, T& value, long long min, long long max, bool isSigned,
                     const char16_t* parseError) {
  HWND h = pDX->PrepareEditCtrl(nIDC);
  if (pDX->m_bSaveAndValidate) {
    long long v = 0;
    if (!parseInteger(windowText(h), isSigned, v) || v < min || v > max) failWith(pDX, CString(parseError));
    value = static_cast<T>(v);
  } else {
    SetWindowTextW(h, platform::text::fromUtf8(std::to_string(value)).c_str());
  }
}

bool isRadioButton(HWND h) {
  if (SendMessageW(h, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) return true;
  if (!platform::text::equalNoCase(className(h), u"Button")) return false;
  DWORD kind = static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE)) & 0x0F;
  return kind == 0x04 || kind == 0x09;  // BS_RADIOBUTTON, BS_AUTORADIOBUTTON
}

}  // namespace

CDataExchange::CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
    : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

HWND CDataExchange::PrepareCtrl(int nIDC) {
  HWND h = ::GetDlgItem(m_pDlgWnd->m_hWnd, nIDC);
  // A DoDataExchange naming a control the dialog does not have is a programming error.
  if (!h) AfxThrowNotSupportedException();
  m_hWndLastControl = h;
  m_bEditLastControl = FALSE;
  return h;
}

HWND CDataExchange::PrepareEditCtrl(int nIDC) {
  HWND h = PrepareCtrl(nIDC);
  m_bEditLastControl = TRUE;
  return h;
}

void CDataExchange::Fail() {
  if (m_bSaveAndValidate && m_hWndLastControl) {
    ::SetFocus(m_hWndLastControl);
    if (m_bEditLastControl) ::SendMessageW(m_hWndLastControl, EM_SETSEL, 0, static_cast<LPARAM>(-1));
  }
  AfxThrowUserException();
}

void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, CString& value) {
  HWND h = pDX->PrepareEditCtrl(nIDC);
  if (pDX->m_bSaveAndValidate) value = windowText(h);
  else SetWindowTextW(h, value);
}

void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, int& value) {
  exchangeInteger(pDX, nIDC, value, INT_MIN, INT_MAX, true, kParseInt);
}
void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, long& value) {
  exchangeInteger(pDX, nIDC, value, INT_MIN, INT_MAX, true, kParseInt);
}
void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, UINT& value) {
  exchangeInteger(pDX, nIDC, value, 0, UINT_MAX, false, kParseUInt);
}

void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, double& value) {
  HWND h = pDX->PrepareEditCtrl(nIDC);
  if (pDX->m_bSaveAndValidate) {
    std::string narrow = platform::text::toUtf8(windowText(h).view());
    const char* p = narrow.c_str();
    char* end = nullptr;
    double v = std::strtod(p, &end);
    while (end && (*end == ' ' || *end == '\t')) ++end;
    if (end == p || !end || *end || !std::isfinite(v)) failWith(pDX, CString(kParseReal));
    value = v;
  } else {
    CString s;
    s.Format(u"%.15g", value);
    SetWindowTextW(h, s);
  }
}

void AFXAPI DDX_Check(CDataExchange* pDX, int nIDC, int& value) {
  HWND h = pDX->PrepareCtrl(nIDC);
  if (pDX->m_bSaveAndValidate) value = static_cast<int>(SendMessageW(h, BM_GETCHECK, 0, 0));
  else SendMessageW(h, BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

void AFXAPI DDX_Radio(CDataExchange* pDX, int nIDC, int& value) {
  HWND first = pDX->PrepareCtrl(nIDC);
  if (pDX->m_bSaveAndValidate) value = -1;
  int index = 0;
  for (HWND h = first; h; h = GetWindow(h, GW_HWNDNEXT)) {
    if (h != first && (GetWindowLongW(h, GWL_STYLE) & WS_GROUP)) break;
    if (!isRadioButton(h)) continue;
    if (pDX->m_bSaveAndValidate) {
      if (SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED) value = index;
    } else {
      SendMessageW(h, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    ++index;
  }
}

void AFXAPI DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
  if (rControl.m_hWnd) return;
  HWND h = pDX->PrepareCtrl(nIDC);
  if (!rControl.SubclassWindow(h)) AfxThrowNotSupportedException();
}

void AFXAPI DDX_CBIndex(CDataExchange* pDX, int nIDC, int& index) {
  HWND h = pDX->PrepareCtrl(nIDC);
  if (pDX->m_bSaveAndValidate) index = static_cast<int>(SendMessageW(h, CB_GETCURSEL, 0, 0));
  else SendMessageW(h, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

namespace {
CString listText(HWND h, UINT lenMsg, UINT textMsg, LRESULT index) {
  LRESULT n = SendMessageW(h, lenMsg, static_cast<WPARAM>(index), 0);
  if (n < 0) return CString();
  std::u16string buffer(static_cast<std::size_t>(n) + 1, u'\0');
  LRESULT got = SendMessageW(h, textMsg, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
  buffer.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  return CString(std::move(buffer));
}
}  // namespace

void AFXAPI DDX_CBString(CDataExchange* pDX, int nIDC, CString& value) {
  HWND h = pDX->PrepareCtrl(nIDC);
  const DWORD kind = static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE)) & 0x03;  // CBS_DROPDOWNLIST is 3
  if (pDX->m_bSaveAndValidate) {
    if (kind == 0x03) {
      LRESULT sel = SendMessageW(h, CB_GETCURSEL, 0, 0);
      value = sel == CB_ERR ? CString() : listText(h, CB_GETLBTEXTLEN, CB_GETLBTEXT, sel);
    } else {
      value = windowText(h);
    }
  } else {
    LRESULT found = SendMessageW(h, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(value.GetString()));
    if (found == CB_ERR && kind != 0x03) SetWindowTextW(h, value);
  }
}

void AFXAPI DDX_CBStringExact(CDataExchange* pDX, int nIDC, CString& value) {
  HWND h = pDX->PrepareCtrl(nIDC);
  if (pDX->m_bSaveAndValidate) {
    DDX_CBString(pDX, nIDC, value);
    return;
  }
  LRESULT found =
      SendMessageW(h, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(value.GetString()));
  if (found != CB_ERR) SendMessageW(h, CB_SETCURSEL, static_cast<WPARAM>(found), 0);
  else if ((GetWindowLongW(h, GWL_STYLE) & 0x03) != 0x03) SetWindowTextW(h, value);
}

void AFXAPI DDX_LBIndex(CDataExchange* pDX, int nIDC, int& index) {
  HWND h = pDX->PrepareCtrl(nIDC);
  if (pDX->m_bSaveAndValidate) index = static_cast<int>(SendMessageW(h, LB_GETCURSEL, 0, 0));
  else SendMessageW(h, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void AFXAPI DDX_LBString(CDataExchange* pDX, int nIDC, CString& value) {
  HWND h = pDX->PrepareCtrl(nIDC);
  if (pDX->m_bSaveAndValidate) {
    LRESULT sel = SendMessageW(h, LB_GETCURSEL, 0, 0);
    value = sel == LB_ERR ? CString() : listText(h, LB_GETTEXTLEN, LB_GETTEXT, sel);
  } else {
    LRESULT found =
        SendMessageW(h, LB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(value.GetString()));
    SendMessageW(h, LB_SETCURSEL, static_cast<WPARAM>(found == LB_ERR ? -1 : found), 0);
  }
}

void AFXAPI DDV_MaxChars(CDataExchange* pDX, const CString& value, int nChars) {
  if (pDX->m_bSaveAndValidate) {
    if (value.GetLength() > nChars) {
      CString message;
      message.Format(kMaxChars, nChars);
      failWith(pDX, message);
    }
    return;
  }
  HWND h = pDX->m_hWndLastControl;
  if (!h) return;
  if (platform::text::equalNoCase(className(h), u"ComboBox")) SendMessageW(h, CB_LIMITTEXT, static_cast<WPARAM>(nChars), 0);
  else if (pDX->m_bEditLastControl) SendMessageW(h, EM_LIMITTEXT, static_cast<WPARAM>(nChars), 0);
}

namespace {
template <class T>
void checkRange(CDataExchange* pDX, T value, T minVal, T maxVal, const char16_t* format) {
  if (!pDX->m_bSaveAndValidate || (value >= minVal && value <= maxVal)) return;
  CString message;
  message.Format(format, minVal, maxVal);
  failWith(pDX, message);
}
}  // namespace

void AFXAPI DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal) {
  checkRange(pDX, value, minVal, maxVal, kRangeInt);
}
void AFXAPI DDV_MinMaxUInt(CDataExchange* pDX, UINT value, UINT minVal, UINT maxVal) {
  checkRange(pDX, value, minVal, maxVal, kRangeUInt);
}
void AFXAPI DDV_MinMaxLong(CDataExchange* pDX, long value, long minVal, long maxVal) {
  checkRange(pDX, value, minVal, maxVal, u"Please enter an integer between %ld and %ld.");
}
