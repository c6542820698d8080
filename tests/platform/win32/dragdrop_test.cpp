// Dropping files: the HDROP block and its queries, the data object a drop hands to IDropTarget,
// which window takes a drop (a registered drop target before WM_DROPFILES, found from the window
// under the point up through its parents), and registration rules.
#include "platform/win32/dragdrop.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/com/runtime.h"
#include "platform/win32/system.h"
#include "tests/platform/win32/window_fixture.h"

namespace {

using namespace wintest;
using platform::dragdrop::DropKind;

const std::vector<std::u16string> kPaths = {u"C:\\Documents and Settings\\a.txt", u"C:\\Data"};

// A drop target that records what it is told and answers with a fixed effect.
class RecordingTarget final : public IDropTarget {
 public:
  DWORD answer = DROPEFFECT_MOVE;
  std::vector<std::string> calls;
  std::vector<std::u16string> paths;  // read from the data object in DragEnter
  DWORD dropKeys = 0xdeadbeef;
  ULONG refs = 1;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDropTarget) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
    calls.push_back("enter");
    FORMATETC f{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM m{};
    if (SUCCEEDED(data->GetData(&f, &m))) {
      auto drop = static_cast<HDROP>(m.hGlobal);
      const UINT n = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
      for (UINT i = 0; i < n; ++i) {
        WCHAR buf[MAX_PATH];
        DragQueryFileW(drop, i, buf, MAX_PATH);
        paths.push_back(buf);
      }
      ReleaseStgMedium(&m);
    }
    *effect = answer;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override {
    calls.push_back("over");
    *effect = answer;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DragLeave() override {
    calls.push_back("leave");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Drop(IDataObject*, DWORD keys, POINTL, DWORD* effect) override {
    calls.push_back("drop");
    dropKeys = keys;
    *effect = DROPEFFECT_NONE;  // as the files page does: the source keeps its files
    return S_OK;
  }
};

class DragDropTest : public WindowFixture {
 protected:
  DragDropTest() { OleInitialize(nullptr); }
  ~DragDropTest() override { OleUninitialize(); }
};

TEST_F(DragDropTest, HDropAnswersCountLengthsAndCutCopies) {
  HGLOBAL h = platform::dragdrop::makeHDrop(kPaths, POINT{3, 4});
  auto drop = static_cast<HDROP>(h);
  EXPECT_EQ(DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0), 2u);
  EXPECT_EQ(DragQueryFileW(drop, 0, nullptr, 0), kPaths[0].size());
  WCHAR buf[8];
  std::memset(buf, 0xBD, sizeof buf);
  EXPECT_EQ(DragQueryFileW(drop, 1, buf, 4), 3u) << "cut to cch - 1 and a NUL";
  EXPECT_EQ(std::u16string(buf), u"C:\\");
  EXPECT_EQ(buf[4], 0xBDBD) << "nothing written past cch";
  EXPECT_EQ(DragQueryFileW(drop, 2, buf, 8), 0u);
  POINT p{};
  EXPECT_TRUE(DragQueryPoint(drop, &p));
  EXPECT_EQ(p.x, 3);
  EXPECT_EQ(p.y, 4);
  DragFinish(drop);
}

TEST_F(DragDropTest, AMalformedBlockIsNotAFileList) {
  // An offset past the block and a list without its closing NUL.
  struct Case {
    DWORD offset;
    std::u16string list;
  } cases[] = {{4096, u"a"}, {sizeof(DROPFILES), std::u16string(u"abc", 3)}};
  for (const Case& c : cases) {
    HGLOBAL h = GlobalAlloc(GHND, sizeof(DROPFILES) + c.list.size() * 2);
    auto* base = static_cast<BYTE*>(GlobalLock(h));
    DROPFILES df{c.offset, {0, 0}, FALSE, TRUE};
    std::memcpy(base, &df, sizeof df);
    std::memcpy(base + sizeof df, c.list.data(), c.list.size() * 2);
    GlobalUnlock(h);
    EXPECT_EQ(DragQueryFileW(static_cast<HDROP>(h), 0xFFFFFFFF, nullptr, 0), 0u) << c.offset;
    GlobalFree(h);
  }
}

TEST_F(DragDropTest, DataObjectOffersOnlyHDropInGlobalMemory) {
  IDataObject* data = platform::dragdrop::makeFileDataObject(kPaths);
  struct Case {
    FORMATETC f;
    HRESULT expected;
  } cases[] = {
      {{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}, S_OK},
      {{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL | TYMED_ISTREAM}, S_OK},
      {{CF_UNICODETEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}, DV_E_FORMATETC},
      {{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM}, DV_E_TYMED},
      {{CF_HDROP, nullptr, DVASPECT_ICON, -1, TYMED_HGLOBAL}, DV_E_DVASPECT},
      {{CF_HDROP, nullptr, DVASPECT_CONTENT, 0, TYMED_HGLOBAL}, DV_E_LINDEX},
  };
  for (Case& c : cases) {
    EXPECT_EQ(data->QueryGetData(&c.f), c.expected) << c.f.cfFormat << "/" << c.f.tymed;
    STGMEDIUM m{};
    EXPECT_EQ(data->GetData(&c.f, &m), c.expected);
    if (c.expected == S_OK) {
      EXPECT_EQ(m.tymed, static_cast<DWORD>(TYMED_HGLOBAL));
      EXPECT_EQ(DragQueryFileW(static_cast<HDROP>(m.hGlobal), 0xFFFFFFFF, nullptr, 0), 2u);
      ReleaseStgMedium(&m);
    }
  }
  data->Release();
}

TEST_F(DragDropTest, ARegisteredTargetOfAnAncestorTakesTheDrop) {
  HWND page = make(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  HWND list = make(WS_CHILD | WS_VISIBLE, page, 1001, u"", RECT{5, 5, 50, 50});
  DragAcceptFiles(page, TRUE);  // a drop target wins over WM_DROPFILES
  RecordingTarget target;
  ASSERT_EQ(RegisterDragDrop(page, &target), S_OK);
  EXPECT_EQ(target.refs, 2u);

  auto r = platform::dragdrop::dropFiles(list, kPaths);
  EXPECT_EQ(r.kind, DropKind::OleTarget);
  EXPECT_EQ(r.receiver, page);
  EXPECT_TRUE(r.dropped);
  EXPECT_EQ(r.effect, static_cast<DWORD>(DROPEFFECT_NONE));
  EXPECT_EQ(target.calls, (std::vector<std::string>{"enter", "over", "drop"}));
  EXPECT_EQ(target.paths, kPaths);
  EXPECT_EQ(target.dropKeys, 0u) << "the button is up when the files are dropped";

  // A target that refuses every effect gets DragLeave instead of Drop.
  target.calls.clear();
  target.answer = DROPEFFECT_NONE;
  r = platform::dragdrop::dropFiles(page, kPaths);
  EXPECT_FALSE(r.dropped);
  EXPECT_EQ(target.calls, (std::vector<std::string>{"enter", "leave"}));

  EXPECT_EQ(RevokeDragDrop(page), S_OK);
  EXPECT_EQ(target.refs, 1u);
  EXPECT_EQ(RevokeDragDrop(page), DRAGDROP_E_NOTREGISTERED);
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    EXPECT_NE(m.message, static_cast<UINT>(WM_DROPFILES));
    DispatchMessageW(&m);
  }
}

TEST_F(DragDropTest, AWindowAcceptingFilesIsPostedAnHDrop) {
  HWND w = make(WS_OVERLAPPEDWINDOW | WS_VISIBLE, nullptr, 0, u"", RECT{100, 100, 300, 300});
  EXPECT_EQ(platform::dragdrop::dropFiles(w, kPaths).kind, DropKind::None) << "not accepting files yet";
  DragAcceptFiles(w, TRUE);
  EXPECT_TRUE(GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
  POINT at{110, 120};
  auto r = platform::dragdrop::dropFiles(w, kPaths, &at);
  EXPECT_EQ(r.kind, DropKind::DropFilesMessage);
  EXPECT_TRUE(r.dropped);
  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, w, WM_DROPFILES, WM_DROPFILES, PM_REMOVE));
  auto drop = reinterpret_cast<HDROP>(m.wParam);
  EXPECT_EQ(DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0), 2u);
  POINT p{};
  EXPECT_TRUE(DragQueryPoint(drop, &p));
  EXPECT_EQ(p.x, 10) << "client coordinates";
  EXPECT_EQ(p.y, 20);
  DragFinish(drop);
  DragAcceptFiles(w, FALSE);
  EXPECT_FALSE(GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
}

TEST_F(DragDropTest, RegistrationRules) {
  HWND w = make();
  RecordingTarget target;
  EXPECT_EQ(RegisterDragDrop(w, nullptr), E_INVALIDARG);
  EXPECT_EQ(RegisterDragDrop(reinterpret_cast<HWND>(static_cast<UINT_PTR>(0x7FFF0001)), &target),
            DRAGDROP_E_INVALIDHWND);
  ASSERT_EQ(RegisterDragDrop(w, &target), S_OK);
  EXPECT_EQ(RegisterDragDrop(w, &target), DRAGDROP_E_ALREADYREGISTERED);
  EXPECT_EQ(target.refs, 2u);
  RevokeDragDrop(w);

  OleUninitialize();
  EXPECT_EQ(RegisterDragDrop(w, &target), E_OUTOFMEMORY) << "OLE not initialised";
  OleInitialize(nullptr);
}

}  // namespace
