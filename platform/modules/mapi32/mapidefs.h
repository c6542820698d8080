// Extended MAPI as the product calls it: property values, tags, tables and restrictions, the
// result codes, the interfaces the "mapi32.dll" stand-in hands out, and the entry points it
// exports (bound at run time by name with GetProcAddress; four names carry the "@" byte-count
// decoration). Memory that MAPI hands out (rows, property values) comes from MAPIAllocateBuffer
// and is freed by the caller with MAPIFreeBuffer, or FreeProws for a row set.
#pragma once

#include <cstddef>

#include "platform/base/types.h"
#include "platform/com/comtypes.h"
#include "platform/com/hresult.h"
#include "platform/com/stream.h"
#include "platform/com/unknown.h"

using LPCIID = const IID*;

// ---- property types and tags ----
#define PT_UNSPECIFIED 0x0000
#define PT_NULL 0x0001
#define PT_I2 0x0002
#define PT_LONG 0x0003
#define PT_R4 0x0004
#define PT_DOUBLE 0x0005
#define PT_CURRENCY 0x0006
#define PT_APPTIME 0x0007
#define PT_ERROR 0x000A
#define PT_BOOLEAN 0x000B
#define PT_OBJECT 0x000D
#define PT_I8 0x0014
#define PT_STRING8 0x001E
#define PT_UNICODE 0x001F
#define PT_SYSTIME 0x0040
#define PT_CLSID 0x0048
#define PT_BINARY 0x0102
#define MV_FLAG 0x1000
#define PT_MV_LONG (MV_FLAG | PT_LONG)
#define PT_MV_STRING8 (MV_FLAG | PT_STRING8)
#define PT_MV_UNICODE (MV_FLAG | PT_UNICODE)
#define PT_MV_BINARY (MV_FLAG | PT_BINARY)

#define PROP_TYPE(tag) (static_cast<ULONG>(tag) & 0xFFFF)
#define PROP_ID(tag) (static_cast<ULONG>(tag) >> 16)
#define PROP_TAG(type, id) ((static_cast<ULONG>(id) << 16) | static_cast<ULONG>(type))
#define CHANGE_PROP_TYPE(tag, type) ((static_cast<ULONG>(tag) & 0xFFFF0000) | static_cast<ULONG>(type))
#define PROP_ID_NULL 0
#define PR_NULL PROP_TAG(PT_NULL, PROP_ID_NULL)

// Tags the product and the stand-in use.
#define PR_ENTRYID PROP_TAG(PT_BINARY, 0x0FFF)
#define PR_OBJECT_TYPE PROP_TAG(PT_LONG, 0x0FFE)
#define PR_RECORD_KEY PROP_TAG(PT_BINARY, 0x0FF9)
#define PR_STORE_ENTRYID PROP_TAG(PT_BINARY, 0x0FFB)
#define PR_INSTANCE_KEY PROP_TAG(PT_BINARY, 0x0FF6)
#define PR_PROVIDER_UID PROP_TAG(PT_BINARY, 0x0FF6)  // as the provider table answers that column
#define PR_MESSAGE_CLASS_A PROP_TAG(PT_STRING8, 0x001A)
#define PR_SUBJECT_A PROP_TAG(PT_STRING8, 0x0037)
#define PR_MESSAGE_FLAGS PROP_TAG(PT_LONG, 0x0E07)
#define PR_MESSAGE_SIZE PROP_TAG(PT_LONG, 0x0E08)
#define PR_DISPLAY_NAME_A PROP_TAG(PT_STRING8, 0x3001)
#define PR_DISPLAY_NAME_W PROP_TAG(PT_UNICODE, 0x3001)
#define PR_EMAIL_ADDRESS_A PROP_TAG(PT_STRING8, 0x3003)
#define PR_COMMENT_A PROP_TAG(PT_STRING8, 0x3004)
#define PR_PROVIDER_DISPLAY_A PROP_TAG(PT_STRING8, 0x3006)
#define PR_CREATION_TIME PROP_TAG(PT_SYSTIME, 0x3007)
#define PR_LAST_MODIFICATION_TIME PROP_TAG(PT_SYSTIME, 0x3008)
#define PR_RESOURCE_FLAGS PROP_TAG(PT_LONG, 0x3009)
#define PR_PROVIDER_DLL_NAME_A PROP_TAG(PT_STRING8, 0x300A)
#define PR_SEARCH_KEY PROP_TAG(PT_BINARY, 0x300B)
#define PR_STORE_PROVIDERS PROP_TAG(PT_BINARY, 0x3D00)
#define PR_SERVICE_NAME_A PROP_TAG(PT_STRING8, 0x3D09)
#define PR_SERVICE_NAME_W PROP_TAG(PT_UNICODE, 0x3D09)
#define PR_SERVICE_UID PROP_TAG(PT_BINARY, 0x3D0C)
#define PR_SERVICES PROP_TAG(PT_BINARY, 0x3D0D)
#define PR_DEFAULT_PROFILE PROP_TAG(PT_BOOLEAN, 0x3D04)
#define PR_RESOURCE_TYPE PROP_TAG(PT_LONG, 0x3E03)
#define PR_STATUS_CODE PROP_TAG(PT_LONG, 0x3E04)
#define PR_DEFAULT_STORE PROP_TAG(PT_BOOLEAN, 0x3400)
#define PR_STORE_SUPPORT_MASK PROP_TAG(PT_LONG, 0x340D)
#define PR_PROFILE_CONFIG_FLAGS PROP_TAG(PT_LONG, 0x6601)
#define PR_PROFILE_UNRESOLVED_NAME PROP_TAG(PT_STRING8, 0x6607)
#define PR_PROFILE_UNRESOLVED_SERVER PROP_TAG(PT_STRING8, 0x6608)
#define PR_PST_PATH PROP_TAG(PT_STRING8, 0x6700)

// Resource types (PR_RESOURCE_TYPE) and flags (PR_RESOURCE_FLAGS).
#define MAPI_STORE_PROVIDER 33
#define MAPI_AB 34
#define MAPI_AB_PROVIDER 35
#define MAPI_TRANSPORT_PROVIDER 36
#define MAPI_SPOOLER 37
#define MAPI_PROFILE_PROVIDER 38
#define MAPI_SUBSYSTEM 39
#define MAPI_HOOK_PROVIDER 40
#define SERVICE_DEFAULT_STORE 0x00000001
#define SERVICE_SINGLE_COPY 0x00000002
#define SERVICE_PRIMARY_IDENTITY 0x00000008
#define STATUS_DEFAULT_STORE 0x00000002

