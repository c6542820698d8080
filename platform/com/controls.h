// ActiveX controls: the interfaces between a control and the container that holds it (client
// site, in-place site, connection points, persistence from a stream), and the stand-in's own
// controls and objects: the web browser (IWebBrowser2 with its DWebBrowserEvents2 events), the
// Flash player (IShockwaveFlash: the movie is recorded, never played) and the Internet shortcut
// (IUniformResourceLocatorW, opened through the shell).
//
// The stand-in controls keep what a person or a test may look at in the host's record of control
// windows (platform/host/ole_controls.h): the class id, the page's address or the movie, and the
// page's links. A browser control reads local HTML files only; its links come from an HTML
// parser, nothing in a page runs and nothing is fetched. Saved state (a dialog's initial data,
// IPersistStreamInit::Load) is UTF-8 text, one `Name=Value` per line: "Location" for the browser
// (navigated to when it is in place), "Movie" for the player; unknown names are ignored.
#pragma once

#include <string>

#include "platform/com/dispatch.h"
#include "platform/com/persist.h"
#include "platform/com/stream.h"

// ---- Container and control ----

// IOleObject::DoVerb verbs.
#define OLEIVERB_PRIMARY 0L
#define OLEIVERB_SHOW (-1L)
#define OLEIVERB_OPEN (-2L)
#define OLEIVERB_HIDE (-3L)
#define OLEIVERB_UIACTIVATE (-4L)
#define OLEIVERB_INPLACEACTIVATE (-5L)
// IOleObject::Close options.
#define OLECLOSE_SAVEIFDIRTY 0
#define OLECLOSE_NOSAVE 1
#define OLECLOSE_PROMPTSAVE 2

// Ambient properties a container answers through its client site's IDispatch.
#define DISPID_AMBIENT_LOCALEID (-705)
#define DISPID_AMBIENT_USERMODE (-709)
#define DISPID_AMBIENT_UIDEAD (-710)
#define DISPID_AMBIENT_SHOWGRABHANDLES (-711)
#define DISPID_AMBIENT_SHOWHATCHING (-712)
#define DISPID_AMBIENT_DISPLAYASDEFAULT (-713)

struct IOleClientSite : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SaveObject() = 0;
  virtual HRESULT STDMETHODCALLTYPE ShowObject() = 0;
  virtual HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL show) = 0;

 protected:
  ~IOleClientSite() = default;
};

struct IOleInPlaceSite : IUnknown {
  // The window the control's window is a child of.
  virtual HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) = 0;
  virtual HRESULT STDMETHODCALLTYPE CanInPlaceActivate() = 0;
  virtual HRESULT STDMETHODCALLTYPE OnInPlaceActivate() = 0;
  virtual HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT position) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() = 0;

 protected:
  ~IOleInPlaceSite() = default;
};

struct IOleObject : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) = 0;
  // OLEIVERB_INPLACEACTIVATE and OLEIVERB_SHOW make the control's window, a child of the in-place
  // site's window at `position` (client coordinates of that window).
  virtual HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, HWND parent, LPCRECT position) = 0;
  // Leaves the in-place state (the window goes) and lets go of the site.
  virtual HRESULT STDMETHODCALLTYPE Close(DWORD saveOption) = 0;

 protected:
  ~IOleObject() = default;
};

struct IOleInPlaceObject : IUnknown {
  // E_FAIL while the control has no window.
  virtual HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT clip) = 0;
  virtual HRESULT STDMETHODCALLTYPE InPlaceDeactivate() = 0;

 protected:
  ~IOleInPlaceObject() = default;
};

// GetGUID's kinds.
#define GUIDKIND_DEFAULT_SOURCE_DISP_IID 1
struct IProvideClassInfo2 : IUnknown {
  // GUIDKIND_DEFAULT_SOURCE_DISP_IID: the events interface the control calls on its sinks.
  virtual HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) = 0;

 protected:
  ~IProvideClassInfo2() = default;
};

#define CONNECT_E_NOCONNECTION static_cast<HRESULT>(0x80040200L)
#define CONNECT_E_ADVISELIMIT static_cast<HRESULT>(0x80040201L)
#define CONNECT_E_CANNOTCONNECT static_cast<HRESULT>(0x80040202L)

struct IConnectionPoint : IUnknown {
  // The sink must answer QueryInterface for the events interface or IDispatch
  // (CONNECT_E_CANNOTCONNECT otherwise); the cookie, never 0, undoes it.
  virtual HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) = 0;

 protected:
  ~IConnectionPoint() = default;
};

struct IConnectionPointContainer : IUnknown {
  // CONNECT_E_NOCONNECTION for an events interface the object does not raise.
  virtual HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** point) = 0;

 protected:
  ~IConnectionPointContainer() = default;
};

