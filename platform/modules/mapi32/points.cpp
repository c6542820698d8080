// The MAPI stand-in's fault points and result code names.
#include "platform/modules/mapi32/points.h"

#include "platform/base/fault.h"
#include "platform/modules/mapi32/mapidefs.h"

namespace mapi {
namespace {

// Each checked by the call of the same name (profiles.cpp, session.cpp).
const platform::fault::Points kPoints{
    "IMsgServiceAdmin::CreateMsgService", "IMsgServiceAdmin::ConfigureMsgService",
    "IMAPIFolder::CreateMessage",         "IMessage::CopyTo",
    "IMessage::SaveChanges",              "IMAPIFolder::DeleteMessages",
    "IMAPIFolder::CreateFolder",          "IMAPIFolder::DeleteFolder",
    "IMessage::SubmitMessage",            "IMAPIContainer::GetContentsTable"};

struct Named {
  std::string_view name;
  HRESULT code;
};
#define NAMED(x) {#x, x}
const Named kCodes[] = {
    NAMED(MAPI_E_CALL_FAILED),       NAMED(MAPI_E_NOT_ENOUGH_MEMORY),  NAMED(MAPI_E_INVALID_PARAMETER),
    NAMED(MAPI_E_INTERFACE_NOT_SUPPORTED), NAMED(MAPI_E_NO_ACCESS),    NAMED(MAPI_E_NO_SUPPORT),
    NAMED(MAPI_E_BAD_CHARWIDTH),     NAMED(MAPI_E_STRING_TOO_LONG),    NAMED(MAPI_E_UNKNOWN_FLAGS),
    NAMED(MAPI_E_INVALID_ENTRYID),   NAMED(MAPI_E_INVALID_OBJECT),     NAMED(MAPI_E_OBJECT_CHANGED),
    NAMED(MAPI_E_OBJECT_DELETED),    NAMED(MAPI_E_BUSY),               NAMED(MAPI_E_NOT_ENOUGH_DISK),
    NAMED(MAPI_E_NOT_ENOUGH_RESOURCES), NAMED(MAPI_E_NOT_FOUND),       NAMED(MAPI_E_VERSION),
    NAMED(MAPI_E_LOGON_FAILED),      NAMED(MAPI_E_SESSION_LIMIT),      NAMED(MAPI_E_USER_CANCEL),
    NAMED(MAPI_E_UNABLE_TO_ABORT),   NAMED(MAPI_E_NETWORK_ERROR),      NAMED(MAPI_E_DISK_ERROR),
    NAMED(MAPI_E_TOO_COMPLEX),       NAMED(MAPI_E_BAD_COLUMN),         NAMED(MAPI_E_EXTENDED_ERROR),
    NAMED(MAPI_E_COMPUTED),          NAMED(MAPI_E_CORRUPT_DATA),       NAMED(MAPI_E_UNCONFIGURED),
    NAMED(MAPI_E_FAILONEPROVIDER),   NAMED(MAPI_E_NOT_IN_QUEUE),       NAMED(MAPI_E_COLLISION),
    NAMED(MAPI_E_NOT_INITIALIZED),   NAMED(MAPI_E_NO_RECIPIENTS),      NAMED(MAPI_E_SUBMITTED),
    NAMED(MAPI_E_HAS_FOLDERS),       NAMED(MAPI_E_HAS_MESSAGES),       NAMED(MAPI_E_FOLDER_CYCLE),
    NAMED(MAPI_E_TABLE_EMPTY),       NAMED(MAPI_E_TABLE_TOO_BIG),      NAMED(MAPI_E_INVALID_BOOKMARK),
    NAMED(MAPI_W_ERRORS_RETURNED),
};
#undef NAMED

}  // namespace

void joinFaultPoints() { (void)&kPoints; }

bool hresultByName(std::string_view name, std::uint32_t& out) {
  for (const Named& n : kCodes)
    if (n.name == name) {
      out = static_cast<std::uint32_t>(n.code);
      return true;
    }
  return false;
}

}  // namespace mapi