// ---- result codes ----
#define MAPI_E_CALL_FAILED E_FAIL
#define MAPI_E_NOT_ENOUGH_MEMORY E_OUTOFMEMORY
#define MAPI_E_INVALID_PARAMETER E_INVALIDARG
#define MAPI_E_INTERFACE_NOT_SUPPORTED E_NOINTERFACE
#define MAPI_E_NO_ACCESS E_ACCESSDENIED
#define MAPI_E_NO_SUPPORT static_cast<HRESULT>(0x80040102L)
#define MAPI_E_BAD_CHARWIDTH static_cast<HRESULT>(0x80040103L)
#define MAPI_E_STRING_TOO_LONG static_cast<HRESULT>(0x80040105L)
#define MAPI_E_UNKNOWN_FLAGS static_cast<HRESULT>(0x80040106L)
#define MAPI_E_INVALID_ENTRYID static_cast<HRESULT>(0x80040107L)
#define MAPI_E_INVALID_OBJECT static_cast<HRESULT>(0x80040108L)
#define MAPI_E_OBJECT_CHANGED static_cast<HRESULT>(0x80040109L)
#define MAPI_E_OBJECT_DELETED static_cast<HRESULT>(0x8004010AL)
#define MAPI_E_BUSY static_cast<HRESULT>(0x8004010BL)
#define MAPI_E_NOT_ENOUGH_DISK static_cast<HRESULT>(0x8004010DL)
#define MAPI_E_NOT_ENOUGH_RESOURCES static_cast<HRESULT>(0x8004010EL)
#define MAPI_E_NOT_FOUND static_cast<HRESULT>(0x8004010FL)
#define MAPI_E_VERSION static_cast<HRESULT>(0x80040110L)
#define MAPI_E_LOGON_FAILED static_cast<HRESULT>(0x80040111L)
#define MAPI_E_SESSION_LIMIT static_cast<HRESULT>(0x80040112L)
#define MAPI_E_USER_CANCEL static_cast<HRESULT>(0x80040113L)
#define MAPI_E_UNABLE_TO_ABORT static_cast<HRESULT>(0x80040114L)
#define MAPI_E_NETWORK_ERROR static_cast<HRESULT>(0x80040115L)
#define MAPI_E_DISK_ERROR static_cast<HRESULT>(0x80040116L)
#define MAPI_E_TOO_COMPLEX static_cast<HRESULT>(0x80040117L)
#define MAPI_E_BAD_COLUMN static_cast<HRESULT>(0x80040118L)
#define MAPI_E_EXTENDED_ERROR static_cast<HRESULT>(0x80040119L)
#define MAPI_E_COMPUTED static_cast<HRESULT>(0x8004011AL)
#define MAPI_E_CORRUPT_DATA static_cast<HRESULT>(0x8004011BL)
#define MAPI_E_UNCONFIGURED static_cast<HRESULT>(0x8004011CL)
#define MAPI_E_FAILONEPROVIDER static_cast<HRESULT>(0x8004011DL)
#define MAPI_E_NOT_IN_QUEUE static_cast<HRESULT>(0x80040601L)
#define MAPI_E_COLLISION static_cast<HRESULT>(0x80040604L)
#define MAPI_E_NOT_INITIALIZED static_cast<HRESULT>(0x80040605L)
#define MAPI_E_NO_RECIPIENTS static_cast<HRESULT>(0x80040607L)
#define MAPI_E_SUBMITTED static_cast<HRESULT>(0x80040608L)
#define MAPI_E_HAS_FOLDERS static_cast<HRESULT>(0x80040609L)
#define MAPI_E_HAS_MESSAGES static_cast<HRESULT>(0x8004060AL)
#define MAPI_E_FOLDER_CYCLE static_cast<HRESULT>(0x8004060BL)
#define MAPI_E_TABLE_EMPTY static_cast<HRESULT>(0x80040402L)
#define MAPI_E_TABLE_TOO_BIG static_cast<HRESULT>(0x80040403L)
#define MAPI_E_INVALID_BOOKMARK static_cast<HRESULT>(0x80040405L)
#define MAPI_W_ERRORS_RETURNED static_cast<HRESULT>(0x00040380L)
#define MAPI_W_POSITION_CHANGED static_cast<HRESULT>(0x00040481L)
#define MAPI_W_APPROX_COUNT static_cast<HRESULT>(0x00040482L)

// ---- flags ----
#define MAPI_MULTITHREAD_NOTIFICATIONS 0x00000001
#define MAPI_INIT_VERSION 0
#define MAPI_LOGON_UI 0x00000001
#define MAPI_NEW_SESSION 0x00000002
#define MAPI_ALLOW_OTHERS 0x00000008
#define MAPI_EXPLICIT_PROFILE 0x00000010
#define MAPI_EXTENDED 0x00000020
#define MAPI_USE_DEFAULT 0x00000040
#define MAPI_FORCE_DOWNLOAD 0x00001000
#define MAPI_SERVICE_UI_ALWAYS 0x00002000
#define MAPI_NO_MAIL 0x00008000
#define MAPI_NT_SERVICE 0x00010000
#define MAPI_UNICODE 0x80000000
#define MAPI_DIALOG 0x00000008
#define MAPI_MODIFY 0x00000001
#define MAPI_BEST_ACCESS 0x00000010
#define MAPI_DEFERRED_ERRORS 0x00000008
#define MAPI_CREATE 0x00000002
#define MAPI_DEFAULT_SERVICES 0x00000001
#define KEEP_OPEN_READONLY 0x00000001
#define KEEP_OPEN_READWRITE 0x00000002
#define FORCE_SAVE 0x00000004

// Tables.
#define TBL_ASYNC 0x00000001
#define TBL_BATCH 0x00000002
#define TBL_NOADVANCE 0x00000001
#define DIR_BACKWARD 0x00000001
#define BOOKMARK_BEGINNING 0
#define BOOKMARK_CURRENT 1
#define BOOKMARK_END 2
using BOOKMARK = ULONG;

