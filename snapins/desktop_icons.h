// Desktop icon positions: the host's desktop icons step aside while the user's desktop is shown
// and come back exactly where they were. The icon list belongs to Explorer's process, so its list
// view is driven from here through blocks of memory allocated in that process. Positions are kept
// under "HKEY_CURRENT_USER\Software\Brackwater\Kipo\localPrefs\DIPS": one REG_BINARY value of 8
// bytes (x then y, little-endian signed 32 bits, list-view coordinates) per icon text.
#pragma once

#include "platform/afx/cstring.h"
#include "platform/base/types.h"

// A REG_DWORD under HKEY_CURRENT_USER changed for a while: the destructor writes back the value
// first read when it was changed.
class DesktopSettingRegKey {
 public:
  DesktopSettingRegKey(const CString& subkey, const CString& valueName);
  virtual ~DesktopSettingRegKey();
  DesktopSettingRegKey(const DesktopSettingRegKey&) = delete;
  DesktopSettingRegKey& operator=(const DesktopSettingRegKey&) = delete;

  // Writes the value (unless it equals the first-read one and not forced) and refreshes the
  // desktop; false when the write failed.
  bool setValue(DWORD value, bool force);
  // -1 until read.
  LONG firstValue() const { return m_firstValue; }
  // Writes the first value back now (the destructor then has nothing left to do).
  void restoreFirstValue();
  LONG currentValue() const { return m_currentValue; }

 protected:
  // The value to write back in the end, when it is known better than by the first read.
  void setFirstValue(LONG value) { m_firstValue = value; }

 private:
  HKEY m_key = nullptr;
  CString m_subkey;
  CString m_valueName;
  LONG m_firstValue = -1;
  LONG m_currentValue = -1;
};

// Shows file name extensions ("HideFileExt" 0) for its lifetime, so icon texts stay unique and
// the same between a save and a restore. The host's own value is parked in the product's
// localPrefs ("HideFileExt", 0xFFFFFFFF for none) while it is changed, so that a program killed
// meanwhile does not leave it changed: the next one (or the recovery run) puts it back.
class HideExtDesktopSettingRegKey : public DesktopSettingRegKey {
 public:
  HideExtDesktopSettingRegKey();
  ~HideExtDesktopSettingRegKey() override;
};

// Puts back a "HideFileExt" value parked by a program that was killed while it had changed it;
// false when there was none or it could not be written.
bool restoreParkedHideFileExt();

// What the file snap-in keeps of the desktop: the handle of its icon list view.
struct CDesktopIconStore {
  HWND listView = nullptr;
};

inline constexpr const char16_t* kDesktopIconPositionsKey = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\localPrefs\\DIPS";
// Highest value index the restore handles.
inline constexpr int kMaxDesktopIconIndex = 1000;

// Finds the desktop's list view and keeps it in the store; true when the store holds one.
bool findDesktopListView(CDesktopIconStore& store);
// Stores every icon's position (the key made anew), then moves all but the special items off the
// visible screen into a second work area. False on any failure (logged).
bool saveDesktopIconPositions(CDesktopIconStore& store);
// Gives the list view back the whole screen and puts each stored icon at its stored position.
bool restoreDesktopIconPositions(CDesktopIconStore& store);
// The position key holds at least one value.
bool hasSavedIconPositions();
// Whether an icon text names one of the shell's virtual folders that never move (My Computer,
// network, My Documents, Recycle Bin, Internet, "Network Neighborhood", "Microsoft Outlook").
bool isSpecialDesktopIcon(const CString& text);
