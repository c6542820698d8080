// The login panel: its page, its size rule and its link protocol.
#include "ui/login_panel.h"

#include <string>

#include "app/app_messages.h"
#include "app/customizer_doc.h"
#include "app/document_host_services.h"
#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/preference_file.h"
#include "app/profile_database.h"
#include "app/program_texts.h"
#include "app/system_profile.h"
#include "app/windows_helpers.h"
#include "lang/ids.h"
#include "platform/afx/ddx.h"
#include "platform/base/text.h"
#include "platform/win32/locale.h"
#include "platform/win32/resource.h"
#include "platform/win32/win32.h"
#include "snapins/customizer.h"
#include "snapins/wallpaper_customizer.h"
#include "ui/dialog_support.h"
#include "ui/login_host.h"

namespace {

constexpr int kEmptyWidth = 340;
constexpr int kEmptyHeight = 215;
constexpr int kColumnWidth = 153;
constexpr int kPanelHeight = 150;
constexpr int kScrollingHeight = 165;
constexpr int kThumbWidth = 128;
constexpr int kThumbHeight = 96;
constexpr char16_t kLinkMark[] = u"**";
constexpr char16_t kSynchronizeWord[] = u"qx_synchronize";
constexpr char16_t kNoPreviewWord[] = u"qx_nopreview";

CString loadTemplate(LPCWSTR name) {
  HMODULE module = AfxGetInstanceHandle();
  HRSRC found = FindResourceW(module, name, u"HTMLTYPE");
  if (!found) return CString();
  HGLOBAL data = LoadResource(module, found);
  const char* bytes = data ? static_cast<const char*>(LockResource(data)) : nullptr;
  const int size = static_cast<int>(SizeofResource(module, found));
  if (!bytes || size <= 0) return CString();
  const int length = MultiByteToWideChar(CP_ACP, 0, bytes, size, nullptr, 0);
  if (length <= 0) return CString();
  std::u16string text(static_cast<std::size_t>(length), u'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes, size, text.data(), length);
  return CString(text.c_str(), length);
}

bool replaceFirst(CString& text, const CString& marker, const CString& with) {
  const int at = text.Find(marker);
  if (at < 0) return false;
  text = text.Left(at) + with + text.Mid(at + marker.GetLength());
  return true;
}

int hexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

}  // namespace

BEGIN_MESSAGE_MAP(CLoginPanel, CDialog)
  ON_WM_SIZE()
END_MESSAGE_MAP()

BEGIN_EVENTSINK_MAP(CLoginPanel, CDialog)
  ON_EVENT(CLoginPanel, IDC_LOGIN_BROWSER, 250, OnBeforeNavigate2,
           VTS_DISPATCH VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PBOOL)
END_EVENTSINK_MAP()

CLoginPanel::CLoginPanel() : CDialog(IDD_LOGIN_PANEL) {}

void CLoginPanel::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_LOGIN_BROWSER, m_browser);
}

BOOL CLoginPanel::OnInitDialog() {
  CDialog::OnInitDialog();
  setDialogBigIcon(*this);
  m_browser.SetRegisterAsDropTarget(FALSE);
  navigate();
  return TRUE;
}

void CLoginPanel::OnSize(UINT type, int cx, int cy) {
  CDialog::OnSize(type, cx, cy);
  if (m_hWnd && m_browser.m_hWnd) m_browser.MoveWindow(0, 0, cx, cy, TRUE);
}

int CLoginPanel::countListedComputers() {
  CProfileDatabase& database = getProfileDatabase();
  database.getThisComputerProfile();
  int count = 0;
  for (int i = 0; i < database.getProfileCount(); ++i)
    if (database.getProfile(i)->deviceFolderExists()) ++count;
  return count;
}

bool CLoginPanel::getPanelSize(int& width, int& height) {
  const int n = countListedComputers();
  if (n < 1) {
    width = kEmptyWidth;
    height = kEmptyHeight;
  } else {
    width = n * kColumnWidth;
    height = kPanelHeight;
  }
  int screenWidth = 0, screenHeight = 0;
  if (getScreenResolution(screenWidth, screenHeight) && width > screenWidth) {
    width = screenWidth;
    height = kScrollingHeight;
    m_needsHScroll = true;
  }
  return true;
}

bool CLoginPanel::needsHorizontalScroll() {
  int width = 0, height = 0;
  getPanelSize(width, height);
  return m_needsHScroll;
}

CString CLoginPanel::loginPagePath() { return joinPath(CFolderLookup::getCompanyAppDataPath(), CString(u"login.html")); }

CString CLoginPanel::noLoginPagePath() {
  return joinPath(joinPath(CFolderLookup::getCompanyAppDataPath(), CString(kProductName)), CString(u"nologin.html"));
}

CString CLoginPanel::encodeLinkWord(const CString& word) {
  static const char kHex[] = "0123456789ABCDEF";
  const std::string bytes = platform::text::toUtf8(std::u16string_view(word.GetString(), word.GetLength()));
  CString out;
  for (unsigned char b : bytes) {
    const bool plain = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '-' ||
                       b == '.' || b == '_' || b == '~';
    if (plain) {
      out += static_cast<WCHAR>(b);
    } else {
      out += u'%';
      out += static_cast<WCHAR>(kHex[b >> 4]);
      out += static_cast<WCHAR>(kHex[b & 15]);
    }
  }
  return out;
}