// Restrictions.
#define RES_AND 0x00
#define RES_OR 0x01
#define RES_NOT 0x02
#define RES_CONTENT 0x03
#define RES_PROPERTY 0x04
#define RES_COMPAREPROPS 0x05
#define RES_BITMASK 0x06
#define RES_SIZE 0x07
#define RES_EXIST 0x08
#define RES_SUBRESTRICTION 0x09
#define RES_COMMENT 0x0A
#define RELOP_LT 0
#define RELOP_LE 1
#define RELOP_GT 2
#define RELOP_GE 3
#define RELOP_EQ 4
#define RELOP_NE 5
#define RELOP_RE 6
#define FL_FULLSTRING 0x00000000
#define FL_SUBSTRING 0x00000001
#define FL_PREFIX 0x00000002
#define FL_IGNORECASE 0x00010000
#define FL_IGNORENONSPACE 0x00020000
#define FL_LOOSE 0x00040000
#define BMR_EQZ 0
#define BMR_NEZ 1

// ---- data ----
struct MAPIUID {
  BYTE ab[16];
};
using LPMAPIUID = MAPIUID*;

struct ENTRYID {
  BYTE abFlags[4];
  BYTE ab[1];
};
using LPENTRYID = ENTRYID*;

struct SBinary {
  ULONG cb;
  LPBYTE lpb;
};
using LPSBinary = SBinary*;

struct SShortArray { ULONG cValues; short* lpi; };
struct SLongArray { ULONG cValues; LONG* lpl; };
struct SBinaryArray { ULONG cValues; SBinary* lpbin; };
struct SLPSTRArray { ULONG cValues; LPSTR* lppszA; };
struct SWStringArray { ULONG cValues; LPWSTR* lppszW; };

union PV {
  short i;
  LONG l;
  ULONG ul;
  float flt;
  double dbl;
  unsigned short b;
  CURRENCY cur;
  double at;
  FILETIME ft;
  LPSTR lpszA;
  SBinary bin;
  LPWSTR lpszW;
  LPGUID lpguid;
  LARGE_INTEGER li;
  SShortArray MVi;
  SLongArray MVl;
  SBinaryArray MVbin;
  SLPSTRArray MVszA;
  SWStringArray MVszW;
  SCODE err;
  LONG x;
};

struct SPropValue {
  ULONG ulPropTag;
  ULONG dwAlignPad;
  PV Value;
};
using LPSPropValue = SPropValue*;

struct SPropTagArray {
  ULONG cValues;
  ULONG aulPropTag[1];
};
using LPSPropTagArray = SPropTagArray*;
#define CbNewSPropTagArray(n) (offsetof(SPropTagArray, aulPropTag) + (n) * sizeof(ULONG))
// A tag array of n columns on the stack: SizedSPropTagArray(2, cols) = {2, {a, b}}.
#define SizedSPropTagArray(n, name) \
  struct _SPropTagArray_##name {    \
    ULONG cValues;                  \
    ULONG aulPropTag[n];            \
  } name

struct SRow {
  ULONG ulAdrEntryPad;
  ULONG cValues;
  LPSPropValue lpProps;
};
using LPSRow = SRow*;

struct SRowSet {
  ULONG cRows;
  SRow aRow[1];
};
using LPSRowSet = SRowSet*;
#define CbNewSRowSet(n) (offsetof(SRowSet, aRow) + (n) * sizeof(SRow))

struct SSortOrder {
  ULONG ulPropTag;
  ULONG ulOrder;
};
struct SSortOrderSet {
  ULONG cSorts;
  ULONG cCategories;
  ULONG cExpanded;
  SSortOrder aSort[1];
};
using LPSSortOrderSet = SSortOrderSet*;

struct SRestriction;
using LPSRestriction = SRestriction*;
struct SAndRestriction { ULONG cRes; LPSRestriction lpRes; };
struct SOrRestriction { ULONG cRes; LPSRestriction lpRes; };
struct SNotRestriction { ULONG ulReserved; LPSRestriction lpRes; };
struct SContentRestriction { ULONG ulFuzzyLevel; ULONG ulPropTag; LPSPropValue lpProp; };
struct SPropertyRestriction { ULONG relop; ULONG ulPropTag; LPSPropValue lpProp; };
struct SComparePropsRestriction { ULONG relop; ULONG ulPropTag1; ULONG ulPropTag2; };
struct SBitMaskRestriction { ULONG relBMR; ULONG ulPropTag; ULONG ulMask; };
struct SSizeRestriction { ULONG relop; ULONG ulPropTag; ULONG cb; };
struct SExistRestriction { ULONG ulReserved1; ULONG ulPropTag; ULONG ulReserved2; };
struct SSubRestriction { ULONG ulSubObject; LPSRestriction lpRes; };
struct SCommentRestriction { ULONG cValues; LPSRestriction lpRes; LPSPropValue lpProp; };
struct SRestriction {
  ULONG rt;
  union {
    SComparePropsRestriction resCompareProps;
    SAndRestriction resAnd;
    SOrRestriction resOr;
    SNotRestriction resNot;
    SContentRestriction resContent;
    SPropertyRestriction resProperty;
    SBitMaskRestriction resBitMask;
    SSizeRestriction resSize;
    SExistRestriction resExist;
    SSubRestriction resSub;
    SCommentRestriction resComment;
  } res;
};

struct MAPIERROR {
  ULONG ulVersion;
  LPSTR lpszError;
  LPSTR lpszComponent;
  ULONG ulLowLevelError;
  ULONG ulContext;
};
using LPMAPIERROR = MAPIERROR*;

struct MAPIINIT_0 {
  ULONG ulVersion;
  ULONG ulFlags;
};
using LPMAPIINIT_0 = MAPIINIT_0*;

struct MAPINAMEID;
using LPMAPINAMEID = MAPINAMEID*;
struct SPropProblemArray;
using LPSPropProblemArray = SPropProblemArray*;
struct MAPINOTIFICATION;
using LPNOTIFICATION = MAPINOTIFICATION*;

// ---- interfaces ----
struct IMAPIAdviseSink : IUnknown {
  virtual ULONG STDMETHODCALLTYPE OnNotify(ULONG cNotif, LPNOTIFICATION notifications) = 0;

