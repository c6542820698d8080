// Exchange mailboxes of the simulated host: a server of the host's server table (platform/net/
// servers.h) with a mailbox owner has a mailbox store file. What the stand-in keeps, in the host
// registry:
//   HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Exchange\Mailboxes\<server>\<mailbox>
//     Organization, Site   REG_SZ   the names in the owner's distinguished names
//     Path                 REG_SZ   the mailbox's store file (a Windows path)
// A mailbox is reached only while its server is listed and reachable; otherwise the calls that
// need it fail with MAPI_E_NETWORK_ERROR.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/modules/mapi32/mapidefs.h"

namespace mapi {

inline constexpr char16_t kMailboxesKey[] = u"SOFTWARE\\Microsoft\\Exchange\\Mailboxes";

struct Mailbox {
  std::u16string server, name, organization, site, path;
  // "/o=ORG/ou=SITE/cn=Recipients/cn=NAME"
  std::u16string address() const;
  // "/o=ORG/ou=SITE/cn=Configuration/cn=Servers/cn=SERVER/cn=Microsoft MTA"
  std::u16string homeMta() const;
};

// The mailbox, when the server is listed and reachable and has it: S_OK; MAPI_E_NETWORK_ERROR for
// a server that is not listed or does not answer; MAPI_E_NOT_FOUND for a mailbox it does not have.
HRESULT findMailbox(const std::u16string& server, const std::u16string& name, Mailbox& out);
// Records a mailbox and makes its store file (with the default folder tree) when missing.
HRESULT addMailbox(const Mailbox& mailbox);
// Every mailbox of the host, whatever its server's state.
std::vector<Mailbox> allMailboxes();

// The host's sent log: one value per message sent through SubmitMessage, under
//   HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Exchange\SentLog   "<8-digit number>" REG_SZ
//   "<sender>\t<recipient>; <recipient>...\t<subject>"
inline constexpr char16_t kSentLogKey[] = u"SOFTWARE\\Microsoft\\Exchange\\SentLog";
HRESULT logSent(const std::u16string& sender, const std::vector<std::u16string>& recipients, const std::u16string& subject);
std::vector<std::u16string> sentLog();

}  // namespace mapi
