// The Internet shortcut object (CLSID_InternetShortcut): holds one URL and opens it through the
// shell, so what happens is what ShellExecuteExW does with that URL (recorded by the host's
// shell, refused when no program handles the scheme).
#include <cstring>
#include <string>

#include "platform/base/text.h"
#include "platform/com/controls.h"
#include "platform/com/runtime.h"
#include "platform/win32/error.h"
#include "platform/win32/shell_execute.h"
#include "platform/win32/window.h"

namespace platform::com {
namespace {

// The scheme's end: "name:" with a name of two characters or more (one letter is a drive).
bool hasScheme(std::u16string_view s) {
  const std::size_t colon = s.find(u':');
  if (colon == std::u16string_view::npos || colon < 2) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    const char16_t c = s[i];
    const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    if (!letter && !(i > 0 && ((c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.'))) return false;
  }
  return true;
}

class InternetShortcut final : public SingleInterface<IUniformResourceLocatorW> {
 public:
  HRESULT STDMETHODCALLTYPE SetURL(LPCWSTR url, DWORD flags) override {
    if (!url) {
      url_.clear();
      return S_OK;
    }
    std::u16string u(text::view(url));
    while (!u.empty() && (u.front() == u' ' || u.front() == u'\t')) u.erase(u.begin());
    while (!u.empty() && (u.back() == u' ' || u.back() == u'\t')) u.pop_back();
    if (!hasScheme(u)) {
      if (!(flags & (IURL_SETURL_FL_GUESS_PROTOCOL | IURL_SETURL_FL_USE_DEFAULT_PROTOCOL)) || u.empty())
        return URL_E_INVALID_SYNTAX;
      u = u"http://" + u;
    }
    url_ = std::move(u);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetURL(LPWSTR* url) override {
    if (!url) return E_POINTER;
    *url = nullptr;
    if (url_.empty()) return S_FALSE;
    auto* out = static_cast<LPWSTR>(CoTaskMemAlloc((url_.size() + 1) * sizeof(WCHAR)));
    if (!out) return E_OUTOFMEMORY;
    std::memcpy(out, url_.c_str(), (url_.size() + 1) * sizeof(WCHAR));
    *url = out;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE InvokeCommand(PURLINVOKECOMMANDINFOW info) override {
    if (!info || info->dwcbSize < sizeof(URLINVOKECOMMANDINFOW)) return E_INVALIDARG;
    if (url_.empty()) return E_INVALIDARG;
    const bool defaultVerb = (info->dwFlags & IURL_INVOKECOMMAND_FL_USE_DEFAULT_VERB) || !info->pcszVerb;
    SHELLEXECUTEINFOW sei{};
    sei.cbSize = sizeof sei;
    sei.fMask = (info->dwFlags & IURL_INVOKECOMMAND_FL_ALLOW_UI) ? 0 : SEE_MASK_FLAG_NO_UI;
    sei.hwnd = info->hwndParent;
    sei.lpVerb = defaultVerb ? u"open" : info->pcszVerb;
    sei.lpFile = url_.c_str();
    sei.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&sei)) return S_OK;
    const DWORD e = GetLastError();
    if (e == ERROR_NO_ASSOCIATION) return URL_E_UNREGISTERED_PROTOCOL;
    return HRESULT_FROM_WIN32(e ? e : ERROR_GEN_FAILURE);
  }

 private:
  std::u16string url_;
};

HRESULT createInternetShortcut(REFIID riid, void** object) {
  auto* p = new InternetShortcut();
  HRESULT hr = p->QueryInterface(riid, object);
  p->Release();
  return hr;
}

const RegisterClass internetShortcutClass{CLSID_InternetShortcut, u"InternetShortcut", &createInternetShortcut};

}  // namespace
}  // namespace platform::com