 protected:
  ~IMAPIAdviseSink() = default;
};
using LPMAPIADVISESINK = IMAPIAdviseSink*;
using NOTIFCALLBACK = LONG (*)(LPVOID context, ULONG cNotification, LPNOTIFICATION notifications);
using LPNOTIFCALLBACK = NOTIFCALLBACK*;

struct IMAPIProp : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hr, ULONG flags, LPMAPIERROR* error) = 0;
  virtual HRESULT STDMETHODCALLTYPE SaveChanges(ULONG flags) = 0;
  // Values in one MAPIAllocateBuffer block; a missing property comes back as PT_ERROR with
  // MAPI_E_NOT_FOUND and the call returns MAPI_W_ERRORS_RETURNED.
  virtual HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPropList(ULONG flags, LPSPropTagArray* tags) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenProperty(ULONG tag, LPCIID iid, ULONG interfaceOptions, ULONG flags,
                                                 LPUNKNOWN* object) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray tags, LPSPropProblemArray* problems) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyTo(ULONG ciidExclude, LPCIID excludeInterfaces, LPSPropTagArray excludeProps,
                                           ULONG_PTR uiParam, LPVOID progress, LPCIID iid, LPVOID destination,
                                           ULONG flags, LPSPropProblemArray* problems) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyProps(LPSPropTagArray includeProps, ULONG_PTR uiParam, LPVOID progress,
                                              LPCIID iid, LPVOID destination, ULONG flags,
                                              LPSPropProblemArray* problems) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNamesFromIDs(LPSPropTagArray* tags, LPGUID propSetGuid, ULONG flags,
                                                    ULONG* count, LPMAPINAMEID** names) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIDsFromNames(ULONG count, LPMAPINAMEID* names, ULONG flags,
                                                    LPSPropTagArray* tags) = 0;

 protected:
  ~IMAPIProp() = default;
};
using LPMAPIPROP = IMAPIProp*;