struct IPersistStreamInit : IPersist {
  virtual HRESULT STDMETHODCALLTYPE Load(IStream* stream) = 0;
  virtual HRESULT STDMETHODCALLTYPE InitNew() = 0;

 protected:
  ~IPersistStreamInit() = default;
};

// OLECMDID_PRINT and how to run it.
#define OLECMDID_PRINT 6
#define OLECMDEXECOPT_DODEFAULT 0
#define OLECMDEXECOPT_PROMPTUSER 1
#define OLECMDEXECOPT_DONTPROMPTUSER 2
#define OLECMDERR_E_NOTSUPPORTED static_cast<HRESULT>(0x80040100L)
#define OLECMDERR_E_UNKNOWNGROUP static_cast<HRESULT>(0x80040104L)

struct IOleCommandTarget : IUnknown {
  // group null: the standard commands. OLECMDERR_E_UNKNOWNGROUP for another group,
  // OLECMDERR_E_NOTSUPPORTED for a command the object does not do.
  virtual HRESULT STDMETHODCALLTYPE Exec(const GUID* group, DWORD command, DWORD option, VARIANT* in,
                                         VARIANT* out) = 0;

 protected:
  ~IOleCommandTarget() = default;
};

DEFINE_GUID(IID_IOleClientSite, 0x00000118, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
DEFINE_GUID(IID_IOleInPlaceSite, 0x00000119, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
DEFINE_GUID(IID_IOleObject, 0x00000112, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
DEFINE_GUID(IID_IOleInPlaceObject, 0x00000113, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
DEFINE_GUID(IID_IProvideClassInfo2, 0xA6BC3AC0, 0xDBAA, 0x11CE, 0x9D, 0xE3, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51);
DEFINE_GUID(IID_IConnectionPoint, 0xB196B286, 0xBAB4, 0x101A, 0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07);
DEFINE_GUID(IID_IConnectionPointContainer, 0xB196B284, 0xBAB4, 0x101A, 0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D,
            0x07);
DEFINE_GUID(IID_IPersistStreamInit, 0x7FD52380, 0x4E07, 0x101B, 0xAE, 0x2D, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13);
DEFINE_GUID(IID_IOleCommandTarget, 0xB722BCCB, 0x4E68, 0x101B, 0xA2, 0xBC, 0x00, 0xAA, 0x00, 0x40, 0x47, 0x70);

KIPO_COM_INTERFACE(IOleClientSite, IID_IOleClientSite)
KIPO_COM_INTERFACE(IOleInPlaceSite, IID_IOleInPlaceSite)
KIPO_COM_INTERFACE(IOleObject, IID_IOleObject)
KIPO_COM_INTERFACE(IOleInPlaceObject, IID_IOleInPlaceObject)
KIPO_COM_INTERFACE(IProvideClassInfo2, IID_IProvideClassInfo2)
KIPO_COM_INTERFACE(IConnectionPoint, IID_IConnectionPoint)
KIPO_COM_INTERFACE(IConnectionPointContainer, IID_IConnectionPointContainer)
KIPO_COM_INTERFACE(IPersistStreamInit, IID_IPersistStreamInit)
KIPO_COM_INTERFACE(IOleCommandTarget, IID_IOleCommandTarget)

// ---- The web browser control ----

DEFINE_GUID(CLSID_WebBrowser, 0x8856F961, 0x340A, 0x11D0, 0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2);
DEFINE_GUID(IID_IWebBrowser2, 0xD30C1661, 0xCDAF, 0x11D0, 0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E);
DEFINE_GUID(DIID_DWebBrowserEvents2, 0x34A715A0, 0x6587, 0x11D0, 0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D);

// Dispatch ids of IWebBrowser2 and of its events.
#define DISPID_WB_NAVIGATE 0x68
#define DISPID_WB_DOCUMENT 0xCB
#define DISPID_WB_LOCATIONURL 0xD3
#define DISPID_WB_REGISTERASDROPTARGET 0x228
#define DISPID_BEFORENAVIGATE2 250
#define DISPID_NAVIGATECOMPLETE2 252
#define DISPID_DOCUMENTCOMPLETE 259

// Every navigation (Navigate, or a link followed) first raises BeforeNavigate2 (dispid 250:
// the browser, URL, flags, target frame, post data, headers as VARIANT*, then Cancel as
// VARIANT_BOOL*, by reference); a handler that sets Cancel keeps the page as it is. A local page
// (a file: URL or a path) is then read and shown, and NavigateComplete2 (252) and
// DocumentComplete (259) follow with the browser and the URL; any other URL is handed to the
// shell's "open" (ShellExecuteW), the page stays.
struct IWebBrowser2 : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Navigate(BSTR url, VARIANT* flags, VARIANT* targetFrame, VARIANT* postData,
                                             VARIANT* headers) = 0;
  // The address of the page shown (empty before the first navigation).
  virtual HRESULT STDMETHODCALLTYPE get_LocationURL(BSTR* url) = 0;
  // The page's document (IDispatch answering IOleCommandTarget); null when no page is shown.
  virtual HRESULT STDMETHODCALLTYPE get_Document(IDispatch** document) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_RegisterAsDropTarget(VARIANT_BOOL* on) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_RegisterAsDropTarget(VARIANT_BOOL on) = 0;

 protected:
  ~IWebBrowser2() = default;
};
KIPO_COM_INTERFACE(IWebBrowser2, IID_IWebBrowser2)

// ---- The Flash player control ----

DEFINE_GUID(CLSID_ShockwaveFlash, 0xD27CDB6E, 0xAE6D, 0x11CF, 0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00);
DEFINE_GUID(IID_IShockwaveFlash, 0xD27CDB6C, 0xAE6D, 0x11CF, 0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00);
DEFINE_GUID(DIID_ShockwaveFlashEvents, 0xD27CDB6D, 0xAE6D, 0x11CF, 0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00);
#define DISPID_FLASH_MOVIE 0x66

struct IShockwaveFlash : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_Movie(BSTR* movie) = 0;
  // Any text is taken (a missing file shows nothing, as a movie that does not load).
  virtual HRESULT STDMETHODCALLTYPE put_Movie(BSTR movie) = 0;

 protected:
  ~IShockwaveFlash() = default;
};
KIPO_COM_INTERFACE(IShockwaveFlash, IID_IShockwaveFlash)

// ---- The Internet shortcut ----

DEFINE_GUID(CLSID_InternetShortcut, 0xFBF23B40, 0xE3F0, 0x101B, 0x84, 0x88, 0x00, 0xAA, 0x00, 0x3E, 0x56, 0xF8);
DEFINE_GUID(IID_IUniformResourceLocatorW, 0xCABB0DA0, 0xDA57, 0x11CF, 0x99, 0x74, 0x00, 0x20, 0xAF, 0xD7, 0x97,
            0x62);

#define IURL_SETURL_FL_GUESS_PROTOCOL 0x0001
#define IURL_SETURL_FL_USE_DEFAULT_PROTOCOL 0x0002
#define IURL_INVOKECOMMAND_FL_ALLOW_UI 0x0001
#define IURL_INVOKECOMMAND_FL_USE_DEFAULT_VERB 0x0002
#define URL_E_INVALID_SYNTAX static_cast<HRESULT>(0x80041001L)
#define URL_E_UNREGISTERED_PROTOCOL static_cast<HRESULT>(0x80041002L)

struct URLINVOKECOMMANDINFOW {
  DWORD dwcbSize;
  DWORD dwFlags;
  HWND hwndParent;
  LPCWSTR pcszVerb;
};
using PURLINVOKECOMMANDINFOW = URLINVOKECOMMANDINFOW*;
#define PURLINVOKECOMMANDINFO PURLINVOKECOMMANDINFOW
#define URLINVOKECOMMANDINFO URLINVOKECOMMANDINFOW

struct IUniformResourceLocatorW : IUnknown {
  // Null clears the URL. A text without a scheme ("name:") is URL_E_INVALID_SYNTAX unless a flag
  // lets "http://" be put in front.
  virtual HRESULT STDMETHODCALLTYPE SetURL(LPCWSTR url, DWORD flags) = 0;
  // The URL in task memory (the caller frees it with CoTaskMemFree); S_FALSE and null when none.
  virtual HRESULT STDMETHODCALLTYPE GetURL(LPWSTR* url) = 0;
  // Opens the URL with the verb ("open" when USE_DEFAULT_VERB or none is given) through
  // ShellExecuteExW, with no error UI unless ALLOW_UI. E_INVALIDARG for a bad record or no URL;
  // URL_E_UNREGISTERED_PROTOCOL when no program handles the URL's scheme; the shell's failure
  // as HRESULT_FROM_WIN32 otherwise.
  virtual HRESULT STDMETHODCALLTYPE InvokeCommand(PURLINVOKECOMMANDINFOW info) = 0;

 protected:
  ~IUniformResourceLocatorW() = default;
};
KIPO_COM_INTERFACE(IUniformResourceLocatorW, IID_IUniformResourceLocatorW)
#define IUniformResourceLocator IUniformResourceLocatorW
#define IID_IUniformResourceLocator IID_IUniformResourceLocatorW

namespace platform::com {

// The registered message (RegisterWindowMessageW, the same number in every process of the host)
// that makes a browser control window follow a link of its page as a click would: wParam the
// link's number in the host's record, lParam the record's page number (a message for another page
// is ignored).
inline constexpr const char16_t* kFollowLinkMessage = u"KipoBrowserFollowLink";

}  // namespace platform::com
