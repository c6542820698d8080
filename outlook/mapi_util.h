// The MAPI utility object: MAPI's start and stop, sessions, profiles and the message services of
// a profile, all through the loader the layer was initialised with. Every function catches what
// is thrown inside it, reports it under its own name and returns its failure result; only the
// logon lets a CMapiException out (MAPI not initialised).
#pragma once

#include <functional>
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

  // Stores, entries and special folders. Entry ids are their bytes; ids as text are hexadecimal.
  using EntryId = std::vector<BYTE>;
  using Store = platform::com::Ptr<IMsgStore>;
  void openDefaultMessageStore(Store& store, IMAPISession* session);
  // The first store of that display name (case-insensitive) that supports searching, changes,
  // notifications and restrictions; empty when none does.
  void openMessageStore(Store& store, const CString& displayName, IMAPISession* session, bool allowDialogs);
  HRESULT OpenEntry(IMsgStore* store, const EntryId& id, platform::com::Ptr<IUnknown>& object, ULONG* type = nullptr);
  HRESULT OpenEntry(IMsgStore* store, const CString& hexId, platform::com::Ptr<IUnknown>& object, ULONG* type = nullptr);
  HRESULT getLongTermEntryId(IMsgStore* store, const EntryId& id, EntryId& longTerm);
  // The Inbox's id ("IPM.Note" receive folder), made long-term unless keepShortTerm.
  HRESULT getReceiveFolderEntryId(IMsgStore* store, CString& hexId, bool keepShortTerm);
  // A PR_IPM_*_ENTRYID folder's long-term id: the Inbox's tags from 0x36D0 up, else the store's.
  HRESULT getSpecialFolderEntryId(IMsgStore* store, ULONG tag, CString& hexId);

  // Messages.
  HRESULT deleteMessage(IMAPIFolder* folder, const EntryId& id);
  bool sendMessage(IMAPIFolder* folder, const EntryId& id);
  // A file added to a message as an attachment by value; nothing is saved when its data could
  // not be copied in.
  bool createAttachmentFromFile(IMsgStore* store, const EntryId& message, const CString& filePath,
                                const CString& attachmentName);
  // The attachment at `index` written to a file: with join, in the folder `path` (which becomes
  // the file's full path), else at the name alone. A name with a path separator, a drive or ".."
  // is refused, so nothing is written outside the folder.
  bool writeAttachmentToFile(IMsgStore* store, const EntryId& message, ULONG index, CString& path, bool join);

  // Tables read in batches. The caller frees every set of `batches` (freeRowBatches). The cancel
  // test is the running synchronization's (it also pumps the window messages); none never cancels.
  using RowBatches = std::vector<LPSRowSet>;
  using CancelTest = std::function<bool()>;
  static constexpr LONG kBatchRows = 100;
  HRESULT getAllRows(IMAPITable* table, RowBatches& batches, const CancelTest& cancelled = {});
  HRESULT getRestrictedRows(IMAPITable* table, RowBatches& batches, LPSRestriction restriction,
                            const CancelTest& cancelled = {});
  HRESULT getMapiFolderContents(IMAPIFolder* folder, RowBatches& batches, LPSPropTagArray columns,
                                LPSRestriction restriction, const CancelTest& cancelled = {});
  void freeRowBatches(RowBatches& batches);

  // Exchange identity of a session's user.
  HRESULT openIdentity(IMAPISession* session, platform::com::Ptr<IMAPIProp>& identity);
  HRESULT readIdentityEmailAddress(IMAPISession* session, CString& address);

  // Environment.
  bool isMsmapi32Installed();
  void showMapiError(const MAPIERROR* error);

 private:
  bool m_skipUninitialize = false;
};

// Hexadecimal text of bytes (upper case) and back; bytesFromHex fails on odd length or a non-hex
// character.
CString hexFromBytes(const BYTE* bytes, ULONG count);
bool bytesFromHex(const CString& hex, std::vector<BYTE>& bytes);
// The Exchange server's distinguished name of the session's user (its home MTA without the last
// "/cn=" component), and its mailbox's; empty on failure.
CString getExchangeServerDistinguishedName(IMAPISession* session);
CString getExchangeMailboxDistinguishedName(IMAPISession* session);
