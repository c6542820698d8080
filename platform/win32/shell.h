// The shell's folder and desktop calls (shell32, with the few shlwapi helpers that go with them):
// special folders, item lists and the desktop folder's display names, the shell allocator,
// byte-size texts, path compaction, change notifications and the taskbar queries.
//
// Special folders come from the registry as on XP: the user's "User Shell Folders" value
// (REG_EXPAND_SZ, expanded with the process's environment), else its "Shell Folders" value, else
// the default place under the profile; common folders from the same keys under
// HKEY_LOCAL_MACHINE. Virtual folders (My Computer, My Network Places, Recycle Bin, Internet,
// Control Panel, Printers) have no path.
//
// Item lists (ITEMIDLIST) are our own small form: the empty list is the desktop; every other list
// the shell makes holds one item, a direct child of the desktop:
//   USHORT cb         size of the item, these 2 bytes included
//   BYTE   'K'        signature
//   BYTE   kind       1 = a file-system folder or file, 2 = a virtual folder
//   WORD   csidl      the special folder it was made for, or 0xFFFF
//   WCHAR  text[]     the full path, or for a virtual folder its parsing name "::{CLSID}", NUL-ended
// followed by the terminating USHORT 0. Lists are allocated with CoTaskMemAlloc (free them with
// ILFree, CoTaskMemFree or the shell allocator's Free).
#pragma once

#include <string>
#include <vector>

#include "platform/base/types.h"
#include "platform/com/guid.h"
#include "platform/com/runtime.h"
#include "platform/com/unknown.h"
#include "platform/win32/error.h"

// --- special folders ----------------------------------------------------------------------------

#define CSIDL_DESKTOP 0x0000
#define CSIDL_INTERNET 0x0001
#define CSIDL_PROGRAMS 0x0002
#define CSIDL_CONTROLS 0x0003
#define CSIDL_PRINTERS 0x0004
#define CSIDL_PERSONAL 0x0005
#define CSIDL_FAVORITES 0x0006
#define CSIDL_STARTUP 0x0007
#define CSIDL_RECENT 0x0008
#define CSIDL_SENDTO 0x0009
#define CSIDL_BITBUCKET 0x000A
#define CSIDL_STARTMENU 0x000B
#define CSIDL_MYMUSIC 0x000D
#define CSIDL_MYVIDEO 0x000E
#define CSIDL_DESKTOPDIRECTORY 0x0010
#define CSIDL_DRIVES 0x0011
#define CSIDL_NETWORK 0x0012
#define CSIDL_NETHOOD 0x0013
#define CSIDL_FONTS 0x0014
#define CSIDL_TEMPLATES 0x0015
#define CSIDL_COMMON_STARTMENU 0x0016
#define CSIDL_COMMON_PROGRAMS 0x0017
#define CSIDL_COMMON_STARTUP 0x0018
#define CSIDL_COMMON_DESKTOPDIRECTORY 0x0019
#define CSIDL_APPDATA 0x001A
#define CSIDL_PRINTHOOD 0x001B
#define CSIDL_LOCAL_APPDATA 0x001C
#define CSIDL_COMMON_FAVORITES 0x001F
#define CSIDL_INTERNET_CACHE 0x0020
#define CSIDL_COOKIES 0x0021
#define CSIDL_HISTORY 0x0022
#define CSIDL_COMMON_APPDATA 0x0023
#define CSIDL_WINDOWS 0x0024
#define CSIDL_SYSTEM 0x0025
#define CSIDL_PROGRAM_FILES 0x0026
#define CSIDL_MYPICTURES 0x0027
#define CSIDL_PROFILE 0x0028
#define CSIDL_PROGRAM_FILES_COMMON 0x002B
#define CSIDL_COMMON_TEMPLATES 0x002D
#define CSIDL_COMMON_DOCUMENTS 0x002E
#define CSIDL_FLAG_CREATE 0x8000
#define CSIDL_FLAG_DONT_VERIFY 0x4000
#define CSIDL_FLAG_NO_ALIAS 0x1000
#define CSIDL_FLAG_MASK 0xFF00

#define SHGFP_TYPE_CURRENT 0
#define SHGFP_TYPE_DEFAULT 1

struct SHITEMID {
  USHORT cb;
  BYTE abID[1];
};
struct ITEMIDLIST {
  SHITEMID mkid;
};
using LPITEMIDLIST = ITEMIDLIST*;
using LPCITEMIDLIST = const ITEMIDLIST*;
using PIDLIST_ABSOLUTE = ITEMIDLIST*;
using PCIDLIST_ABSOLUTE = const ITEMIDLIST*;

