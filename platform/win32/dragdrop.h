// Dropping files on windows: the shell's HDROP (WM_DROPFILES, DragAcceptFiles, DragQueryFileW,
// DragQueryPoint, DragFinish) and OLE drag and drop (RegisterDragDrop, RevokeDragDrop,
// IDropTarget, and the data object a drop hands over, whose only format is CF_HDROP in global
// memory).
//
// No person drags here: platform::dragdrop::dropFiles plays a drag of host files onto a window
// of this process as Windows plays it: from the window under the point up through its parents,
// the first with a registered IDropTarget gets DragEnter, DragOver and Drop (or DragLeave when it
// refuses every effect offered); failing that, the first with WS_EX_ACCEPTFILES (DragAcceptFiles)
// is posted WM_DROPFILES with an HDROP it must free with DragFinish. Windows of other processes
// cannot be dropped on (their drop targets are objects of that process).
//
// HDROP layout (global memory): DROPFILES, then at offset pFiles the paths as UTF-16, each
// NUL-ended, and one more NUL.
#pragma once

#include <string>
#include <vector>

#include "platform/base/types.h"
#include "platform/com/unknown.h"

DECLARE_HANDLE(HDROP);

struct DROPFILES {
  DWORD pFiles;  // offset of the file list from the start of this record
  POINT pt;      // drop point: client coordinates of the window, or screen when fNC
  BOOL fNC;
  BOOL fWide;    // always TRUE here
};
using LPDROPFILES = DROPFILES*;

// Sets or clears the window's WS_EX_ACCEPTFILES.
void DragAcceptFiles(HWND hWnd, BOOL fAccept);
// iFile 0xFFFFFFFF: the number of files. lpszFile null: the length of file iFile without its NUL.
// Otherwise copies at most cch - 1 characters and a NUL and returns the characters copied; 0 for
// an index past the end or a bad handle.
UINT DragQueryFileW(HDROP hDrop, UINT iFile, LPWSTR lpszFile, UINT cch);
// The drop point; TRUE when it lies in the client area (fNC FALSE).
BOOL DragQueryPoint(HDROP hDrop, LPPOINT lppt);
// Frees the HDROP.
void DragFinish(HDROP hDrop);

// ---- OLE data transfer ----

using CLIPFORMAT = WORD;
#define CF_TEXT 1
#define CF_BITMAP 2
#define CF_UNICODETEXT 13
#define CF_HDROP 15

#define DVASPECT_CONTENT 1
#define DVASPECT_THUMBNAIL 2
#define DVASPECT_ICON 4
#define DVASPECT_DOCPRINT 8

#define TYMED_NULL 0
#define TYMED_HGLOBAL 1
#define TYMED_FILE 2
#define TYMED_ISTREAM 4
#define TYMED_ISTORAGE 8
#define TYMED_GDI 16

struct DVTARGETDEVICE;
struct FORMATETC {
  CLIPFORMAT cfFormat;
  DVTARGETDEVICE* ptd;
  DWORD dwAspect;
  LONG lindex;
  DWORD tymed;
};
using LPFORMATETC = FORMATETC*;

struct STGMEDIUM {
  DWORD tymed;
  union {
    HGLOBAL hGlobal;
    LPWSTR lpszFileName;
    void* pstm;
    void* pstg;
    HGDIOBJ hBitmap;
  };
  IUnknown* pUnkForRelease;
};
using LPSTGMEDIUM = STGMEDIUM*;

// Frees a medium: Release of pUnkForRelease when set, else the medium itself (GlobalFree for
// TYMED_HGLOBAL, CoTaskMemFree of the name for TYMED_FILE).
void ReleaseStgMedium(LPSTGMEDIUM pmedium);

#ifndef DV_E_FORMATETC
#define DV_E_FORMATETC static_cast<HRESULT>(0x80040064L)
#define DV_E_LINDEX static_cast<HRESULT>(0x80040068L)
#define DV_E_TYMED static_cast<HRESULT>(0x80040069L)
#define DV_E_DVASPECT static_cast<HRESULT>(0x8004006BL)
#endif
#ifndef OLE_E_ADVISENOTSUPPORTED
#define OLE_E_ADVISENOTSUPPORTED static_cast<HRESULT>(0x80040003L)
#endif
#ifndef DATA_S_SAMEFORMATETC
#define DATA_S_SAMEFORMATETC static_cast<HRESULT>(0x00040130L)
#endif
#ifndef DRAGDROP_E_NOTREGISTERED
#define DRAGDROP_E_NOTREGISTERED static_cast<HRESULT>(0x80040100L)
#define DRAGDROP_E_ALREADYREGISTERED static_cast<HRESULT>(0x80040101L)
#define DRAGDROP_E_INVALIDHWND static_cast<HRESULT>(0x80040102L)
#endif

