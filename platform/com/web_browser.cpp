// The web browser control: navigation of local HTML files with its cancellable BeforeNavigate2,
// the page's links read by an HTML parser (nothing runs, nothing is fetched), a document that can
// be asked to print (a print job in the host's record), and links followed on request from
// another process (the registered follow message, see controls.h).
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/com/bstr.h"
#include "platform/com/control_base.h"
#include "platform/com/runtime.h"
#include "platform/com/xml/server.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/gdi.h"
#include "platform/win32/message.h"
#include "platform/win32/process.h"
#include "platform/win32/shell_execute.h"
#include "platform/win32/window.h"

namespace platform::com {
namespace {

// A page larger than this is not read (the product's pages are a few kilobytes).
constexpr LONGLONG kMaxPageBytes = 16 << 20;

bool startsWithNoCase(std::u16string_view s, std::u16string_view prefix) {
  return s.size() >= prefix.size() && text::equalNoCase(s.substr(0, prefix.size()), prefix);
}

bool isDriveLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// "name:" at the start, the name two characters or more (one letter is a drive).
bool hasScheme(std::u16string_view s) {
  const std::size_t colon = s.find(u':');
  if (colon == std::u16string_view::npos || colon < 2) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    const char16_t c = s[i];
    const bool ok = isDriveLetter(c) || (i > 0 && ((c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.'));
    if (!ok) return false;
  }
  return true;
}

int hexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// The Windows path a local address names ("file:" URL, a drive path or a UNC path); empty for
// any other address. A file URL's %XX escapes stand for bytes of UTF-8.
std::u16string localPath(std::u16string_view url) {
  if (url.size() >= 3 && isDriveLetter(url[0]) && url[1] == u':' && (url[2] == u'\\' || url[2] == u'/')) {
    std::u16string p(url);
    std::replace(p.begin(), p.end(), u'/', u'\\');
    return p;
  }
  if (url.size() > 2 && url[0] == u'\\' && url[1] == u'\\') return std::u16string(url);
  if (!startsWithNoCase(url, u"file:")) return {};
  std::u16string_view rest = url.substr(5);
  const std::size_t cut = rest.find_first_of(u"?#");
  if (cut != std::u16string_view::npos) rest = rest.substr(0, cut);
  std::string bytes;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == u'%' && i + 2 < rest.size() + 0 && hexValue(rest[i + 1]) >= 0 && hexValue(rest[i + 2]) >= 0) {
      bytes += static_cast<char>(hexValue(rest[i + 1]) * 16 + hexValue(rest[i + 2]));
      i += 2;
    } else {
      bytes += text::toUtf8(rest.substr(i, 1));
    }
  }
  std::u16string p = text::fromUtf8(bytes);
  std::replace(p.begin(), p.end(), u'/', u'\\');
  std::size_t slashes = 0;
  while (slashes < p.size() && p[slashes] == u'\\') ++slashes;
  std::u16string_view after = std::u16string_view(p).substr(slashes);
  if (after.size() >= 2 && isDriveLetter(after[0]) && after[1] == u':') return std::u16string(after);
  if (slashes == 2 && !after.empty()) return u"\\\\" + std::u16string(after);  // file://server/share
  return {};
}

// The address shown for a navigation: a path becomes a file URL, an address stays as given.
std::u16string addressOf(std::u16string_view url) {
  if (hasScheme(url)) return std::u16string(url);
  std::u16string p(url);
  std::replace(p.begin(), p.end(), u'\\', u'/');
  if (p.size() > 2 && p[0] == u'/' && p[1] == u'/') return u"file:" + p;
  return u"file:///" + p;
}

// Drops "." and ".." segments of a path (RFC 3986, 5.2.4).
std::u16string removeDots(std::u16string_view path) {
  std::vector<std::u16string> out;
  std::size_t i = 0;
  const bool absolute = !path.empty() && path[0] == u'/';
  if (absolute) i = 1;
  bool trailing = false;
  while (i <= path.size()) {
    std::size_t end = path.find(u'/', i);
    if (end == std::u16string_view::npos) end = path.size();
    std::u16string_view seg = path.substr(i, end - i);
    trailing = false;
    if (seg == u"..") {
      if (!out.empty()) out.pop_back();
      trailing = true;
    } else if (seg == u".") {
      trailing = true;
    } else {
      out.emplace_back(seg);
    }
    i = end + 1;
  }
  std::u16string r = absolute ? u"/" : u"";
  for (std::size_t k = 0; k < out.size(); ++k) r += (k ? u"/" : u"") + out[k];
  if (trailing) r += u"/";
  return r;
}

// An href resolved against the page's address, its characters kept as written: nothing is
// decoded or escaped, so the receiver of BeforeNavigate2 sees exactly what the page says.
std::u16string resolve(std::u16string_view base, std::u16string_view href) {
  if (hasScheme(href)) return std::u16string(href);
  const std::size_t colon = base.find(u':');
  if (colon == std::u16string_view::npos) return std::u16string(href);
  std::u16string_view scheme = base.substr(0, colon + 1);
  std::u16string_view afterScheme = base.substr(colon + 1);
  std::u16string_view authority;
  std::u16string_view path = afterScheme;
  if (afterScheme.substr(0, 2) == u"//") {
    const std::size_t slash = afterScheme.find(u'/', 2);
    authority = afterScheme.substr(0, slash == std::u16string_view::npos ? afterScheme.size() : slash);
    path = slash == std::u16string_view::npos ? std::u16string_view() : afterScheme.substr(slash);
  }
  const std::size_t query = path.find_first_of(u"?#");
  std::u16string_view basePath = path.substr(0, query);
  std::u16string head = std::u16string(scheme) + std::u16string(authority);
  if (href.empty()) return head + std::u16string(path.substr(0, path.find(u'#')));
  if (href.substr(0, 2) == u"//") return std::u16string(scheme) + std::u16string(href);
  if (href[0] == u'#') return head + std::u16string(basePath) + std::u16string(href);
  if (href[0] == u'?') return head + std::u16string(basePath) + std::u16string(href);
  if (href[0] == u'/') return head + removeDots(href);
  const std::size_t last = basePath.rfind(u'/');
  std::u16string merged =
      (last == std::u16string_view::npos ? std::u16string(u"/") : std::u16string(basePath.substr(0, last + 1))) +
      std::u16string(href);
  // A query or fragment of the href is no path: keep it out of the dot removal.
  const std::size_t tail = merged.find_first_of(u"?#");
  std::u16string suffix = tail == std::u16string::npos ? u"" : merged.substr(tail);
  merged = merged.substr(0, tail);
  return head + removeDots(merged) + suffix;
}

bool readFile(const std::u16string& path, std::string& bytes) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(f, &size) && size.QuadPart >= 0 && size.QuadPart <= kMaxPageBytes;
  if (ok) {
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    ok = bytes.empty() || (ReadFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) != FALSE);
    bytes.resize(ok ? got : 0);
  }
  CloseHandle(f);
  return ok;
}

