// Fuzz harness of the account stores and records: registry values of any type, size and content,
// as a host's Outlook store or a carried copy on the drive may hold them, read by both account
// layouts, converted and written back, and the stores' id allocation and removal run over them.
//
// Input: records of u8 name, u8 type, u16 size (little-endian) and that many bytes. A name below
// the value table's length names an account value (written into one account key of each
// layout); above it one of the store roots' values.
#include <string>
#include <vector>

#include "app/registry.h"
#include "outlook/account_v10.h"
#include "outlook/account_v9.h"
#include "outlook/email_account_manager.h"
#include "tests/fuzz/fuzz_app.h"

namespace {

const char16_t* const kRootValues[] = {kAccountListValue,    u"NextAccountID",    u"Account Name",
                                       u"Default Mail Account", u"SMTP Use Sicily", u"POP3 Prompt for Password"};
const DWORD kTypes[] = {REG_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_EXPAND_SZ, REG_QWORD, REG_NONE};

std::vector<const char16_t*> accountValueNames() {
  std::vector<const char16_t*> names;
  for (const CAccountValueName& row : COutlookAccountV9::initValueNames()) names.push_back(row.name);
  for (const CAccountValueName& row : COutlookAccountV10::initValueNames()) names.push_back(row.name);
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kipofuzz::ensureApp();
  static const std::vector<const char16_t*> names = accountValueNames();
  const CString top(u"HKEY_CURRENT_USER\\Software\\Fuzz");
  const CString v9Root = top + u"\\V9", v10Root = top + u"\\V10";
  const CString v9Account = v9Root + u"\\Accounts\\00000001", v10Account = v10Root + u"\\00000001";
  CRegistry{top}.deleteKey();
  CRegistry(v9Account, true, true);
  CRegistry(v10Account, true, true);

  std::vector<BYTE> lastBytes;
  for (std::size_t at = 0; at + 4 <= size;) {
    const std::size_t name = data[at] % (names.size() + std::size(kRootValues));
    const DWORD type = kTypes[data[at + 1] % std::size(kTypes)];
    std::size_t length = data[at + 2] | static_cast<std::size_t>(data[at + 3]) << 8;
    at += 4;
    if (length > size - at) length = size - at;
    const BYTE* bytes = data + at;
    at += length;
    lastBytes.assign(bytes, bytes + length);
    const DWORD n = static_cast<DWORD>(length);
    if (name < names.size()) {
      CRegistry{v9Account}.setValue(names[name], bytes, n, type);
      CRegistry{v10Account}.setValue(names[name], bytes, n, type);
    } else {
      const char16_t* rootValue = kRootValues[name - names.size()];
      CRegistry{v9Root}.setValue(rootValue, bytes, n, type);
      CRegistry{v10Root}.setValue(rootValue, bytes, n, type);
    }
  }

  COutlookAccountManagerV9 v9(v9Root);
  COutlookAccountManagerV10 v10(v10Root);
  auto first = v9.createAccount();
  auto second = v10.createAccount();
  if (first->read(v9Account)) {
    first->getAccountKind();
    v10.createAccountCopy(*first)->write(v10Root + u"\\00000002");
  }
  if (second->read(v10Account)) {
    second->getAccountKind();
    v9.createAccountCopy(*second)->write(v9Root + u"\\Accounts\\00000002");
    second->write(v10Account);
  }
  v9.createAccountKey(true);
  v10.createAccountKey(true);
  v9.removeMailAccounts();
  v10.removeMailAccounts();
  std::vector<DWORD> ids;
  parseAccountList(lastBytes, ids);
  return 0;
}