// The folder's path into pszPath (MAX_PATH characters). hToken: null for the calling process's
// user, -1 for the default user's profile, or a token (its user's default places). dwFlags:
// SHGFP_TYPE_CURRENT or SHGFP_TYPE_DEFAULT (the place a fresh profile has, ignoring the registry).
// With CSIDL_FLAG_CREATE a missing folder is created. Results: S_OK; E_FAIL when the folder
// does not exist (the A form answers S_FALSE, as XP's does) or is virtual; E_INVALIDARG for an
// unknown CSIDL. pszPath is empty on failure.
HRESULT SHGetFolderPathW(HWND hwnd, int csidl, HANDLE hToken, DWORD dwFlags, LPWSTR pszPath);
HRESULT SHGetFolderPathA(HWND hwnd, int csidl, HANDLE hToken, DWORD dwFlags, LPSTR pszPath);
// TRUE with the path, FALSE for a virtual, unknown or (without fCreate) missing folder.
BOOL SHGetSpecialFolderPathW(HWND hwnd, LPWSTR pszPath, int csidl, BOOL fCreate);
BOOL SHGetSpecialFolderPathA(HWND hwnd, LPSTR pszPath, int csidl, BOOL fCreate);
// The folder's item list (*ppidl null on failure); virtual folders have one too. dwReserved
// must be 0.
HRESULT SHGetFolderLocation(HWND hwnd, int csidl, HANDLE hToken, DWORD dwReserved, LPITEMIDLIST* ppidl);
HRESULT SHGetSpecialFolderLocation(HWND hwnd, int csidl, LPITEMIDLIST* ppidl);
// The file-system path of an item list (the desktop's is the desktop folder); FALSE with an
// empty pszPath for a virtual folder or a list the shell did not make.
BOOL SHGetPathFromIDListW(LPCITEMIDLIST pidl, LPWSTR pszPath);
BOOL SHGetPathFromIDListA(LPCITEMIDLIST pidl, LPSTR pszPath);

void ILFree(LPITEMIDLIST pidl);
LPITEMIDLIST ILClone(LPCITEMIDLIST pidl);
// Bytes of the list including the terminator (0 for null).
UINT ILGetSize(LPCITEMIDLIST pidl);
LPITEMIDLIST ILFindLastID(LPCITEMIDLIST pidl);

// Drops the process's cache of special-folder paths; this stand-in keeps none (every lookup reads
// the registry), so there is nothing to drop.
void SHFlushSFCache();

// --- the shell allocator and the desktop folder -------------------------------------------------

DEFINE_OLEGUID(IID_IMalloc, 0x00000002, 0, 0);
DEFINE_OLEGUID(IID_IShellFolder, 0x000214E6, 0, 0);

struct IMalloc : IUnknown {
  virtual void* STDMETHODCALLTYPE Alloc(SIZE_T cb) = 0;
  virtual void* STDMETHODCALLTYPE Realloc(void* pv, SIZE_T cb) = 0;
  virtual void STDMETHODCALLTYPE Free(void* pv) = 0;
  virtual SIZE_T STDMETHODCALLTYPE GetSize(void* pv) = 0;
  virtual int STDMETHODCALLTYPE DidAlloc(void* pv) = 0;
  virtual void STDMETHODCALLTYPE HeapMinimize() = 0;

 protected:
  ~IMalloc() = default;
};
using LPMALLOC = IMalloc*;
KIPO_COM_INTERFACE(IMalloc, IID_IMalloc)

#define STRRET_WSTR 0x0000
#define STRRET_OFFSET 0x0001
#define STRRET_CSTR 0x0002
struct STRRET {
  UINT uType;
  union {
    LPWSTR pOleStr;
    UINT uOffset;
    char cStr[MAX_PATH];
  };
};
using LPSTRRET = STRRET*;

#define SHGDN_NORMAL 0x0000
#define SHGDN_INFOLDER 0x0001
#define SHGDN_FOREDITING 0x1000
#define SHGDN_FORADDRESSBAR 0x4000
#define SHGDN_FORPARSING 0x8000
using SHGDNF = DWORD;

#define SFGAO_CANCOPY 0x00000001L
#define SFGAO_CANMOVE 0x00000002L
#define SFGAO_CANLINK 0x00000004L
#define SFGAO_FILESYSANCESTOR 0x10000000L
#define SFGAO_FOLDER 0x20000000L
#define SFGAO_FILESYSTEM 0x40000000L
#define SFGAO_HASSUBFOLDER 0x80000000L
using SFGAOF = ULONG;

