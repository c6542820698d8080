// The cookies snap-in: the host's Cookies folder travels on the drive as one archive file per
// computer, written by the snap-in's archive synchronizer during synchronization runs. At login
// the login computer's archive is unpacked into a folder of the product's own (the "Cookies"
// folder in "Personalize"), the cookie files are given the current user's name, and the host's
// "Cookies" shell folder points there; at logout the shell folder goes back and the unpacked folder goes away.
#pragma once

#include "snapins/registry_value_customizer.h"
#include "snapins/simple_synchronizer.h"

class CCookiesCustomizer : public CRegistryValueCustomizer {
 public:
  CCookiesCustomizer();
  ~CCookiesCustomizer() override;

  bool personalize() override;
  bool depersonalize() override;
  // Deletes the unpacked folder, then the local copy of the archive.
  bool leaveNoTrace() override;
  bool preExecuteSyncOps() override;
  bool postExecuteSyncOps(CSystemProfile* profile, int executionResult) override;
  void postSynchronize() override;
  bool loadAllPrefs() override;
  void setSynchronized(CSystemProfile* profile, bool synchronize) override;
  // The bytes of the record's computer's cookies archive on the drive.
  ULONGLONG getDeviceSpace(CSpaceRecord* record) override;

  CTarSimpleSynchronizer& getSynchronizer() { return m_synchronizer; }
  // "Personalize\Cookies" on the host, and its archive copy "Personalize\Cookies.tar".
  static CString getPersonalizedFolder();
  static CString getLocalArchiveCopy();
  // The drive archive of a computer's profile: its drive folder joined with "Cookies.tar".
  static CString getDeviceArchive(CSystemProfile* profile);
  // Gives every cookie file of the folder the user's name: the part before the first '@' is
  // replaced by `userName`. Failures are logged; the other files are still renamed.
  static void renameCookieFiles(const CString& folder, const CString& userName);

 private:
  // Source and target of the synchronizer, from the host's Cookies folder and this computer's
  // drive folder (known once the profiles are loaded).
  void setSynchronizerPaths();

  CTarSimpleSynchronizer m_synchronizer;
};
