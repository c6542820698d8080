// The address book's search path: every container of recipients, as the address book lists them
// (CMapiUtil::setAddressBookSearchPath, mapi_util.h).
#include "outlook/mapi_internal.h"
#include "outlook/mapi_restriction.h"
#include "outlook/mapi_util.h"

bool CMapiUtil::setAddressBookSearchPath(IMAPISession* session) {
  using platform::com::Ptr;
  if (!session) return false;
  return mapilayer::guarded(u"setAddressBookSearchPath", false, [&] {
    Ptr<IAddrBook> book;
    if (FAILED(session->OpenAddressBook(0, nullptr, 0, book.put())) || !book) return false;
    ULONG type = 0;
    Ptr<IUnknown> opened;
    if (FAILED(book->OpenEntry(0, nullptr, nullptr, 0, &type, opened.put())) || !opened) return false;
    Ptr<IABContainer> root(static_cast<IABContainer*>(opened.get()));
    Ptr<IMAPITable> table;
    if (FAILED(root->GetHierarchyTable(CONVENIENT_DEPTH, table.put())) || !table) return false;
    SizedSPropTagArray(1, columns) = {1, {PR_ENTRYID}};
    if (FAILED(table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0))) return false;
    CMAPIBitMaskRestriction recipients(AB_RECIPIENTS, PR_CONTAINER_FLAGS, BMR_NEZ);
    if (FAILED(table->Restrict(recipients.getRestriction(), TBL_BATCH))) return false;
    RowBatches batches;
    const HRESULT hr = getAllRows(table.get(), batches);
    bool ok = false;
    if (SUCCEEDED(hr)) {
      // An empty path when no container holds recipients.
      SRowSet none{};
      ok = SUCCEEDED(book->SetSearchPath(0, batches.empty() ? &none : batches.front()));
    }
    freeRowBatches(batches);
    return ok;
  });
}