DEFINE_OLEGUID(IID_IDataObject, 0x0000010E, 0, 0);
DEFINE_OLEGUID(IID_IDropTarget, 0x00000122, 0, 0);

struct IEnumFORMATETC;
struct IAdviseSink;
struct IEnumSTATDATA;

struct IDataObject : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* pformatetc, STGMEDIUM* pmedium) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* pformatetc) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* pformatectIn, FORMATETC* pformatetcOut) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetData(FORMATETC* pformatetc, STGMEDIUM* pmedium, BOOL fRelease) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** ppenumFormatEtc) = 0;
  virtual HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink,
                                            DWORD* pdwConnection) = 0;
  virtual HRESULT STDMETHODCALLTYPE DUnadvise(DWORD dwConnection) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** ppenumAdvise) = 0;

 protected:
  ~IDataObject() = default;
};
using LPDATAOBJECT = IDataObject*;
KIPO_COM_INTERFACE(IDataObject, IID_IDataObject)

#define DROPEFFECT_NONE 0
#define DROPEFFECT_COPY 1
#define DROPEFFECT_MOVE 2
#define DROPEFFECT_LINK 4
#define DROPEFFECT_SCROLL 0x80000000

#ifndef MK_LBUTTON
#define MK_LBUTTON 0x0001
#define MK_RBUTTON 0x0002
#define MK_SHIFT 0x0004
#define MK_CONTROL 0x0008
#define MK_MBUTTON 0x0010
#endif

struct IDropTarget : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) = 0;
  virtual HRESULT STDMETHODCALLTYPE DragOver(DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) = 0;
  virtual HRESULT STDMETHODCALLTYPE DragLeave() = 0;
  virtual HRESULT STDMETHODCALLTYPE Drop(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) = 0;

 protected:
  ~IDropTarget() = default;
};
using LPDROPTARGET = IDropTarget*;
KIPO_COM_INTERFACE(IDropTarget, IID_IDropTarget)

// Makes pDropTarget (AddRef'd) the drop target of a window of this process. E_OUTOFMEMORY when
// the thread has not initialised COM (OleInitialize), as Windows answers; DRAGDROP_E_INVALIDHWND
// for a window that is not this process's; DRAGDROP_E_ALREADYREGISTERED; E_INVALIDARG for a null
// target.
HRESULT RegisterDragDrop(HWND hwnd, LPDROPTARGET pDropTarget);
// Releases the window's drop target; DRAGDROP_E_NOTREGISTERED when it has none.
HRESULT RevokeDragDrop(HWND hwnd);

namespace platform::dragdrop {

// A new HDROP (global memory) holding the paths, with the point in client coordinates unless
// nonClient.
HGLOBAL makeHDrop(const std::vector<std::u16string>& paths, POINT pt, bool nonClient = false);
// A data object (one reference, the caller's) offering the paths as CF_HDROP / TYMED_HGLOBAL;
// GetData hands out a fresh copy each time, which the caller frees with ReleaseStgMedium.
IDataObject* makeFileDataObject(const std::vector<std::u16string>& paths);

enum class DropKind { None, OleTarget, DropFilesMessage };
struct DropResult {
  DropKind kind = DropKind::None;
  HWND receiver = nullptr;  // the window whose drop target or WM_DROPFILES took the drop
  DWORD effect = DROPEFFECT_NONE;  // OLE: the effect Drop reported (DROPEFFECT_NONE when refused)
  bool dropped = false;     // OLE: Drop was called (not DragLeave); WM_DROPFILES: it was posted
};

// Plays a drag of `paths` onto `target` (see the top of this file). `screenPoint` is where the
// mouse is released (the window's centre when null); `allowed` the effects the source offers;
// `keyState` the MK_ keys held while dragging (MK_LBUTTON is dropped from it for Drop, as the
// button is released then).
DropResult dropFiles(HWND target, const std::vector<std::u16string>& paths, const POINT* screenPoint = nullptr,
                     DWORD allowed = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK, DWORD keyState = MK_LBUTTON);

// The drop target registered for a window of this process, or null (no reference added).
IDropTarget* registeredTarget(HWND hwnd);

}  // namespace platform::dragdrop