struct IMAPITable : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hr, ULONG flags, LPMAPIERROR* error) = 0;
  virtual HRESULT STDMETHODCALLTYPE Advise(ULONG eventMask, LPMAPIADVISESINK sink, ULONG_PTR* connection) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unadvise(ULONG_PTR connection) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStatus(ULONG* tableStatus, ULONG* tableType) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetColumns(LPSPropTagArray columns, ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryColumns(ULONG flags, LPSPropTagArray* columns) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRowCount(ULONG flags, ULONG* count) = 0;
  // Moves the cursor by rowCount rows from origin; past either end it stops there and
  // rowsSought tells how far it went.
  virtual HRESULT STDMETHODCALLTYPE SeekRow(BOOKMARK origin, LONG rowCount, LONG* rowsSought) = 0;
  virtual HRESULT STDMETHODCALLTYPE SeekRowApprox(ULONG numerator, ULONG denominator) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryPosition(ULONG* row, ULONG* numerator, ULONG* denominator) = 0;
  // Leaves the cursor on the first matching row from origin on; MAPI_E_NOT_FOUND when none.
  virtual HRESULT STDMETHODCALLTYPE FindRow(LPSRestriction restriction, BOOKMARK origin, ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Restrict(LPSRestriction restriction, ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateBookmark(BOOKMARK* position) = 0;
  virtual HRESULT STDMETHODCALLTYPE FreeBookmark(BOOKMARK position) = 0;
  virtual HRESULT STDMETHODCALLTYPE SortTable(LPSSortOrderSet sortCriteria, ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE QuerySortOrder(LPSSortOrderSet* sortCriteria) = 0;
  // Up to rowCount rows from the cursor, which moves past them; 0 rows at the end.
  virtual HRESULT STDMETHODCALLTYPE QueryRows(LONG rowCount, ULONG flags, LPSRowSet* rows) = 0;
  virtual HRESULT STDMETHODCALLTYPE Abort() = 0;
  virtual HRESULT STDMETHODCALLTYPE ExpandRow(ULONG cbInstanceKey, LPBYTE instanceKey, ULONG rowCount, ULONG flags,
                                              LPSRowSet* rows, ULONG* moreRows) = 0;
  virtual HRESULT STDMETHODCALLTYPE CollapseRow(ULONG cbInstanceKey, LPBYTE instanceKey, ULONG flags,
                                                ULONG* rowCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE WaitForCompletion(ULONG flags, ULONG timeout, ULONG* tableStatus) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCollapseState(ULONG flags, ULONG cbInstanceKey, LPBYTE instanceKey,
                                                     ULONG* cbCollapseState, LPBYTE* collapseState) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCollapseState(ULONG flags, ULONG cbCollapseState, LPBYTE collapseState,
                                                     BOOKMARK* location) = 0;

 protected:
  ~IMAPITable() = default;
};
using LPMAPITABLE = IMAPITable*;

struct IProfSect : IMAPIProp {
 protected:
  ~IProfSect() = default;
};
using LPPROFSECT = IProfSect*;

struct IProviderAdmin : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hr, ULONG flags, LPMAPIERROR* error) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetProviderTable(ULONG flags, LPMAPITABLE* table) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateProvider(LPSTR name, ULONG count, LPSPropValue props, ULONG_PTR uiParam,
                                                   ULONG flags, MAPIUID* uid) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteProvider(LPMAPIUID uid) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenProfileSection(LPMAPIUID uid, LPCIID iid, ULONG flags, LPPROFSECT* section) = 0;

 protected:
  ~IProviderAdmin() = default;
};
using LPPROVIDERADMIN = IProviderAdmin*;

struct IMsgServiceAdmin : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hr, ULONG flags, LPMAPIERROR* error) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMsgServiceTable(ULONG flags, LPMAPITABLE* table) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateMsgService(LPSTR service, LPSTR displayName, ULONG_PTR uiParam,
                                                     ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteMsgService(LPMAPIUID uid) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyMsgService(LPMAPIUID uid, LPSTR displayName, LPCIID interfaceToCopy,
                                                   LPCIID interfaceDestination, LPVOID objectDestination,
                                                   ULONG_PTR uiParam, ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE RenameMsgService(LPMAPIUID uid, ULONG flags, LPSTR displayName) = 0;
  virtual HRESULT STDMETHODCALLTYPE ConfigureMsgService(LPMAPIUID uid, ULONG_PTR uiParam, ULONG flags, ULONG count,
                                                        LPSPropValue props) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenProfileSection(LPMAPIUID uid, LPCIID iid, ULONG flags,
                                                       LPPROFSECT* section) = 0;
  virtual HRESULT STDMETHODCALLTYPE MsgServiceTransportOrder(ULONG count, LPMAPIUID uids, ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE AdminProviders(LPMAPIUID uid, ULONG flags, LPPROVIDERADMIN* providerAdmin) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPrimaryIdentity(LPMAPIUID uid, ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetProviderTable(ULONG flags, LPMAPITABLE* table) = 0;

 protected:
  ~IMsgServiceAdmin() = default;
};
using LPSERVICEADMIN = IMsgServiceAdmin*;

struct IProfAdmin : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hr, ULONG flags, LPMAPIERROR* error) = 0;
  // One row per profile: PR_DISPLAY_NAME, PR_DEFAULT_PROFILE.
  virtual HRESULT STDMETHODCALLTYPE GetProfileTable(ULONG flags, LPMAPITABLE* table) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateProfile(LPSTR name, LPSTR password, ULONG_PTR uiParam, ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteProfile(LPSTR name, ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE ChangeProfilePassword(LPSTR name, LPSTR oldPassword, LPSTR newPassword,
                                                          ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyProfile(LPSTR oldName, LPSTR oldPassword, LPSTR newName, ULONG_PTR uiParam,
                                                ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE RenameProfile(LPSTR oldName, LPSTR oldPassword, LPSTR newName, ULONG_PTR uiParam,
                                                  ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDefaultProfile(LPSTR name, ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE AdminServices(LPSTR name, LPSTR password, ULONG_PTR uiParam, ULONG flags,
                                                  LPSERVICEADMIN* serviceAdmin) = 0;

 protected:
  ~IProfAdmin() = default;
};
using LPPROFADMIN = IProfAdmin*;

// Object types (PR_OBJECT_TYPE, OpenEntry's out type).
#define MAPI_STORE 0x00000001
#define MAPI_ADDRBOOK 0x00000002
#define MAPI_FOLDER 0x00000003
#define MAPI_ABCONT 0x00000004
#define MAPI_MESSAGE 0x00000005
#define MAPI_MAILUSER 0x00000006
#define MAPI_ATTACH 0x00000007
#define MAPI_DISTLIST 0x00000008
#define MAPI_PROFSECT 0x00000009
#define MAPI_STATUS 0x0000000A
#define MAPI_SESSION 0x0000000B

#define FOLDER_ROOT 0x00000000
#define FOLDER_GENERIC 0x00000001
#define FOLDER_SEARCH 0x00000002
#define OPEN_IF_EXISTS 0x00000001
#define DEL_MESSAGES 0x00000008
#define DEL_FOLDERS 0x00000004
#define DEL_ASSOCIATED 0x00000008
#define MAPI_ASSOCIATED 0x00000040
#define MDB_NO_DIALOG 0x00000001
#define MDB_WRITE 0x00000004
#define MAPI_NO_CACHE 0x00000200
#define SHOW_SOFT_DELETES 0x00000002
#define CONVENIENT_DEPTH 0x00000001
#define MAPI_DECLINE_OK 0x00000004

#define PR_IPM_SUBTREE_ENTRYID PROP_TAG(PT_BINARY, 0x35E0)
#define PR_IPM_OUTBOX_ENTRYID PROP_TAG(PT_BINARY, 0x35E2)
#define PR_IPM_WASTEBASKET_ENTRYID PROP_TAG(PT_BINARY, 0x35E3)
#define PR_IPM_SENTMAIL_ENTRYID PROP_TAG(PT_BINARY, 0x35E4)
#define PR_IPM_APPOINTMENT_ENTRYID PROP_TAG(PT_BINARY, 0x36D0)
#define PR_IPM_CONTACT_ENTRYID PROP_TAG(PT_BINARY, 0x36D1)
#define PR_IPM_NOTE_ENTRYID PROP_TAG(PT_BINARY, 0x36D3)
#define PR_IPM_TASK_ENTRYID PROP_TAG(PT_BINARY, 0x36D4)
#define PR_IPM_DRAFTS_ENTRYID PROP_TAG(PT_BINARY, 0x36D7)
#define PR_FOLDER_TYPE PROP_TAG(PT_LONG, 0x3601)
#define PR_CONTENT_COUNT PROP_TAG(PT_LONG, 0x3602)
#define PR_PARENT_DISPLAY_W PROP_TAG(PT_UNICODE, 0x0E05)
#define PR_PARENT_DISPLAY_A PROP_TAG(PT_STRING8, 0x0E05)
#define PR_SUBFOLDERS PROP_TAG(PT_BOOLEAN, 0x360A)
#define PR_CONTAINER_CLASS_A PROP_TAG(PT_STRING8, 0x3613)
#define PR_PARENT_ENTRYID PROP_TAG(PT_BINARY, 0x0E09)
#define PR_SOURCE_KEY PROP_TAG(PT_BINARY, 0x65E0)
#define PR_PARENT_SOURCE_KEY PROP_TAG(PT_BINARY, 0x65E1)
#define PR_CHANGE_KEY PROP_TAG(PT_BINARY, 0x65E2)
#define PR_STORE_RECORD_KEY PROP_TAG(PT_BINARY, 0x0FFA)
#define PR_LONGTERM_ENTRYID_FROM_TABLE PROP_TAG(PT_BINARY, 0x6670)
#define PR_MDB_PROVIDER PROP_TAG(PT_BINARY, 0x3414)
#define PR_BODY_A PROP_TAG(PT_STRING8, 0x1000)
#define PR_SENDER_NAME_A PROP_TAG(PT_STRING8, 0x0C1A)
#define PR_ATTACH_DATA_BIN PROP_TAG(PT_BINARY, 0x3701)
#define PR_ATTACH_NUM PROP_TAG(PT_LONG, 0x0E21)
#define PR_ATTACH_SIZE PROP_TAG(PT_LONG, 0x0E20)
#define PR_ATTACH_LONG_FILENAME_A PROP_TAG(PT_STRING8, 0x3707)
#define PR_ATTACH_FILENAME_A PROP_TAG(PT_STRING8, 0x3704)
#define MSGFLAG_READ 0x00000001
#define MSGFLAG_SUBMIT 0x00000004
#define MSGFLAG_UNSENT 0x00000008
#define PR_RECIPIENT_TYPE PROP_TAG(PT_LONG, 0x0C15)
#define PR_ROWID PROP_TAG(PT_LONG, 0x3000)
#define PR_CLIENT_SUBMIT_TIME PROP_TAG(PT_SYSTIME, 0x0039)
#define MAPI_TO 1
#define MAPI_CC 2
#define MAPI_BCC 3
#define MODRECIP_ADD 0x00000002
#define MODRECIP_MODIFY 0x00000004
#define MODRECIP_REMOVE 0x00000008

// A recipient list (IMessage::ModifyRecipients): each entry's values in their own
// MAPIAllocateBuffer block.
struct ADRENTRY {
  ULONG ulReserved1;
  ULONG cValues;
  LPSPropValue rgPropVals;
};
struct ADRLIST {
  ULONG cEntries;
  ADRENTRY aEntries[1];
};
using LPADRLIST = ADRLIST*;

struct IMAPIContainer : IMAPIProp {
  virtual HRESULT STDMETHODCALLTYPE GetContentsTable(ULONG flags, LPMAPITABLE* table) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHierarchyTable(ULONG flags, LPMAPITABLE* table) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cbEntryID, LPENTRYID entryID, LPCIID iid, ULONG flags,
                                              ULONG* objType, LPUNKNOWN* object) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSearchCriteria(LPSRestriction restriction, LPVOID containers, ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSearchCriteria(ULONG flags, LPSRestriction* restriction, LPVOID* containers,
                                                      ULONG* state) = 0;

 protected:
  ~IMAPIContainer() = default;
};

struct IMessage;
using LPMESSAGE = IMessage*;
struct IMAPIFolder;
using LPMAPIFOLDER = IMAPIFolder*;

struct IMAPIFolder : IMAPIContainer {
  virtual HRESULT STDMETHODCALLTYPE CreateMessage(LPCIID iid, ULONG flags, LPMESSAGE* message) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyMessages(LPVOID messages, LPCIID iid, LPVOID destination, ULONG_PTR uiParam,
                                                 LPVOID progress, ULONG flags) = 0;
  // messages: an ENTRYLIST (SBinaryArray) of entry ids.
  virtual HRESULT STDMETHODCALLTYPE DeleteMessages(SBinaryArray* messages, ULONG_PTR uiParam, LPVOID progress,
                                                   ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateFolder(ULONG folderType, LPSTR name, LPSTR comment, LPCIID iid, ULONG flags,
                                                 LPMAPIFOLDER* folder) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyFolder(ULONG cbEntryID, LPENTRYID entryID, LPCIID iid, LPVOID destination,
                                               LPSTR newName, ULONG_PTR uiParam, LPVOID progress, ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteFolder(ULONG cbEntryID, LPENTRYID entryID, ULONG_PTR uiParam,
                                                 LPVOID progress, ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetReadFlags(SBinaryArray* messages, ULONG_PTR uiParam, LPVOID progress,
                                                 ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMessageStatus(ULONG cbEntryID, LPENTRYID entryID, ULONG flags,
                                                     ULONG* status) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMessageStatus(ULONG cbEntryID, LPENTRYID entryID, ULONG newStatus,
                                                     ULONG newStatusMask, ULONG* oldStatus) = 0;
  virtual HRESULT STDMETHODCALLTYPE SaveContentsSort(LPSSortOrderSet sortOrder, ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE EmptyFolder(ULONG_PTR uiParam, LPVOID progress, ULONG flags) = 0;

 protected:
  ~IMAPIFolder() = default;
};

struct IAttach : IMAPIProp {
 protected:
  ~IAttach() = default;
};
using LPATTACH = IAttach*;

struct IMessage : IMAPIProp {
  virtual HRESULT STDMETHODCALLTYPE GetAttachmentTable(ULONG flags, LPMAPITABLE* table) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenAttach(ULONG attachmentNum, LPCIID iid, ULONG flags, LPATTACH* attach) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateAttach(LPCIID iid, ULONG flags, ULONG* attachmentNum, LPATTACH* attach) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteAttach(ULONG attachmentNum, ULONG_PTR uiParam, LPVOID progress,
                                                 ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRecipientTable(ULONG flags, LPMAPITABLE* table) = 0;
  virtual HRESULT STDMETHODCALLTYPE ModifyRecipients(ULONG flags, LPVOID modifications) = 0;
  virtual HRESULT STDMETHODCALLTYPE SubmitMessage(ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetReadFlag(ULONG flags) = 0;

 protected:
  ~IMessage() = default;
};

struct IMsgStore : IMAPIProp {
  virtual HRESULT STDMETHODCALLTYPE Advise(ULONG cbEntryID, LPENTRYID entryID, ULONG eventMask, LPMAPIADVISESINK sink,
                                           ULONG_PTR* connection) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unadvise(ULONG_PTR connection) = 0;
  virtual HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG cbEntryID1, LPENTRYID entryID1, ULONG cbEntryID2,
                                                    LPENTRYID entryID2, ULONG flags, ULONG* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cbEntryID, LPENTRYID entryID, LPCIID iid, ULONG flags,
                                              ULONG* objType, LPUNKNOWN* object) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetReceiveFolder(LPSTR messageClass, ULONG flags, ULONG cbEntryID,
                                                     LPENTRYID entryID) = 0;
  // The folder's entry id in a MAPIAllocateBuffer block; explicitClass likewise (may be null).
  virtual HRESULT STDMETHODCALLTYPE GetReceiveFolder(LPSTR messageClass, ULONG flags, ULONG* cbEntryID,
                                                     LPENTRYID* entryID, LPSTR* explicitClass) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetReceiveFolderTable(ULONG flags, LPMAPITABLE* table) = 0;
  virtual HRESULT STDMETHODCALLTYPE StoreLogoff(ULONG* flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE AbortSubmit(ULONG cbEntryID, LPENTRYID entryID, ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetOutgoingQueue(ULONG flags, LPMAPITABLE* table) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetLockState(LPMESSAGE message, ULONG lockState) = 0;
  virtual HRESULT STDMETHODCALLTYPE FinishedMsg(ULONG flags, ULONG cbEntryID, LPENTRYID entryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotifyNewMail(LPNOTIFICATION notification) = 0;

 protected:
  ~IMsgStore() = default;
};
using LPMDB = IMsgStore*;

#define PR_CONTAINER_FLAGS PROP_TAG(PT_LONG, 0x3600)
#define PR_DEPTH PROP_TAG(PT_LONG, 0x3005)
#define PR_AB_SEARCH_PATH PROP_TAG(PT_MV_BINARY, 0x3D01)
#define AB_RECIPIENTS 0x00000001
#define AB_SUBCONTAINERS 0x00000002
#define AB_MODIFIABLE 0x00000004

struct IABContainer : IMAPIContainer {
  virtual HRESULT STDMETHODCALLTYPE CreateEntry(ULONG cbEntryID, LPENTRYID entryID, ULONG flags, LPMAPIPROP* entry) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyEntries(SBinaryArray* entries, ULONG_PTR uiParam, LPVOID progress, ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteEntries(SBinaryArray* entries, ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResolveNames(LPSPropTagArray tags, ULONG flags, LPADRLIST adrList, LPVOID flagList) = 0;

 protected:
  ~IABContainer() = default;
};
using LPABCONT = IABContainer*;

struct IAddrBook : IMAPIProp {
  virtual HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cbEntryID, LPENTRYID entryID, LPCIID iid, ULONG flags,
                                              ULONG* objType, LPUNKNOWN* object) = 0;
  virtual HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG cbEntryID1, LPENTRYID entryID1, ULONG cbEntryID2,
                                                    LPENTRYID entryID2, ULONG flags, ULONG* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE Advise(ULONG cbEntryID, LPENTRYID entryID, ULONG eventMask, LPMAPIADVISESINK sink,
                                           ULONG_PTR* connection) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unadvise(ULONG_PTR connection) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateOneOff(LPSTR name, LPSTR addressType, LPSTR address, ULONG flags,
                                                 ULONG* cbEntryID, LPENTRYID* entryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE NewEntry(ULONG_PTR uiParam, ULONG flags, ULONG cbEIDContainer,
                                             LPENTRYID eidContainer, ULONG cbEIDNewEntryTpl, LPENTRYID eidNewEntryTpl,
                                             ULONG* cbEIDNewEntry, LPENTRYID* eidNewEntry) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResolveName(ULONG_PTR uiParam, ULONG flags, LPSTR newEntryTitle, LPADRLIST adrList) = 0;
  virtual HRESULT STDMETHODCALLTYPE Address(ULONG_PTR* uiParam, LPVOID adrParms, LPADRLIST* adrList) = 0;
  virtual HRESULT STDMETHODCALLTYPE Details(ULONG_PTR* uiParam, LPVOID dismiss, LPVOID dismissContext, ULONG cbEntryID,
                                            LPENTRYID entryID, LPVOID buttonCallback, LPVOID buttonContext,
                                            LPSTR buttonText, ULONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE RecipOptions(ULONG_PTR uiParam, ULONG flags, LPVOID recip) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryDefaultRecipOpt(LPSTR addressType, ULONG flags, ULONG* count,
                                                         LPSPropValue* options) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPAB(ULONG* cbEntryID, LPENTRYID* entryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPAB(ULONG cbEntryID, LPENTRYID entryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDefaultDir(ULONG* cbEntryID, LPENTRYID* entryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDefaultDir(ULONG cbEntryID, LPENTRYID entryID) = 0;
  // The containers searched to resolve names, in order: rows with PR_ENTRYID.
  virtual HRESULT STDMETHODCALLTYPE GetSearchPath(ULONG flags, LPSRowSet* searchPath) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSearchPath(ULONG flags, LPSRowSet searchPath) = 0;
  virtual HRESULT STDMETHODCALLTYPE PrepareRecips(ULONG flags, LPSPropTagArray tags, LPADRLIST recipients) = 0;

 protected:
  ~IAddrBook() = default;
};
using LPADRBOOK = IAddrBook*;

struct IMAPISession : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hr, ULONG flags, LPMAPIERROR* error) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMsgStoresTable(ULONG flags, LPMAPITABLE* table) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenMsgStore(ULONG_PTR uiParam, ULONG cbEntryID, LPENTRYID entryID, LPCIID iid,
                                                 ULONG flags, LPMDB* store) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenAddressBook(ULONG_PTR uiParam, LPCIID iid, ULONG flags, LPADRBOOK* book) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenProfileSection(LPMAPIUID uid, LPCIID iid, ULONG flags, LPPROFSECT* section) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStatusTable(ULONG flags, LPMAPITABLE* table) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cbEntryID, LPENTRYID entryID, LPCIID iid, ULONG flags,
                                              ULONG* objType, LPUNKNOWN* object) = 0;
  virtual HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG cbEntryID1, LPENTRYID entryID1, ULONG cbEntryID2,
                                                    LPENTRYID entryID2, ULONG flags, ULONG* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE Advise(ULONG cbEntryID, LPENTRYID entryID, ULONG eventMask, LPMAPIADVISESINK sink,
                                           ULONG_PTR* connection) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unadvise(ULONG_PTR connection) = 0;
  virtual HRESULT STDMETHODCALLTYPE MessageOptions(ULONG_PTR uiParam, ULONG flags, LPSTR addressType,
                                                   LPMESSAGE message) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryDefaultMessageOpt(LPSTR addressType, ULONG flags, ULONG* count,
                                                           LPSPropValue* options) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumAdrTypes(ULONG flags, ULONG* count, LPSTR** types) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryIdentity(ULONG* cbEntryID, LPENTRYID* entryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE Logoff(ULONG_PTR uiParam, ULONG flags, ULONG reserved) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDefaultStore(ULONG flags, ULONG cbEntryID, LPENTRYID entryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE AdminServices(ULONG flags, LPSERVICEADMIN* serviceAdmin) = 0;
  virtual HRESULT STDMETHODCALLTYPE ShowForm(ULONG_PTR uiParam, LPMDB store, LPMAPIFOLDER parent, LPCIID iid,
                                             ULONG messageToken, LPMESSAGE sent, ULONG flags, ULONG messageStatus,
                                             ULONG messageFlags, ULONG access, LPSTR messageClass) = 0;
  virtual HRESULT STDMETHODCALLTYPE PrepareForm(LPCIID iid, LPMESSAGE message, ULONG* messageToken) = 0;

 protected:
  ~IMAPISession() = default;
};
using LPMAPISESSION = IMAPISession*;

DEFINE_GUID(IID_IMAPIContainer, 0x0002030B, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
DEFINE_GUID(IID_IMAPIFolder, 0x0002030C, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
DEFINE_GUID(IID_IMessage, 0x00020307, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
DEFINE_GUID(IID_IAttachment, 0x00020308, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
DEFINE_GUID(IID_IMsgStore, 0x00020306, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
DEFINE_GUID(IID_IMAPISession, 0x00020300, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
KIPO_COM_INTERFACE(IMAPIContainer, IID_IMAPIContainer)
KIPO_COM_INTERFACE(IMAPIFolder, IID_IMAPIFolder)
KIPO_COM_INTERFACE(IMessage, IID_IMessage)
KIPO_COM_INTERFACE(IAttach, IID_IAttachment)
KIPO_COM_INTERFACE(IMsgStore, IID_IMsgStore)
KIPO_COM_INTERFACE(IMAPISession, IID_IMAPISession)
DEFINE_GUID(IID_IABContainer, 0x0002030D, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
DEFINE_GUID(IID_IAddrBook, 0x00020309, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
KIPO_COM_INTERFACE(IABContainer, IID_IABContainer)
KIPO_COM_INTERFACE(IAddrBook, IID_IAddrBook)

DEFINE_GUID(IID_IMAPIProp, 0x00020303, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
DEFINE_GUID(IID_IMAPITable, 0x00020301, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
DEFINE_GUID(IID_IProfSect, 0x00020304, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
DEFINE_GUID(IID_IMAPIAdviseSink, 0x00020302, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
DEFINE_GUID(IID_IProviderAdmin, 0x00020325, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
DEFINE_GUID(IID_IMsgServiceAdmin, 0x0002031D, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
DEFINE_GUID(IID_IProfAdmin, 0x0002031C, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
KIPO_COM_INTERFACE(IMAPIProp, IID_IMAPIProp)
KIPO_COM_INTERFACE(IMAPITable, IID_IMAPITable)
KIPO_COM_INTERFACE(IProfSect, IID_IProfSect)
KIPO_COM_INTERFACE(IMAPIAdviseSink, IID_IMAPIAdviseSink)
KIPO_COM_INTERFACE(IProviderAdmin, IID_IProviderAdmin)
KIPO_COM_INTERFACE(IMsgServiceAdmin, IID_IMsgServiceAdmin)
KIPO_COM_INTERFACE(IProfAdmin, IID_IProfAdmin)

// The global profile section of every profile.
inline constexpr MAPIUID kGlobalProfileSection = {
    {0x13, 0xDB, 0xB0, 0xC8, 0xAA, 0x05, 0x10, 0x1A, 0x9B, 0xB0, 0x00, 0xAA, 0x00, 0x2F, 0xC4, 0x5A}};

// ---- the entry points of "mapi32.dll" ----
using LPALLOCATEBUFFER = SCODE (*)(ULONG cb, LPVOID* buffer);
using LPALLOCATEMORE = SCODE (*)(ULONG cb, LPVOID object, LPVOID* buffer);
using LPFREEBUFFER = ULONG (*)(LPVOID buffer);

using MAPIInitializeFn = HRESULT (*)(LPVOID mapiInit);
using MAPIUninitializeFn = void (*)();
using MAPILogonExFn = HRESULT (*)(ULONG_PTR uiParam, LPSTR profileName, LPSTR password, ULONG flags,
                                  LPMAPISESSION* session);
using MAPIAdminProfilesFn = HRESULT (*)(ULONG flags, LPPROFADMIN* profAdmin);
using FreeProwsFn = void (*)(LPSRowSet rows);
using MAPIFreeBufferFn = ULONG (*)(LPVOID buffer);
using MAPIAllocateBufferFn = SCODE (*)(ULONG cb, LPVOID* buffer);
using MAPIAllocateMoreFn = SCODE (*)(ULONG cb, LPVOID object, LPVOID* buffer);
using HrAllocAdviseSinkFn = HRESULT (*)(LPNOTIFCALLBACK callback, LPVOID context, LPMAPIADVISESINK* sink);
using HrQueryAllRowsFn = HRESULT (*)(LPMAPITABLE table, LPSPropTagArray columns, LPSRestriction restriction,
                                     LPSSortOrderSet sortOrder, LONG maxRows, LPSRowSet* rows);
using HrGetOnePropFn = HRESULT (*)(LPMAPIPROP object, ULONG tag, LPSPropValue* value);
// fileName is 8-bit text in the ANSI code page; flags: STGM_* with SOF_UNIQUEFILENAME.
using OpenStreamOnFileFn = HRESULT (*)(LPALLOCATEBUFFER allocate, LPFREEBUFFER free, ULONG flags, LPSTR fileName,
                                       LPSTR prefix, LPSTREAM* stream);
#define SOF_UNIQUEFILENAME 0x80000000

inline constexpr char kMapiInitializeName[] = "MAPIInitialize";
inline constexpr char kMapiUninitializeName[] = "MAPIUninitialize";
inline constexpr char kMapiLogonExName[] = "MAPILogonEx";
inline constexpr char kMapiAdminProfilesName[] = "MAPIAdminProfiles";
inline constexpr char kFreeProwsName[] = "FreeProws@4";
inline constexpr char kMapiFreeBufferName[] = "MAPIFreeBuffer";
inline constexpr char kMapiAllocateBufferName[] = "MAPIAllocateBuffer";
inline constexpr char kMapiAllocateMoreName[] = "MAPIAllocateMore";
inline constexpr char kHrAllocAdviseSinkName[] = "HrAllocAdviseSink@12";
inline constexpr char kHrQueryAllRowsName[] = "HrQueryAllRows@24";
inline constexpr char kHrGetOnePropName[] = "HrGetOneProp@12";
inline constexpr char kOpenStreamOnFileName[] = "OpenStreamOnFile";

// "mapistub.dll": the path of an installed MAPI component. (component id, qualifier or null,
// buffer, its size in bytes, install when missing) -> TRUE when the path was found and fits.
using FGetComponentPathFn = BOOL (*)(LPCSTR component, LPSTR qualifier, LPSTR dllPath, DWORD cbDllPath,
                                     BOOL install);
inline constexpr char kFGetComponentPathName[] = "FGetComponentPath";
