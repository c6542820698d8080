// HDROP blocks, the file data object, the process's drop-target registrations and the played
// drop; see dragdrop.h.
#include "platform/win32/dragdrop.h"

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/base/text.h"
#include "platform/com/runtime.h"
#include "platform/win32/error.h"
#include "platform/win32/message.h"
#include "platform/win32/process.h"
#include "platform/win32/system.h"
#include "platform/win32/window.h"

namespace platform::dragdrop {
namespace {

std::mutex g_mutex;
std::map<HWND, IDropTarget*> g_targets;

// The paths of an HDROP block, read within its size; false for a block that is not one.
bool readHDrop(HGLOBAL h, std::vector<std::u16string>& paths, DROPFILES* header) {
  if (!h) return false;
  const SIZE_T size = GlobalSize(h);
  if (size < sizeof(DROPFILES)) return false;
  const auto* base = static_cast<const BYTE*>(GlobalLock(h));
  if (!base) return false;
  DROPFILES df;
  std::memcpy(&df, base, sizeof df);
  bool ok = df.fWide && df.pFiles >= sizeof(DROPFILES) && df.pFiles <= size && (df.pFiles % 2) == 0;
  if (ok) {
    const std::size_t units = (size - df.pFiles) / 2;
    std::u16string all(units, u'\0');
    std::memcpy(all.data(), base + df.pFiles, units * 2);
    std::size_t pos = 0;
    ok = false;
    while (pos < all.size()) {
      const std::size_t end = all.find(u'\0', pos);
      if (end == std::u16string::npos) break;  // unterminated: not a list
      if (end == pos) {
        ok = true;  // the closing NUL
        break;
      }
      paths.push_back(all.substr(pos, end - pos));
      pos = end + 1;
    }
  }
  GlobalUnlock(h);
  if (ok && header) *header = df;
  return ok;
}

class FileDataObject final : public platform::com::SingleInterface<IDataObject> {
 public:
  explicit FileDataObject(std::vector<std::u16string> paths) : paths_(std::move(paths)) {}

  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* f, STGMEDIUM* m) override {
    if (!f || !m) return E_INVALIDARG;
    if (HRESULT hr = QueryGetData(f); hr != S_OK) return hr;
    HGLOBAL h = makeHDrop(paths_, POINT{0, 0}, false);
    if (!h) return E_OUTOFMEMORY;
    m->tymed = TYMED_HGLOBAL;
    m->hGlobal = h;
    m->pUnkForRelease = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* f) override {
    if (!f) return E_INVALIDARG;
    if (f->cfFormat != CF_HDROP) return DV_E_FORMATETC;
    if (f->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (f->lindex != -1) return DV_E_LINDEX;
    if (!(f->tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
    if (out) out->ptd = nullptr;
    return DATA_S_SAMEFORMATETC;
  }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** out) override {
    if (out) *out = nullptr;
    return OLE_E_ADVISENOTSUPPORTED;
  }

 private:
  ~FileDataObject() = default;
  std::vector<std::u16string> paths_;
};

bool ownProcessWindow(HWND hwnd) {
  DWORD pid = 0;
  return IsWindow(hwnd) && GetWindowThreadProcessId(hwnd, &pid) && pid == GetCurrentProcessId();
}

POINT centreOf(HWND w) {
  RECT r{};
  GetWindowRect(w, &r);
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

}  // namespace

HGLOBAL makeHDrop(const std::vector<std::u16string>& paths, POINT pt, bool nonClient) {
  std::size_t units = 1;
  for (const auto& p : paths) units += p.size() + 1;
  HGLOBAL h = GlobalAlloc(GHND, sizeof(DROPFILES) + units * 2);
  if (!h) return nullptr;
  auto* base = static_cast<BYTE*>(GlobalLock(h));
  DROPFILES df{};
  df.pFiles = sizeof(DROPFILES);
  df.pt = pt;
  df.fNC = nonClient ? TRUE : FALSE;
  df.fWide = TRUE;
  std::memcpy(base, &df, sizeof df);
  auto* out = base + sizeof(DROPFILES);
  for (const auto& p : paths) {
    std::memcpy(out, p.data(), p.size() * 2);
    out += (p.size() + 1) * 2;  // the NUL is already zero
  }
  GlobalUnlock(h);
  return h;
}

IDataObject* makeFileDataObject(const std::vector<std::u16string>& paths) { return new FileDataObject(paths); }

IDropTarget* registeredTarget(HWND hwnd) {
  std::lock_guard lock(g_mutex);
  auto it = g_targets.find(hwnd);
  return it == g_targets.end() ? nullptr : it->second;
}

DropResult dropFiles(HWND target, const std::vector<std::u16string>& paths, const POINT* screenPoint, DWORD allowed,
                     DWORD keyState) {
  DropResult result;
  if (!ownProcessWindow(target)) return result;
  const POINT pt = screenPoint ? *screenPoint : centreOf(target);
  const POINTL ptl{pt.x, pt.y};

  for (HWND w = target; w; w = GetParent(w)) {
    IDropTarget* dt = registeredTarget(w);
    if (!dt) continue;
    dt->AddRef();
    IDataObject* data = makeFileDataObject(paths);
    result.kind = DropKind::OleTarget;
    result.receiver = w;
    DWORD effect = allowed;
    HRESULT hr = dt->DragEnter(data, keyState, ptl, &effect);
    if (SUCCEEDED(hr) && (effect & allowed)) {
      effect = allowed;
      hr = dt->DragOver(keyState, ptl, &effect);
    }
    if (SUCCEEDED(hr) && (effect & allowed)) {
      effect = allowed;
      dt->Drop(data, keyState & ~static_cast<DWORD>(MK_LBUTTON | MK_RBUTTON | MK_MBUTTON), ptl, &effect);
      result.dropped = true;
      result.effect = effect & allowed;
    } else {
      dt->DragLeave();
    }
    data->Release();
    dt->Release();
    return result;
  }

  for (HWND w = target; w; w = GetParent(w)) {
    if (!(GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_ACCEPTFILES)) continue;
    POINT client = pt;
    ScreenToClient(w, &client);
    HGLOBAL h = makeHDrop(paths, client, false);
    result.kind = DropKind::DropFilesMessage;
    result.receiver = w;
    if (h && PostMessageW(w, WM_DROPFILES, reinterpret_cast<WPARAM>(h), 0)) {
      result.dropped = true;
    } else if (h) {
      GlobalFree(h);
    }
    return result;
  }
  return result;
}

}  // namespace platform::dragdrop

using namespace platform::dragdrop;

void DragAcceptFiles(HWND hWnd, BOOL fAccept) {
  const LONG ex = GetWindowLongW(hWnd, GWL_EXSTYLE);
  const LONG wanted = fAccept ? (ex | WS_EX_ACCEPTFILES) : (ex & ~static_cast<LONG>(WS_EX_ACCEPTFILES));
  if (wanted != ex) SetWindowLongW(hWnd, GWL_EXSTYLE, wanted);
}

UINT DragQueryFileW(HDROP hDrop, UINT iFile, LPWSTR lpszFile, UINT cch) {
  std::vector<std::u16string> paths;
  if (!readHDrop(reinterpret_cast<HGLOBAL>(hDrop), paths, nullptr)) return 0;
  if (iFile == 0xFFFFFFFF) return static_cast<UINT>(paths.size());
  if (iFile >= paths.size()) return 0;
  const std::u16string& p = paths[iFile];
  if (!lpszFile) return static_cast<UINT>(p.size());
  if (cch == 0) return 0;
  const std::size_t n = std::min<std::size_t>(p.size(), cch - 1);
  std::memcpy(lpszFile, p.data(), n * 2);
  lpszFile[n] = 0;
  return static_cast<UINT>(n);
}

BOOL DragQueryPoint(HDROP hDrop, LPPOINT lppt) {
  std::vector<std::u16string> paths;
  DROPFILES df{};
  if (!readHDrop(reinterpret_cast<HGLOBAL>(hDrop), paths, &df)) return FALSE;
  if (lppt) *lppt = df.pt;
  return df.fNC ? FALSE : TRUE;
}

void DragFinish(HDROP hDrop) { GlobalFree(reinterpret_cast<HGLOBAL>(hDrop)); }

void ReleaseStgMedium(LPSTGMEDIUM m) {
  if (!m) return;
  if (m->pUnkForRelease) {
    m->pUnkForRelease->Release();
  } else if (m->tymed == TYMED_HGLOBAL && m->hGlobal) {
    GlobalFree(m->hGlobal);
  } else if (m->tymed == TYMED_FILE && m->lpszFileName) {
    CoTaskMemFree(m->lpszFileName);
  }
  m->tymed = TYMED_NULL;
  m->hGlobal = nullptr;
  m->pUnkForRelease = nullptr;
}

HRESULT RegisterDragDrop(HWND hwnd, LPDROPTARGET pDropTarget) {
  if (!platform::com::comUsable()) return E_OUTOFMEMORY;
  if (!pDropTarget) return E_INVALIDARG;
  DWORD pid = 0;
  if (!IsWindow(hwnd) || !GetWindowThreadProcessId(hwnd, &pid) || pid != GetCurrentProcessId())
    return DRAGDROP_E_INVALIDHWND;
  std::lock_guard lock(g_mutex);
  if (!g_targets.emplace(hwnd, pDropTarget).second) return DRAGDROP_E_ALREADYREGISTERED;
  pDropTarget->AddRef();
  return S_OK;
}

HRESULT RevokeDragDrop(HWND hwnd) {
  IDropTarget* dt = nullptr;
  {
    std::lock_guard lock(g_mutex);
    auto it = g_targets.find(hwnd);
    if (it == g_targets.end()) return DRAGDROP_E_NOTREGISTERED;
    dt = it->second;
    g_targets.erase(it);
  }
  if (dt) dt->Release();
  return S_OK;
}
