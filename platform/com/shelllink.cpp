// The shell-link server over the stand-in's shortcut format (lnk-format.txt). A link object holds
// the fields in memory; IPersistFile moves them to and from a file through the Win32 file calls,
// so paths, drive mapping, share modes and injected faults apply as to any other file.
#include "platform/com/shelllink.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstring>
#include <string>

#include "platform/base/text.h"
#include "platform/com/runtime.h"

namespace platform::com {

namespace {

constexpr char kMagic[8] = {'K', 'I', 'P', 'O', 'L', 'N', 'K', '\x1A'};
constexpr WORD kVersion = 1;
[[maybe_unused]] constexpr std::size_t kFixedPart = 8 + 2 + 2 + 4 + 4 + 2 + 2;
constexpr std::size_t kMaxText = 32767;      // characters in any one field
constexpr LONGLONG kMaxFileBytes = 1 << 20;  // five full fields fit easily

void putU16(std::string& out, WORD v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}

void putU32(std::string& out, DWORD v) {
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((v >> shift) & 0xFF);
}

void putText(std::string& out, const std::u16string& text) {
  putU32(out, static_cast<DWORD>(text.size()));
  for (char16_t c : text) putU16(out, c);
}

// Reads little-endian values from the front of the bytes left; every read checks the length.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : left_(bytes) {}
  bool u16(WORD& v) {
    if (left_.size() < 2) return false;
    v = static_cast<WORD>(byte(0) | byte(1) << 8);
    left_.remove_prefix(2);
    return true;
  }
  bool u32(DWORD& v) {
    if (left_.size() < 4) return false;
    v = byte(0) | byte(1) << 8 | byte(2) << 16 | static_cast<DWORD>(byte(3)) << 24;
    left_.remove_prefix(4);
    return true;
  }
  bool text(std::u16string& out) {
    DWORD count;
    if (!u32(count) || count > kMaxText || left_.size() / 2 < count) return false;
    out.resize(count);
    for (DWORD i = 0; i < count; ++i) {
      WORD c = 0;
      if (!u16(c) || c == 0) return false;  // fields are text; a NUL is not part of one
      out[i] = c;
    }
    return true;
  }
  bool magic() {
    if (left_.size() < sizeof(kMagic) || std::memcmp(left_.data(), kMagic, sizeof(kMagic)) != 0) return false;
    left_.remove_prefix(sizeof(kMagic));
    return true;
  }
  bool atEnd() const { return left_.empty(); }

 private:
  DWORD byte(std::size_t i) const { return static_cast<unsigned char>(left_[i]); }
  std::string_view left_;
};

}  // namespace

std::string encodeShortcut(const ShortcutData& d) {
  std::string out(kMagic, sizeof(kMagic));
  putU16(out, kVersion);
  putU16(out, 0);  // flags
  putU32(out, static_cast<DWORD>(d.showCmd));
  putU32(out, static_cast<DWORD>(d.iconIndex));
  putU16(out, d.hotkey);
  putU16(out, 0);  // reserved
  assert(out.size() == kFixedPart);
  for (const std::u16string* text : {&d.target, &d.arguments, &d.workingDirectory, &d.description, &d.iconPath}) {
    putText(out, *text);
  }
  return out;
}

bool decodeShortcut(std::string_view bytes, ShortcutData& data) {
  Reader in(bytes);
  WORD version, flags, hotkey, reserved;
  DWORD showCmd, iconIndex;
  if (!in.magic() || !in.u16(version) || version != kVersion || !in.u16(flags) || flags != 0 || !in.u32(showCmd) ||
      !in.u32(iconIndex) || !in.u16(hotkey) || !in.u16(reserved) || reserved != 0) {
    return false;
  }
  ShortcutData d;
  d.showCmd = static_cast<LONG>(showCmd);
  d.iconIndex = static_cast<LONG>(iconIndex);
  d.hotkey = hotkey;
  for (std::u16string* text : {&d.target, &d.arguments, &d.workingDirectory, &d.description, &d.iconPath}) {
    if (!in.text(*text)) return false;
  }
  if (!in.atEnd()) return false;
  data = std::move(d);
  return true;
}