// Escapes are UTF-8 bytes; characters that arrive unescaped (a browser may hand them over as they
// stand in the page) are kept. A "%" not followed by two hex digits stays as it is.
CString CLoginPanel::decodeLinkWord(const CString& word) {
  std::u16string out;
  std::string pending;
  auto flush = [&] {
    if (!pending.empty()) out += platform::text::fromUtf8(pending);
    pending.clear();
  };
  const int n = word.GetLength();
  for (int i = 0; i < n; ++i) {
    const char16_t c = word[i];
    if (c == u'%' && i + 2 < n && hexValue(word[i + 1]) >= 0 && hexValue(word[i + 2]) >= 0) {
      pending += static_cast<char>(hexValue(word[i + 1]) * 16 + hexValue(word[i + 2]));
      i += 2;
      continue;
    }
    flush();
    out += c;
  }
  flush();
  return CString(out.c_str(), static_cast<int>(out.size()));
}

CString CLoginPanel::escapeHtml(const CString& text) {
  CString out;
  for (int i = 0; i < text.GetLength(); ++i) {
    switch (text[i]) {
      case u'&': out += u"&amp;"; break;
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case u'"': out += u"&quot;"; break;
      default: out += text[i];
    }
  }
  return out;
}

bool CLoginPanel::generateLoginHtml(int& count) {
  count = 0;
  try {
    CString page = loadTemplate(needsHorizontalScroll() ? u"HTML_LOGIN_HSCROLL" : u"HTML_LOGIN");
    if (page.IsEmpty()) return false;
    // Until the wallpaper snap-in is among the document's, every computer gets the no-preview cell.
    CWallpaperCustomizer* wallpapers = nullptr;
    if (CCustomizerDoc* document = loginHost().document())
      wallpapers = dynamic_cast<CWallpaperCustomizer*>(document->findCustomizer(CString(u"Wallpaper")));

    CString screenshots, nicknames;
    CProfileDatabase& database = getProfileDatabase();
    for (int i = 0; i < database.getProfileCount(); ++i) {
      CSystemProfile* profile = database.getProfile(i);
      if (!profile->deviceFolderExists()) continue;
      const CString link = encodeLinkWord(profile->m_nickname);
      const CString shown = escapeHtml(profile->m_nickname);
      const CString image = wallpapers ? wallpapers->getComputerWallpaperPath(profile) : CString();
      const CString extension = getFileExtension(image);
      if (!image.IsEmpty() && fileExists(image) && extension.CompareNoCase(u".html") != 0 &&
          extension.CompareNoCase(u".htm") != 0) {
        screenshots += formatMessageText(
            u"<td><a href=\"**%s\"><img src=\"%s\" width=\"%d\" height=\"%d\" border=\"0\"></a></td>\r\n", link,
            escapeHtml(image), kThumbWidth, kThumbHeight);
      } else {
        screenshots += formatMessageText(
            u"<td width = \"%d\" height=\"%d\"><center><a href=\"**qx_nopreview\">%s</a></center></td>\r\n",
            kThumbWidth, kThumbHeight, loadResString(IDS_LOGIN_NO_PREVIEW));
      }
      nicknames += formatMessageText(u"<td NOWRAP><center><a href=\"**%s\">%s</a></td>\r\n", link, shown);
      ++count;
    }
    if (!replaceFirst(page, CString(u"<screenshots>"), screenshots)) return false;
    if (!replaceFirst(page, CString(u"<nicknames>"), nicknames)) return false;

    const CString path = loginPagePath();
    createDirectoryTree(CFolderLookup::getCompanyAppDataPath());
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const std::string bytes = platform::text::toUtf8(std::u16string_view(page.GetString(), page.GetLength()));
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    CloseHandle(file);
    if (!ok) return false;
    m_computerCount = count;
    return true;
  } catch (...) {
    writeLog(u"{CLoginPanel::generateLoginHtml}: Caught undefined exception.");
    return false;
  }
}

void CLoginPanel::navigate() {
  const CString path = m_computerCount < 1 ? noLoginPagePath() : loginPagePath();
  m_browser.Navigate(CString(u"file://") + toForwardSlashes(path), nullptr, nullptr, nullptr, nullptr);
}

void CLoginPanel::OnBeforeNavigate2(LPDISPATCH, VARIANT* url, VARIANT*, VARIANT*, VARIANT*, VARIANT*, BOOL* cancel) {
  if (!url || url->vt != VT_BSTR || !url->bstrVal) return;
  followLink(CString(url->bstrVal), cancel);
}

void CLoginPanel::followLink(const CString& url, BOOL* cancel) {
  const int mark = url.Find(kLinkMark);
  if (mark < 0) return;
  const CString word = decodeLinkWord(url.Mid(mark + 2));
  if (cancel) *cancel = TRUE;
  if (word == kSynchronizeWord) {
    if (HWND view = loginHost().viewWindow()) PostMessageW(view, WM_COMMAND, ID_POPUP_SYNCHRONIZE, 0);
    documentHostServices().postAppMessage(new CLoginMessage(CLoginMessage::kSynchronizeLink));
    return;
  }
  if (word == kNoPreviewWord) {
    showMessageById(IDS_LOGIN_NO_PREVIEW_WHY, deviceDisplayName());
    return;
  }
  CProfileDatabase& database = getProfileDatabase();
  m_selectedProfile = database.findByNickname(word);
  if (!m_selectedProfile) return;
  if (m_selectedProfile != database.getThisComputerProfile()) {
    documentHostServices().postAppMessage(new CLoginMessage(m_selectedProfile));
    return;
  }
  bool allowed = false;
  CPreferenceFile& prefs = getDevicePrefs();
  if (prefs.openRoot()) prefs.getBool(u"allowLoginThisComputer", allowed);
  if (allowed)
    documentHostServices().postAppMessage(new CLoginMessage(m_selectedProfile));
  else
    showMessageById(IDS_LOGIN_THIS_COMPUTER, m_selectedProfile->m_nickname, deviceDisplayName());
}
