// Reading a MAPI table in batches of rows, all of them or the ones a restriction matches, with the
// running synchronization's cancel test between batches.
#include "app/log.h"
#include "outlook/mapi_internal.h"
#include "outlook/mapi_util.h"

namespace {

using namespace mapilayer;
using platform::com::Ptr;

bool isCancelled(const CMapiUtil::CancelTest& cancelled) { return cancelled && cancelled(); }

}  // namespace

HRESULT CMapiUtil::getAllRows(IMAPITable* table, RowBatches& batches, const CancelTest& cancelled) {
  if (!table) return E_FAIL;
  return guarded(u"getAllRows", HRESULT(E_FAIL), [&]() -> HRESULT {
    loader();
    LONG position = 0;
    bool done = false;
    HRESULT result = S_OK;
    while (!done && !FAILED(result)) {
      result = table->SeekRow(BOOKMARK_BEGINNING, position, nullptr);
      if (FAILED(result)) break;
      if (isCancelled(cancelled)) {
        result = MAPI_E_USER_CANCEL;
        break;
      }
      LPSRowSet rows = nullptr;
      result = table->QueryRows(kBatchRows, 0, &rows);
      if (FAILED(result)) break;
      if (!rows) break;
      if (rows->cRows == 0) done = true;
      position += static_cast<LONG>(rows->cRows);
      batches.push_back(rows);
    }
    return result;
  });
}

HRESULT CMapiUtil::getRestrictedRows(IMAPITable* table, RowBatches& batches, LPSRestriction restriction,
                                     const CancelTest& cancelled) {
  if (!table) return E_FAIL;
  return guarded(u"getRestrictedRows", HRESULT(E_FAIL), [&]() -> HRESULT {
    loader();
    const HRESULT first = table->FindRow(restriction, BOOKMARK_BEGINNING, 0);
    HRESULT found = first;
    while (SUCCEEDED(found)) {
      LPSRowSet rows = nullptr;
      if (SUCCEEDED(table->QueryRows(1, 0, &rows)) && rows) batches.push_back(rows);
      found = table->FindRow(restriction, BOOKMARK_CURRENT, 0);
      // Matching rows are few; the check only keeps the window answering.
      isCancelled(cancelled);
    }
    return SUCCEEDED(first) ? S_OK : first;
  });
}

HRESULT CMapiUtil::getMapiFolderContents(IMAPIFolder* folder, RowBatches& batches, LPSPropTagArray columns,
                                         LPSRestriction restriction, const CancelTest& cancelled) {
  if (!folder) return E_FAIL;
  return guarded(u"getMapiFolderContents", HRESULT(E_FAIL), [&]() -> HRESULT {
    Ptr<IMAPITable> table;
    HRESULT hr = folder->GetContentsTable(0, table.put());
    if (FAILED(hr)) return hr;
    hr = table->SetColumns(columns, 0);
    if (FAILED(hr)) return hr;
    return restriction ? getRestrictedRows(table.get(), batches, restriction, cancelled)
                       : getAllRows(table.get(), batches, cancelled);
  });
}

void CMapiUtil::freeRowBatches(RowBatches& batches) {
  guarded(u"freeRowBatches", 0, [&] {
    for (LPSRowSet rows : batches)
      if (rows) loader().FreeProws(rows);
    batches.clear();
    return 0;
  });
}
