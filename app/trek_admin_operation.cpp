// The protected-area operation's texts and its need for an administrator.
#include "app/trek_admin_operation.h"

#include "app/log.h"
#include "app/program_texts.h"
#include "app/windows_helpers.h"

namespace {

constexpr const char16_t* kSecureAreaName = u"DaroriDede";

}  // namespace

bool CTrekAdminOperation::needsAdminRights() { return !isUserAdministrator(); }

CString CTrekAdminOperation::getTitle() {
  return formatMessageText(u"Initiate communication with %s %s.", g_applicationName, kSecureAreaName);
}

CString CTrekAdminOperation::getDescription() {
  return formatMessageText(
      u"%s %s requires administrative priviliges in order to open\nthe protected area of the %s.\n"
      u"No other operations besides device communication will be performed\nas administrator.",
      g_applicationName, kSecureAreaName, g_deviceName);
}