namespace {

HRESULT lastErrorResult() {
  const DWORD error = GetLastError();
  return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

// Copies text into a caller's buffer of cch characters, truncating.
HRESULT copyOut(const std::u16string& text, LPWSTR buffer, int cch) {
  if (!buffer || cch < 1) return E_INVALIDARG;
  const std::size_t n = std::min(text.size(), static_cast<std::size_t>(cch - 1));
  std::memcpy(buffer, text.data(), n * sizeof(WCHAR));
  buffer[n] = u'\0';
  return S_OK;
}

HRESULT copyIn(LPCWSTR text, std::u16string& field, bool& dirty) {
  if (!text) return E_INVALIDARG;
  const std::u16string_view view = platform::text::view(text);
  if (view.size() > kMaxText) return E_INVALIDARG;
  field.assign(view);
  dirty = true;
  return S_OK;
}

class ShellLink final : public IShellLinkW, public IPersistFile {
 public:
  // ---- IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IShellLinkW) {
      *object = static_cast<IShellLinkW*>(this);
    } else if (riid == IID_IPersistFile || riid == IID_IPersist) {
      *object = static_cast<IPersistFile*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  // ---- IShellLinkW
  HRESULT STDMETHODCALLTYPE GetPath(LPWSTR file, int cch, WIN32_FIND_DATAW* data, DWORD) override {
    // There are no network drives to prefer a UNC name for, nor short names: every form is the path.
    HRESULT hr = copyOut(link_.target, file, cch);
    if (FAILED(hr)) return hr;
    if (data) describeTarget(*data);
    return link_.target.empty() ? S_FALSE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDescription(LPWSTR name, int cch) override { return copyOut(link_.description, name, cch); }
  HRESULT STDMETHODCALLTYPE SetDescription(LPCWSTR name) override { return copyIn(name, link_.description, dirty_); }
  HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPWSTR dir, int cch) override {
    return copyOut(link_.workingDirectory, dir, cch);
  }
  HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCWSTR dir) override {
    return copyIn(dir, link_.workingDirectory, dirty_);
  }
  HRESULT STDMETHODCALLTYPE GetArguments(LPWSTR args, int cch) override { return copyOut(link_.arguments, args, cch); }
  HRESULT STDMETHODCALLTYPE SetArguments(LPCWSTR args) override { return copyIn(args, link_.arguments, dirty_); }
  HRESULT STDMETHODCALLTYPE GetHotkey(WORD* hotkey) override {
    if (!hotkey) return E_INVALIDARG;
    *hotkey = link_.hotkey;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetHotkey(WORD hotkey) override {
    link_.hotkey = hotkey;
    dirty_ = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetShowCmd(int* showCmd) override {
    if (!showCmd) return E_INVALIDARG;
    *showCmd = link_.showCmd;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetShowCmd(int showCmd) override {
    link_.showCmd = showCmd;
    dirty_ = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIconLocation(LPWSTR iconPath, int cch, int* icon) override {
    if (!icon) return E_INVALIDARG;
    HRESULT hr = copyOut(link_.iconPath, iconPath, cch);
    if (SUCCEEDED(hr)) *icon = link_.iconIndex;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE SetIconLocation(LPCWSTR iconPath, int icon) override {
    HRESULT hr = copyIn(iconPath, link_.iconPath, dirty_);
    if (SUCCEEDED(hr)) link_.iconIndex = icon;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE SetRelativePath(LPCWSTR path, DWORD) override {
    // Used by a link whose target moved along with it; targets are never searched for here.
    return path ? S_OK : E_INVALIDARG;
  }
  HRESULT STDMETHODCALLTYPE Resolve(HWND, DWORD) override {
    if (link_.target.empty()) return S_FALSE;
    return GetFileAttributesW(link_.target.c_str()) == INVALID_FILE_ATTRIBUTES ? S_FALSE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetPath(LPCWSTR file) override { return copyIn(file, link_.target, dirty_); }

  // ---- IPersistFile
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override {
    if (!clsid) return E_INVALIDARG;
    *clsid = CLSID_ShellLink;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE IsDirty() override { return dirty_ ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE Load(LPCOLESTR fileName, DWORD) override {
    if (!fileName) return E_INVALIDARG;
    std::string bytes;
    HRESULT hr = readFile(fileName, bytes);
    if (FAILED(hr)) return hr;
    ShortcutData loaded;
    if (!decodeShortcut(bytes, loaded)) return E_FAIL;
    link_ = std::move(loaded);
    currentFile_ = fileName;
    dirty_ = false;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Save(LPCOLESTR fileName, BOOL remember) override {
    const bool toCurrent = fileName == nullptr;
    if (toCurrent && currentFile_.empty()) return E_INVALIDARG;
    const std::u16string path = toCurrent ? currentFile_ : std::u16string(fileName);
    HRESULT hr = writeFile(path, encodeShortcut(link_));
    if (FAILED(hr)) return hr;
    if (toCurrent || remember) {
      currentFile_ = path;
      dirty_ = false;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* fileName) override {
    if (!fileName) return E_INVALIDARG;
    const std::u16string& name = currentFile_.empty() ? kDefaultPattern : currentFile_;
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((name.size() + 1) * sizeof(OLECHAR)));
    *fileName = copy;
    if (!copy) return E_OUTOFMEMORY;
    std::memcpy(copy, name.c_str(), (name.size() + 1) * sizeof(OLECHAR));
    return currentFile_.empty() ? S_FALSE : S_OK;
  }

 private:
  inline static const std::u16string kDefaultPattern = u"*.lnk";

  void describeTarget(WIN32_FIND_DATAW& data) const {
    std::memset(&data, 0, sizeof(data));
    const std::size_t slash = link_.target.find_last_of(u"\\/");
    const std::u16string name = slash == std::u16string::npos ? link_.target : link_.target.substr(slash + 1);
    copyOut(name, data.cFileName, MAX_PATH);
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!link_.target.empty() && GetFileAttributesExW(link_.target.c_str(), GetFileExInfoStandard, &info)) {
      data.dwFileAttributes = info.dwFileAttributes;
      data.ftCreationTime = info.ftCreationTime;
      data.ftLastAccessTime = info.ftLastAccessTime;
      data.ftLastWriteTime = info.ftLastWriteTime;
      data.nFileSizeHigh = info.nFileSizeHigh;
      data.nFileSizeLow = info.nFileSizeLow;
    }
  }

  static HRESULT readFile(const std::u16string& path, std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return lastErrorResult();
    HRESULT hr = S_OK;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
      hr = lastErrorResult();
    } else if (size.QuadPart > kMaxFileBytes) {
      hr = E_FAIL;  // no valid shortcut is this large
    } else {
      bytes.resize(static_cast<std::size_t>(size.QuadPart));
      DWORD read = 0;
      if (!bytes.empty() && !ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
        hr = lastErrorResult();
      } else if (read != bytes.size()) {
        hr = E_FAIL;  // changed under us
      }
    }
    CloseHandle(file);
    return hr;
  }

  static HRESULT writeFile(const std::u16string& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return lastErrorResult();
    HRESULT hr = S_OK;
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
      hr = lastErrorResult();
    } else if (written != bytes.size()) {
      hr = HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    }
    if (!CloseHandle(file) && SUCCEEDED(hr)) hr = lastErrorResult();
    return hr;
  }

  std::atomic<ULONG> refs_{1};
  ShortcutData link_;
  std::u16string currentFile_;
  bool dirty_ = false;
};

HRESULT createShellLink(REFIID riid, void** object) {
  auto* link = new ShellLink;
  HRESULT hr = link->QueryInterface(riid, object);
  link->Release();
  return hr;
}

const RegisterClass shellLinkClass{CLSID_ShellLink, nullptr, &createShellLink};

}  // namespace

}  // namespace platform::com