struct IBindCtx;
struct IEnumIDList;

struct IShellFolder : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE ParseDisplayName(HWND hwnd, IBindCtx* pbc, LPWSTR pszDisplayName, ULONG* pchEaten,
                                                     LPITEMIDLIST* ppidl, ULONG* pdwAttributes) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumObjects(HWND hwnd, DWORD grfFlags, IEnumIDList** ppenumIDList) = 0;
  virtual HRESULT STDMETHODCALLTYPE BindToObject(LPCITEMIDLIST pidl, IBindCtx* pbc, REFIID riid, void** ppv) = 0;
  virtual HRESULT STDMETHODCALLTYPE BindToStorage(LPCITEMIDLIST pidl, IBindCtx* pbc, REFIID riid, void** ppv) = 0;
  virtual HRESULT STDMETHODCALLTYPE CompareIDs(LPARAM lParam, LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateViewObject(HWND hwndOwner, REFIID riid, void** ppv) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAttributesOf(UINT cidl, LPCITEMIDLIST* apidl, SFGAOF* rgfInOut) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND hwndOwner, UINT cidl, LPCITEMIDLIST* apidl, REFIID riid,
                                                  UINT* rgfReserved, void** ppv) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDisplayNameOf(LPCITEMIDLIST pidl, SHGDNF uFlags, STRRET* pName) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetNameOf(HWND hwnd, LPCITEMIDLIST pidl, LPCWSTR pszName, SHGDNF uFlags,
                                              LPITEMIDLIST* ppidlOut) = 0;

 protected:
  ~IShellFolder() = default;
};
using LPSHELLFOLDER = IShellFolder*;
KIPO_COM_INTERFACE(IShellFolder, IID_IShellFolder)

// The process's shell allocator (over CoTaskMemAlloc); one object, counted references.
HRESULT SHGetMalloc(LPMALLOC* ppMalloc);
// The desktop folder. GetDisplayNameOf: SHGDN_NORMAL / SHGDN_INFOLDER give the name Explorer
// shows ("My Documents", "Recycle Bin", or the folder's own name), SHGDN_FORPARSING the path (with
// SHGDN_INFOLDER its last component) or "::{CLSID}" for a virtual folder. ParseDisplayName takes
// an absolute path of an existing file or folder (HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when
// there is none) or a virtual folder's "::{CLSID}". BindToObject, EnumObjects and the view
// objects answer E_NOTIMPL.
HRESULT SHGetDesktopFolder(IShellFolder** ppshf);
// The parent folder of the list's last item (always the desktop: every item the shell makes is
// its child) and that item.
HRESULT SHBindToParent(LPCITEMIDLIST pidl, REFIID riid, void** ppv, LPCITEMIDLIST* ppidlLast);
// A STRRET as text: cch characters at most with the NUL (truncating); a STRRET_WSTR's memory is
// freed. StrRetToStrW gives a CoTaskMemAlloc copy.
HRESULT StrRetToBufW(STRRET* pstr, LPCITEMIDLIST pidl, LPWSTR pszBuf, UINT cchBuf);
HRESULT StrRetToStrW(STRRET* pstr, LPCITEMIDLIST pidl, LPWSTR* ppsz);

// --- texts --------------------------------------------------------------------------------------

// "532 bytes", "1.30 KB", "22.9 KB", "2.28 MB": below 1024 the count in bytes; above, three
// significant digits (truncated, not rounded) in the smallest unit of KB, MB, GB, TB, PB, EB in
// which the number is below 1000, with the user locale's decimal separator. The text is cut to
// cchBuf characters with its NUL. Returns pszBuf.
LPWSTR StrFormatByteSizeW(LONGLONG qdw, LPWSTR pszBuf, UINT cchBuf);
LPSTR StrFormatByteSize64A(LONGLONG qdw, LPSTR pszBuf, UINT cchBuf);
LPSTR StrFormatByteSizeA(DWORD dw, LPSTR pszBuf, UINT cchBuf);

// Shortens pszPath in place to fit dx pixels: the start of the folder part, "...", and the last
// component ("C:\Documents...\file.txt"); when even "...\file.txt" is too wide, the last
// component cut with "..." at its end. Text is measured in the default font (see
// platform::shell::textWidth). TRUE unless pszPath is null.
BOOL PathCompactPathW(HDC hDC, LPWSTR pszPath, UINT dx);

