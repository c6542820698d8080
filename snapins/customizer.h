// The snap-in base: every carried host setting is a CCustomizer. The document drives the snap-ins
// through their passes (backup, personalize, depersonalize, restore, leave no trace), the run
// coordinator through their synchronization steps, and the options pages read and write their
// per-computer preferences (CCustomizerPrefs). The base keeps the per-host state of a snap-in in
// the registry ("personalized", "lastRestoreSucceeded" under localPrefs\Snapins\<name>), so a
// crash leaves a record of which snap-ins still hold the host.
//
// A snap-in's name is stored data: it names its local key, its key in the device pref store and
// its folder on the drive. Subclasses override the virtual operations below; the defaults are
// what a snap-in with nothing to carry does.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "platform/afx/cstring.h"
#include "platform/afx/object.h"
#include "platform/base/types.h"

class CCustomizer;
class CSpaceRecord;
class CSystemProfile;

// Where every snap-in keeps its per-host values, below localPrefs.
inline constexpr const char16_t* kSnapinsKeyName = u"Snapins";
inline constexpr const char16_t* kPersonalizedValue = u"personalized";
inline constexpr const char16_t* kLastRestoreSucceededValue = u"lastRestoreSucceeded";
// The per-computer preference value every snap-in has.
inline constexpr const char16_t* kSynchronizeValue = u"synchronize";

// One snap-in's preferences for one computer. Subclasses add fields and read/write them from the
// key that read and write leave the device pref store pointing at.
class CCustomizerPrefs {
 public:
  CCustomizerPrefs() = default;
  virtual ~CCustomizerPrefs() = default;
  CCustomizerPrefs(const CCustomizerPrefs&) = default;
  CCustomizerPrefs& operator=(const CCustomizerPrefs&) = default;

  // True when synchronize is true.
  virtual bool isDefault() const;
  // synchronize := true.
  virtual void setDefaults();
  // False without a snap-in. When the device pref store has its file, points the store at
  // "Synchronized Computers\<profile key>\<snap-in name>" and reads "synchronize" (a missing or
  // unreadable value leaves the flag unchanged); without the file, setDefaults. True otherwise.
  virtual bool read(CSystemProfile* profile, CCustomizer* customizer);
  // False without a snap-in (or profile). Points the store at the same key and writes
  // "synchronize"; the result is the write's.
  virtual bool write(CSystemProfile* profile, CCustomizer* customizer);

  bool synchronize = true;
};

// Source states (getSourceState): backup and personalize act only from kSourceCarry on.
inline constexpr int kSourceNothing = 0;
inline constexpr int kSourceCarry = 2;
inline constexpr int kSourcePresent = 3;

class CCustomizer : public CObject {
  DECLARE_DYNAMIC(CCustomizer)
 public:
  CCustomizer() = default;
  explicit CCustomizer(const CString& name);
  ~CCustomizer() override;
  CCustomizer(const CCustomizer&) = delete;
  CCustomizer& operator=(const CCustomizer&) = delete;

  // ---- passes (the document) ----
  // Source state 2 or more: setPersonalized(true) and true; else false (nothing written).
  virtual bool personalize();
  virtual bool postPersonalize();
  virtual bool preDepersonalize();
  virtual bool depersonalize();
  // True when the source state is 2 or more.
  virtual bool backup();
  // setPersonalized(false), then true.
  virtual bool restore();
  virtual bool leaveNoTrace();

  // ---- synchronization steps (the run coordinator) ----
  virtual bool preCalculateSyncOps(CSystemProfile* profile);
  // calculationResult: 0 failed, 1 done, 2 cancelled.
  virtual bool postCalculateSyncOps(int calculationResult);
  virtual bool preExecuteSyncOps();
  // executionResult: 0 failed, 1 done, 2 cancelled.
  virtual bool postExecuteSyncOps(CSystemProfile* profile, int executionResult);
  // After the synchronize dialog closed.
  virtual void postSynchronize();

  // ---- preferences ----
  virtual bool savePrefs(CSystemProfile* profile);
  virtual bool loadPrefs(CSystemProfile* profile);
  // Bytes the snap-in keeps on the drive for the record's computer.
  virtual ULONGLONG getDeviceSpace(CSpaceRecord* record);
  // read / write of every stored profile's prefs, in the profile database's order; every profile
  // is tried, true only when all succeeded (and with no profiles).
  virtual bool loadAllPrefs();
  virtual bool saveAllPrefs();
  virtual bool hasDefaultPrefs(CSystemProfile* profile);
  virtual void setDefaultPrefs(CSystemProfile* profile);
  // A computer is removed from the drive: delete what the snap-in keeps for it.
  virtual bool removeProfileData(CSystemProfile* profile);

  // ---- identity and state ----
  virtual CString getName() const;
  virtual void setName(const CString& name);
  // 2 in the base; overrides answer 0 (nothing to carry) or 3 (data present).
  virtual int getSourceState();
  virtual bool removeSourceData();
  virtual bool isSynchronized(CSystemProfile* profile);
  // In memory only; stored by a later savePrefs.
  virtual void setSynchronized(CSystemProfile* profile, bool synchronize);
  // "lastRestoreSucceeded"; true when the value is missing.
  virtual bool getLastRestoreSucceeded();
  virtual bool setLastRestoreSucceeded(bool succeeded);
  // Reads "personalized" into the cache (a missing value leaves it) and returns the cache.
  virtual bool isPersonalized();
  // The device pref store path of the profile's computer joined with the name (empty without a
  // profile).
  virtual CString getComputerPrefsKey(CSystemProfile* profile);
  // The same for this computer's stored profile (empty when it has none).
  virtual CString getCurrentPrefsKey();
  // "HKEY_CURRENT_USER\Software\Brackwater\Kipo\localPrefs\Snapins\<name>".
  virtual CString getLocalPrefsKey();
  // The profile's folder on the drive joined with the name (empty without a profile).
  virtual CString getComputerFolder(CSystemProfile* profile);
  // Sets the cache, then writes "personalized"; the result is the write's.
  virtual bool setPersonalized(bool personalized);
  // The prefs kept for the profile (by object identity); a default record is kept on first use.
  virtual CCustomizerPrefs& getPrefs(CSystemProfile* profile);

 protected:
  CString m_name;
  bool m_personalized = false;
  std::map<CSystemProfile*, CCustomizerPrefs> m_prefs;
};

// The document's snap-ins, in factory order; owned.
using CCustomizerList = std::vector<std::unique_ptr<CCustomizer>>;
