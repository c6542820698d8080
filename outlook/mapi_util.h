// The MAPI utility object: MAPI's start and stop, sessions, profiles and the message services of
// a profile, all through the loader the layer was initialised with. Every function catches what
// is thrown inside it, reports it under its own name and returns its failure result; only the
// logon lets a CMapiException out (MAPI not initialised).
#pragma once

#include <vector>

#include "platform/afx/cstring.h"
#include "platform/com/unknown.h"
#include "platform/modules/mapi32/mapidefs.h"

class CMapiUtil {
 public:
  using Session = platform::com::Ptr<IMAPISession>;
  using ProfAdmin = platform::com::Ptr<IProfAdmin>;
  using ServiceAdmin = platform::com::Ptr<IMsgServiceAdmin>;

  static bool isNullUid(const MAPIUID& uid);
  bool initializeMapi();
  int getProfileCount();
  bool uninitializeMapi();
  // Set by a message copy under Outlook 2000 for Internet mail only: the next uninitialisation
  // then leaves MAPI running.
  void setSkipNextUninitialize() { m_skipUninitialize = true; }

  // Sessions.
  HRESULT logon(Session& session, const CString& profileName);
  void closeMapiSession(Session& session);
  CString getProfileName(IMAPISession* session);

  // Profiles.
  void getMapiProfAdmin(ProfAdmin& admin);
  bool MAPIProfileExists(const CString& name, bool& exists);
  bool createMAPIProfile(const CString& name);
  bool deleteMAPIProfile(const CString& name);
  bool recreateProductProfile(const CString& name);
  bool setDefaultProfile(const CString& name);
  HRESULT createExchangeProfile(const CString& profileName, const CString& server, const CString& mailbox);

  // Message services of a session's profile.
  bool getDefaultServiceAndDeleteOthers(IMAPISession* session, MAPIUID& uid, bool deleteOthers);
  CString getDefaultServiceName(IMAPISession* session);
  bool isDefaultServiceExchange(IMAPISession* session);
  bool isOneOfServiceExchange(IMAPISession* session);
  bool deleteMessageService(IMsgServiceAdmin* admin, MAPIUID* uid);
  // False when an argument is missing or MAPI refused the configuration; a service that reports
  // it is already configured counts as configured.
  bool configureMessageService(IMsgServiceAdmin* admin, MAPIUID* uid, LPSPropValue values, ULONG count);
  bool configureMessageService(IMsgServiceAdmin* admin, MAPIUID* uid, const CString& displayName,
                               const CString& filePath);
  static void copyMapiUid(MAPIUID& destination, const MAPIUID& source);

  // Adding services to a named profile; `uid` receives the new service's id when given.
  bool addServiceToProfile(IProfAdmin* admin, const CString& profile, const CString& service,
                           const CString& displayName, MAPIUID* uid = nullptr);
  // A service that cannot be configured is deleted again, so that a caller's fallback to another
  // kind does not leave two store services in the profile.
  bool createAndConfigureService(IProfAdmin* admin, const CString& profile, const CString& service,
                                 const CString& filePath, const CString& displayName, MAPIUID* uid = nullptr);
  bool addPstMessageServiceToProfile(IProfAdmin* admin, const CString& profile, const CString& filePath,
                                     const CString& displayName, MAPIUID* uid = nullptr);
  bool addInterstorMessageServiceToProfile(IProfAdmin* admin, const CString& profile, const CString& filePath,
                                           const CString& displayName, MAPIUID* uid = nullptr);
  bool addContabMessageServiceToProfile(IProfAdmin* admin, const CString& profile, const CString& displayName,
                                        MAPIUID* uid = nullptr);
  // Display names of the profile's Internet mail services, without their standard prefix.
  bool getImailMessageServiceList(IProfAdmin* admin, const CString& profile, std::vector<CString>& names);

  // Environment.
  bool isMsmapi32Installed();
  void showMapiError(const MAPIERROR* error);

 private:
  bool m_skipUninitialize = false;
};
