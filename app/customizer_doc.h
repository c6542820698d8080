// The document of the customizer template: it owns the snap-ins and the run coordinator, loads the
// drive's preferences when the device opens, builds the snap-ins in their fixed order, and runs
// the passes that carry a user's environment: personalize at login (backup, then personalize),
// synchronize (through CSpaceMan), depersonalize at logout (depersonalize and restore in reverse
// order, then leave no trace). Every snap-in step runs in its own guarded block, is logged by the
// snap-in's name and reported as progress through the switchboard, so one failing snap-in never
// stops a pass. When the device closes it writes the preferences back to the drive and clears
// them from the host.
//
// What it needs of the application object and of later surfaces goes through
// documentHostServices() (document_host_services.h).
#pragma once

#include <memory>
#include <vector>

#include "app/admin_user_operation.h"
#include "app/preference_file.h"
#include "platform/afx/cstring.h"
#include "platform/afx/doc.h"
#include "platform/base/types.h"
#include "snapins/customizer.h"
#include "snapins/space_man.h"

class CSystemProfile;

// This computer's preference that keeps autostart on after a logout (the view writes it).
inline constexpr const char16_t* kFrequentUseComputerValue = u"frequentUseComputer";
// The pref-store format this program writes and reads.
inline constexpr DWORD kPrefsVersion = 101;

// One entry of the snap-in factory: the class's name, and how to make one (null: the class is not
// part of this program yet, and the entry makes nothing).
struct CustomizerFactoryEntry {
  const char16_t* className;
  std::unique_ptr<CCustomizer> (*create)();
};
// The factory's list, in the order every pass follows.
const std::vector<CustomizerFactoryEntry>& customizerFactory();

class CCustomizerDoc : public CDocument {
  DECLARE_DYNCREATE(CCustomizerDoc)
 public:
  CCustomizerDoc();
  // Runs hostCleanUp.
  ~CCustomizerDoc() override;

  // Opens the device's preferences: cleans up a previous load, loads the pref file when there is
  // one, the profiles, builds the snap-ins and the space table, and checks "prefsVersion" (below
  // 101: written; above: throws CCustomizerException* from string 903). Refused (logged, nothing
  // changes) while a synchronization runs.
  void loadFromDevice();
  // The factory: every snap-in of the list, then their loadAllPrefs, then the administrator
  // logon when an operation needs one and the user is not an administrator.
  void createCustomizers();
  // Login: backup and personalize passes (skipped when the host is personalized already or when
  // there are no snap-ins). False when the login was refused or any step failed.
  bool personalize();
  // A synchronization run of this computer with every snap-in, executed (CSpaceMan).
  bool synchronize(DWORD mode);
  // Logout: depersonalize and restore passes in reverse order, then leave no trace.
  bool depersonalize();
  // Refused (false, logged) while a snap-in is personalized; else every snap-in's leaveNoTrace.
  bool leaveNoTrace();
  // The device is closing: frees the coordinator's ops, saves and deletes the snap-ins, saves the
  // pref file, and clears the preferences from the registry when no snap-in is personalized.
  // Called while a synchronization runs (from its message pump), it stops the run and happens
  // when the run has ended.
  void hostCleanUp();
  void deleteCustomizers();

  bool isPersonalized();
  CCustomizer* findCustomizer(const CString& name);
  bool removeProfileData(CSystemProfile* profile);
  bool postPersonalizeAll();
  bool preDepersonalizeAll();
  // The snap-ins whose last restore failed: false when the user chose to cancel the login.
  bool checkLastRestore();
  void postProgress(int percent);
  void postProgressText(const CString& text1, const CString& text2);

  bool isPrefsChanged(CSystemProfile* profile);
  bool markPrefsChanged(CSystemProfile* profile);
  bool setLastSyncTime();
  bool setSynchronizedUser(const CString& name);
  CString getSynchronizedUser();
  int countComputersWithDeviceFolder();
  // "customizer.pref" in the drive's "Synchronized Computers" folder.
  static CString getCustomizerPrefFilePath();
  // The synchronize marker of a computer: its folder on the drive followed by ".Sync".
  static CString getSyncMarkerPath(const CSystemProfile& profile);

  CSpaceMan& getSpaceMan() { return m_spaceMan; }
  const CCustomizerList& getCustomizers() const { return m_customizers; }
  std::vector<CCustomizer*> getCustomizerPointers() const;
  int getCustomizerCount() const { return static_cast<int>(m_customizers.size()); }
  // Appends a snap-in (the factory, and tests that drive the passes over snap-ins of their own).
  void addCustomizer(std::unique_ptr<CCustomizer> customizer);
  void addAdminOperation(std::unique_ptr<CAdminUserOperation> operation);

  // The pause at the end of the login and logout passes that lets the user read "done" (1000 ms);
  // measurements of the passes themselves set 0.
  void setEndOfPassPause(DWORD milliseconds) { m_endOfPassPause = milliseconds; }

  bool isBusy() const { return m_busy; }
  bool isLoaded() const { return m_loaded; }
  bool isPersonalizeDone() const { return m_personalizeDone; }
  LONGLONG getPersonalizeTime() const { return m_personalizeTime; }

 protected:
  // Appends the snap-ins of the factory's list; a test document makes its own.
  virtual void makeCustomizers();
  DECLARE_MESSAGE_MAP()

 private:
  friend class CBusyScope;
  bool personalizeSteps();
  bool depersonalizeSteps();
  // The backup and personalize passes; false when any step failed.
  bool runPersonalizePasses(CString& failures);
  // The depersonalize and restore passes, last snap-in first; false when any step failed.
  bool runDepersonalizePasses(CString& failures);
  // Deletes the snap-ins without saving their preferences (a drive of a newer version).
  void discardCustomizers();

  CCustomizerList m_customizers;
  CSpaceMan m_spaceMan;
  bool m_personalizeDone = false;
  bool m_loaded = false;
  bool m_busy = false;
  LONGLONG m_personalizeTime = 0;  // seconds since 1970
  DWORD m_endOfPassPause = 1000;
  std::vector<std::unique_ptr<CAdminUserOperation>> m_adminOperations;
};

// The device pref store pointed at "Synchronized Computers\<profile key>" (created when missing).
CPreferenceFile& openComputerPrefs(const CSystemProfile& profile);
// The same for this computer; throws CCustomizerException* (string 539) when it has no profile.
CPreferenceFile& openThisComputerPrefs();
// Makes the profile of that nickname the login computer and writes the profiles; false when no
// profile has the nickname.
bool setLoginComputer(const CString& nickname);
// Removes a computer's preferences: its keys under "Synchronized Computers" and "System Profiles"
// in the pref store; the pref file is saved when both are gone. Nothing for this computer's own
// profile (false) or a null one.
bool deleteComputerPrefKeys(CSystemProfile* profile);
