// The shell-link server: CLSID_ShellLink with IShellLinkW and IPersistFile, reading and writing
// shortcut (".lnk") files in the stand-in's own format (lnk-format.txt beside this file).
// The link keeps its target as a path; there are no item-id lists.
#pragma once

#include "platform/com/persist.h"
#include "platform/win32/file.h"

DEFINE_OLEGUID(CLSID_ShellLink, 0x00021401, 0, 0);
DEFINE_OLEGUID(IID_IShellLinkW, 0x000214F9, 0, 0);

// IShellLinkW::GetPath flags.
#define SLGP_SHORTPATH 0x1
#define SLGP_UNCPRIORITY 0x2
#define SLGP_RAWPATH 0x4

// IShellLinkW::Resolve flags.
#define SLR_NO_UI 0x0001
#define SLR_ANY_MATCH 0x0002
#define SLR_UPDATE 0x0004
#define SLR_NOUPDATE 0x0008
#define SLR_NOSEARCH 0x0010
#define SLR_NOTRACK 0x0020
#define SLR_NOLINKINFO 0x0040
#define SLR_INVOKE_MSI 0x0080

// Every Get copies at most cch - 1 characters and a NUL (E_INVALIDARG when cch < 1); every Set
// copies the text (E_INVALIDARG for null text or text over 32,767 characters) and makes the link
// dirty.
struct IShellLinkW : IUnknown {
  // S_FALSE and an empty buffer when the link has no target. data, when given, describes the
  // target as it is now (zeros and the file name when it does not exist).
  virtual HRESULT STDMETHODCALLTYPE GetPath(LPWSTR file, int cch, WIN32_FIND_DATAW* data, DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDescription(LPWSTR name, int cch) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDescription(LPCWSTR name) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPWSTR dir, int cch) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCWSTR dir) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetArguments(LPWSTR args, int cch) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetArguments(LPCWSTR args) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHotkey(WORD* hotkey) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetHotkey(WORD hotkey) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetShowCmd(int* showCmd) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetShowCmd(int showCmd) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIconLocation(LPWSTR iconPath, int cch, int* icon) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetIconLocation(LPCWSTR iconPath, int icon) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetRelativePath(LPCWSTR path, DWORD reserved) = 0;
  // S_OK when the target exists; S_FALSE when it does not (the link is left as it is: there is
  // no search for a moved target).
  virtual HRESULT STDMETHODCALLTYPE Resolve(HWND window, DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPath(LPCWSTR file) = 0;

 protected:
  ~IShellLinkW() = default;
};

KIPO_COM_INTERFACE(IShellLinkW, IID_IShellLinkW)

namespace platform::com {

// The contents of a shortcut file, and its byte form. decodeShortcut checks every length and
// count against the bytes left and returns false for anything that is not a whole, valid file.
struct ShortcutData {
  std::u16string target;
  std::u16string arguments;
  std::u16string workingDirectory;
  std::u16string description;
  std::u16string iconPath;
  LONG iconIndex = 0;
  LONG showCmd = 1;  // SW_SHOWNORMAL
  WORD hotkey = 0;
};
std::string encodeShortcut(const ShortcutData& data);
bool decodeShortcut(std::string_view bytes, ShortcutData& data);

}  // namespace platform::com