// --- change notifications -----------------------------------------------------------------------

#define SHCNE_RENAMEITEM 0x00000001L
#define SHCNE_CREATE 0x00000002L
#define SHCNE_DELETE 0x00000004L
#define SHCNE_MKDIR 0x00000008L
#define SHCNE_RMDIR 0x00000010L
#define SHCNE_MEDIAINSERTED 0x00000020L
#define SHCNE_MEDIAREMOVED 0x00000040L
#define SHCNE_DRIVEREMOVED 0x00000080L
#define SHCNE_DRIVEADD 0x00000100L
#define SHCNE_ATTRIBUTES 0x00000800L
#define SHCNE_UPDATEDIR 0x00001000L
#define SHCNE_UPDATEITEM 0x00002000L
#define SHCNE_RENAMEFOLDER 0x00020000L
#define SHCNE_FREESPACE 0x00040000L
#define SHCNE_ASSOCCHANGED 0x08000000L
#define SHCNE_ALLEVENTS 0x7FFFFFFFL

#define SHCNF_IDLIST 0x0000
#define SHCNF_PATHA 0x0001
#define SHCNF_PRINTERA 0x0002
#define SHCNF_DWORD 0x0003
#define SHCNF_PATHW 0x0005
#define SHCNF_PRINTERW 0x0006
#define SHCNF_TYPE 0x00FF
#define SHCNF_FLUSH 0x1000
#define SHCNF_FLUSHNOWAIT 0x2000

// Recorded in host.db (platform::shell::changeNotifications), with the items as text: paths,
// printer names, an item list's path or parsing name, or a DWORD in decimal.
void SHChangeNotify(LONG wEventId, UINT uFlags, LPCVOID dwItem1, LPCVOID dwItem2);

// --- the taskbar --------------------------------------------------------------------------------

#define ABM_NEW 0x00000000
#define ABM_REMOVE 0x00000001
#define ABM_QUERYPOS 0x00000002
#define ABM_SETPOS 0x00000003
#define ABM_GETSTATE 0x00000004
#define ABM_GETTASKBARPOS 0x00000005
#define ABM_ACTIVATE 0x00000006
#define ABM_GETAUTOHIDEBAR 0x00000007
#define ABM_SETAUTOHIDEBAR 0x00000008
#define ABM_WINDOWPOSCHANGED 0x0000009
#define ABE_LEFT 0
#define ABE_TOP 1
#define ABE_RIGHT 2
#define ABE_BOTTOM 3
#define ABS_AUTOHIDE 0x0000001
#define ABS_ALWAYSONTOP 0x0000002

struct APPBARDATA {
  DWORD cbSize;
  HWND hWnd;
  UINT uCallbackMessage;
  UINT uEdge;
  RECT rc;
  LPARAM lParam;
};
using PAPPBARDATA = APPBARDATA*;

// Answered from the host: the taskbar lies along the edge of fact taskbar_position, 30 pixels
// thick across the screen of facts screen_width x screen_height; its state is always-on-top
// unless the byte at offset 8 of the user's "StuckRects2" Settings value says otherwise (bit 0
// auto-hide, bit 1 always on top), as Explorer keeps it. ABM_GETTASKBARPOS fills uEdge, rc and
// hWnd (the "Shell_TrayWnd" window, or null while Explorer is not running) and returns TRUE;
// ABM_GETSTATE returns the ABS_ bits; ABM_GETAUTOHIDEBAR returns the taskbar window when it
// auto-hides on pData->uEdge, else 0. Registering other appbars is not offered (0).
UINT_PTR SHAppBarMessage(DWORD dwMessage, PAPPBARDATA pData);

namespace platform::shell {

// Taskbar thickness in pixels.
inline constexpr int kTaskbarThickness = 30;

// The width in pixels of text in the DC's font (no DC: the default GUI font, where a character
// counts kDefaultCharWidth pixels), by the font metrics of platform/win32/gdi.h.
inline constexpr int kDefaultCharWidth = 6;
int textWidth(HDC dc, std::u16string_view text);

// One SHChangeNotify call as recorded.
struct ChangeNotification {
  std::int64_t id;
  LONG event;
  std::u16string item1, item2;
  std::int64_t processId;
};
// The recorded notifications, oldest first (the host keeps the last 1000).
std::vector<ChangeNotification> changeNotifications();
void clearChangeNotifications();

}  // namespace platform::shell