// ---- The page's document ----

class Document final : public IDispatch, public IOleCommandTarget {
 public:
  explicit Document(std::u16string url) : url_(std::move(url)) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    void* p = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch) p = static_cast<IDispatch*>(this);
    else if (riid == IID_IOleCommandTarget) p = static_cast<IOleCommandTarget*>(this);
    *object = p;
    if (!p) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override {
    for (UINT i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;  // the page's object model is not there: no script runs
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
  HRESULT STDMETHODCALLTYPE Exec(const GUID* group, DWORD command, DWORD option, VARIANT*, VARIANT*) override {
    if (group && *group != GUID_NULL) return OLECMDERR_E_UNKNOWNGROUP;
    if (command != OLECMDID_PRINT) return OLECMDERR_E_NOTSUPPORTED;
    host::PrintJob job;
    job.document = url_;
    job.option = option;
    host::recordPrintJob(job);
    return S_OK;
  }

 private:
  ~Document() = default;
  std::atomic<ULONG> refs_{1};
  std::u16string url_;
};

// ---- The browser ----

class WebBrowser final : public ControlObject<IWebBrowser2> {
 public:
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO*, UINT* argError) override;

  HRESULT STDMETHODCALLTYPE Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override {
    if (!url) return E_INVALIDARG;
    navigate(std::u16string(url, SysStringLen(url)));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_LocationURL(BSTR* url) override {
    if (!url) return E_POINTER;
    *url = SysAllocStringLen(location_.data(), static_cast<UINT>(location_.size()));
    return *url ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE get_Document(IDispatch** document) override {
    if (!document) return E_POINTER;
    *document = document_.get();
    if (*document) (*document)->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_RegisterAsDropTarget(VARIANT_BOOL* on) override {
    if (!on) return E_POINTER;
    *on = dropTarget_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_RegisterAsDropTarget(VARIANT_BOOL on) override {
    dropTarget_ = on != VARIANT_FALSE;
    return S_OK;
  }

 protected:
  const CLSID& classId() const override { return CLSID_WebBrowser; }
  const IID& eventsId() const override { return DIID_DWebBrowserEvents2; }
  const char16_t* windowClass() const override { return u"Shell Embedding"; }
  IDispatch* automation() override { return static_cast<IWebBrowser2*>(this); }
  void loadProperty(std::u16string_view name, std::u16string_view value) override {
    if (text::equalNoCase(name, u"Location")) pendingLocation_ = value;
  }
  void onWindow() override {
    // Asked when the window is made: the number belongs to the host the window lives in.
    followMessage_ = RegisterWindowMessageW(kFollowLinkMessage);
    if (!pendingLocation_.empty()) navigate(std::exchange(pendingLocation_, std::u16string()));
    else show();
  }
  bool onMessage(UINT msg, WPARAM w, LPARAM l, LRESULT& result) override {
    if (msg == WM_PAINT) {
      paint();
      result = 0;
      return true;
    }
    if (!followMessage_ || msg != followMessage_) return false;
    result = follow(static_cast<std::size_t>(w), static_cast<std::int64_t>(l)) ? 1 : 0;
    return true;
  }
  const std::map<std::u16string, DISPID>& members() const override {
    static const std::map<std::u16string, DISPID> m{{u"Navigate", DISPID_WB_NAVIGATE},
                                                   {u"Document", DISPID_WB_DOCUMENT},
                                                   {u"LocationURL", DISPID_WB_LOCATIONURL},
                                                   {u"RegisterAsDropTarget", DISPID_WB_REGISTERASDROPTARGET}};
    return m;
  }

 private:
  // Raises BeforeNavigate2; true when a handler cancelled.
  bool beforeNavigate(const std::u16string& url) {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT vUrl, vFlags, vFrame, vPost, vHeaders;
    for (VARIANT* v : {&vUrl, &vFlags, &vFrame, &vPost, &vHeaders}) VariantInit(v);
    vUrl.vt = VT_BSTR;
    vUrl.bstrVal = SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
    vFlags.vt = VT_I4;
    vFlags.lVal = 0;
    vFrame.vt = VT_BSTR;
    vFrame.bstrVal = SysAllocString(u"");
    vHeaders.vt = VT_BSTR;
    vHeaders.bstrVal = SysAllocString(u"");
    std::vector<VARIANTARG> args(7);
    for (VARIANTARG& a : args) VariantInit(&a);
    args[0].vt = VT_BOOL | VT_BYREF;
    args[0].pboolVal = &cancel;
    VARIANT* byRef[] = {&vHeaders, &vPost, &vFrame, &vFlags, &vUrl};
    for (int i = 0; i < 5; ++i) {
      args[static_cast<std::size_t>(i + 1)].vt = VT_VARIANT | VT_BYREF;
      args[static_cast<std::size_t>(i + 1)].pvarVal = byRef[i];
    }
    args[6].vt = VT_DISPATCH;
    args[6].pdispVal = automation();
    fire(DISPID_BEFORENAVIGATE2, args);
    for (VARIANT* v : {&vUrl, &vFlags, &vFrame, &vPost, &vHeaders}) VariantClear(v);
    return cancel != VARIANT_FALSE;
  }

  void completed(DISPID id) {
    VARIANT vUrl;
    VariantInit(&vUrl);
    vUrl.vt = VT_BSTR;
    vUrl.bstrVal = SysAllocStringLen(location_.data(), static_cast<UINT>(location_.size()));
    std::vector<VARIANTARG> args(2);
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    args[0].vt = VT_VARIANT | VT_BYREF;
    args[0].pvarVal = &vUrl;
    args[1].vt = VT_DISPATCH;
    args[1].pdispVal = automation();
    fire(id, args);
    VariantClear(&vUrl);
  }

  void navigate(const std::u16string& url) {
    if (beforeNavigate(url)) return;
    const std::u16string path = localPath(url);
    if (path.empty()) {
      // Not a page this browser reads: the shell opens it (and records that it did).
      ShellExecuteW(window(), u"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
      return;
    }
    location_ = addressOf(url);
    links_.clear();
    pageText_.clear();
    document_.reset();
    std::string bytes;
    if (readFile(path, bytes)) {
      xml::HtmlPage page;
      DWORD error = 0;
      if (xml::parseHtmlPage(bytes, page, error)) {
        pageText_ = text::fromUtf8(page.text);
        for (const auto& l : page.links) {
          const std::u16string href = text::fromUtf8(l.href);
          links_.push_back({text::fromUtf8(l.text), href, resolve(location_, href)});
        }
      }
      document_.attach(new Document(location_));
    }
    ++page_;
    show();
    if (document_) {
      completed(DISPID_NAVIGATECOMPLETE2);
      completed(DISPID_DOCUMENTCOMPLETE);
    }
  }

  bool follow(std::size_t index, std::int64_t page) {
    if (page != page_ || index >= links_.size()) return false;
    navigate(links_[index].url);
    return true;
  }

  // The page drawn plainly: its text on white, its links' texts below in blue, underlined.
  void paint() {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(window(), &ps);
    RECT r{};
    GetClientRect(window(), &r);
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    FillRect(hdc, &r, white);
    DeleteObject(white);
    HGDIOBJ oldFont = SelectObject(hdc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, RGB(0, 0, 0));
    RECT t = r;
    InflateRect(&t, -4, -4);
    if (!pageText_.empty())
      t.top += DrawTextW(hdc, pageText_.c_str(), static_cast<int>(pageText_.size()), &t, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
    LOGFONTW lf{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    lf.lfUnderline = TRUE;
    HFONT underlined = CreateFontIndirectW(&lf);
    SelectObject(hdc, underlined);
    SetTextColor(hdc, RGB(0, 0, 255));
    for (const auto& link : links_) {
      if (t.top >= t.bottom) break;
      const std::u16string& label = link.text.empty() ? link.href : link.text;
      t.top += DrawTextW(hdc, label.c_str(), static_cast<int>(label.size()), &t, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX) + 2;
    }
    SelectObject(hdc, oldFont);
    DeleteObject(underlined);
    EndPaint(window(), &ps);
  }

  void show() {
    if (window()) InvalidateRect(window(), nullptr, TRUE);
    host::ControlState s;
    s.property = u"LocationURL";
    s.value = location_;
    s.page = page_;
    s.links = links_;
    publish(std::move(s));
  }

  std::u16string location_;
  std::u16string pendingLocation_;
  std::vector<host::ControlLink> links_;
  std::u16string pageText_;
  std::int64_t page_ = 0;
  bool dropTarget_ = true;
  Ptr<IDispatch> document_;
  UINT followMessage_ = 0;
};

HRESULT WebBrowser::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                           UINT* argError) {
  auto getter = [&](auto fill) -> HRESULT {
    if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    if (!result) return E_POINTER;
    VariantInit(result);
    return fill();
  };
  switch (id) {
    case DISPID_WB_NAVIGATE: {
      if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
      VARIANT url;
      HRESULT hr = DispGetParam(params, 0, VT_BSTR, &url, argError);
      if (FAILED(hr)) return hr;
      hr = Navigate(url.bstrVal, nullptr, nullptr, nullptr, nullptr);
      VariantClear(&url);
      return hr;
    }
    case DISPID_WB_LOCATIONURL:
      return getter([&] {
        result->vt = VT_BSTR;
        return get_LocationURL(&result->bstrVal);
      });
    case DISPID_WB_DOCUMENT:
      return getter([&] {
        result->vt = VT_DISPATCH;
        return get_Document(&result->pdispVal);
      });
    case DISPID_WB_REGISTERASDROPTARGET: {
      if (flags & DISPATCH_PROPERTYPUT) {
        if (!params || params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
        VARIANT on;
        HRESULT hr = DispGetParam(params, 0, VT_BOOL, &on, argError);
        if (FAILED(hr)) return hr;
        return put_RegisterAsDropTarget(on.boolVal);
      }
      return getter([&] {
        result->vt = VT_BOOL;
        return get_RegisterAsDropTarget(&result->boolVal);
      });
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

HRESULT createWebBrowser(REFIID riid, void** object) {
  auto* p = new WebBrowser();
  HRESULT hr = p->QueryInterface(riid, object);
  p->Release();
  return hr;
}

const RegisterClass webBrowserClass{CLSID_WebBrowser, u"Shell.Explorer.2", &createWebBrowser};

}  // namespace

}  // namespace platform::com
