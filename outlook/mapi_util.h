// The MAPI utility object: MAPI's start and stop, sessions, profiles and the message services of
// a profile, all through the loader the layer was initialised with. Every function catches what
// is thrown inside it, reports it under its own name and returns its failure result; only the
// logon lets a CMapiException out (MAPI not initialised).
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "outlook/entry_id.h"
#include "platform/afx/cstring.h"
#include "platform/com/unknown.h"
#include "platform/modules/mapi32/mapidefs.h"

class CMAPIPropRestriction;
class COutlookFolder;
class COutlookItem;

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
  // Display names of the profile's Internet mail services, without their standard prefix in
  // either spelling ("Internet E-mail - ", "Internet Email - ").
  bool getImailMessageServiceList(IProfAdmin* admin, const CString& profile, std::vector<CString>& names);

  // Stores, entries and special folders. Entry ids are their bytes; ids as text are hexadecimal.
  using EntryId = EntryIdBytes;
  using Store = platform::com::Ptr<IMsgStore>;
  void openDefaultMessageStore(Store& store, IMAPISession* session);
  // The first store of that display name (case-insensitive) that supports searching, changes,
  // notifications and restrictions; empty when none does.
  void openMessageStore(Store& store, const CString& displayName, IMAPISession* session, bool allowDialogs);
  HRESULT OpenEntry(IMsgStore* store, const EntryId& id, platform::com::Ptr<IUnknown>& object, ULONG* type = nullptr);
  HRESULT OpenEntry(IMsgStore* store, const CString& hexId, platform::com::Ptr<IUnknown>& object, ULONG* type = nullptr);
  HRESULT getLongTermEntryId(IMsgStore* store, const EntryId& id, EntryId& longTerm);
  HRESULT getLongTermEntryId(IMAPIFolder* folder, const EntryId& id, EntryId& longTerm);
  HRESULT openMessageInFolder(IMAPIFolder* folder, const EntryId& id, platform::com::Ptr<IUnknown>& object);
  // Whether MAPI takes both ids for one object: through a session the result is whether the
  // comparison could be made, through a store the comparison's HRESULT.
  bool compareEntryIds(IMAPISession* session, const EntryId& a, const EntryId& b, bool& same);
  HRESULT compareEntryIds(IMsgStore* store, const EntryId& a, const EntryId& b, bool& same);
  // The folder that holds `object` (its PR_PARENT_ENTRYID opened in the store).
  HRESULT getParentFolder(IMsgStore* store, IMAPIProp* object, platform::com::Ptr<IMAPIFolder>& parent);
  // The Inbox's id ("IPM.Note" receive folder), made long-term unless keepShortTerm.
  HRESULT getReceiveFolderEntryId(IMsgStore* store, CString& hexId, bool keepShortTerm);
  // A PR_IPM_*_ENTRYID folder's long-term id: the Inbox's tags from 0x36D0 up, else the store's.
  HRESULT getSpecialFolderEntryId(IMsgStore* store, ULONG tag, CString& hexId);

  // Folders and their records.
  HRESULT openIpmSubtree(IMsgStore* store, platform::com::Ptr<IMAPIFolder>& folder);
  HRESULT getFolderProperties(IMAPIFolder* folder, COutlookFolder& record);
  // Values of the folder property set into the record; values that came back as errors are
  // skipped. Always S_OK.
  HRESULT fillFolderNode(const SPropValue* values, ULONG count, COutlookFolder& record);
  HRESULT getIpmSubtreeProperties(IMsgStore* store, COutlookFolder& record);
  // One child record per folder of the hierarchy table of `folder` (opened by the parent
  // record's long-term id when none is given), added to the parent record in table order.
  HRESULT getSubfolders(COutlookFolder& parent, IMsgStore* store, IMAPIFolder* folder = nullptr);
  // A generic folder (an existing one of that name is opened instead) of the container class;
  // `record` receives its properties.
  HRESULT createFolder(IMAPIFolder* parent, const CString& name, const CString& containerClass,
                       std::unique_ptr<COutlookFolder>& record);
  // The folder with all its subfolders and messages.
  HRESULT deleteFolder(IMsgStore* store, IMAPIFolder* folder);
  HRESULT deleteSubfolder(IMAPIFolder* parent, const EntryId& id);
  // Every folder below `folder`, depth first, appended to `list` as records with their paths
  // (`parentPath` joined with each name; a top-level name alone when `parentPath` is empty).
  // False without a store or folder, or when a folder with subfolders could not be walked (the
  // walk goes on with the others); a hierarchy that cannot be read adds nothing and is true.
  bool getFolderHierarchyList(IMsgStore* store, IMAPIFolder* folder, const CString& parentPath,
                              std::vector<std::unique_ptr<COutlookFolder>>& list);

  // Messages.
  HRESULT deleteMessage(IMAPIFolder* folder, const EntryId& id);
  bool sendMessage(IMAPIFolder* folder, const EntryId& id);
  // Copies the message into the destination folder and reads the copy into a new `item`. A copy
  // that cannot be read back is deleted again (E_FAIL, `item` empty); one that failed before it
  // was saved is dropped unsaved.
  HRESULT CopyItem(const EntryId& sourceId, IMAPIFolder* source, IMAPIFolder* destination,
                   std::unique_ptr<COutlookItem>& item, ULONG creationFlags);
  // File names (PR_ATTACH_FILENAME_A) of the item's attachments.
  bool getAttachmentList(IMsgStore* store, const COutlookItem& item, std::vector<CString>& names);
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
  // The folder record's items, read with its sync settings (none for a folder that is not
  // synchronized; only recent ones with a day window).
  HRESULT getFolderEntries(COutlookFolder& record, IMsgStore* store, const CancelTest& cancelled = {});
  // A new item map of the folder record from the rows; a cancel keeps the items made so far.
  void transferEntriesToFolder(const RowBatches& batches, COutlookFolder& record, IMsgStore* store,
                               IMAPIFolder* folder, const CancelTest& cancelled = {});
  // Items modified at or after the local time `days` whole days ago; none when it cannot be made.
  std::unique_ptr<CMAPIPropRestriction> createModifiedSinceRestriction(int days, UINT extra = 0);

  // The address book searches the containers of recipients (at most the first 100), in the
  // order of its hierarchy.
  bool setAddressBookSearchPath(IMAPISession* session);

  // Exchange identity of a session's user.
  HRESULT openIdentity(IMAPISession* session, platform::com::Ptr<IMAPIProp>& identity);
  HRESULT readIdentityEmailAddress(IMAPISession* session, CString& address);

  // Environment.
  bool isMsmapi32Installed();
  void showMapiError(const MAPIERROR* error);

 private:
  bool m_skipUninitialize = false;
};

// The Exchange server's distinguished name of the session's user (its home MTA without the last
// "/cn=" component), and its mailbox's; empty on failure.
CString getExchangeServerDistinguishedName(IMAPISession* session);
CString getExchangeMailboxDistinguishedName(IMAPISession* session);
