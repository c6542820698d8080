// A MAPI table over rows the stand-in built when the table was opened (profile, service,
// provider, status and store tables; folder tables later), with the column set, cursor and
// restriction of IMAPITable.
//
// Cursor rules (callers' loops depend on them): QueryRows returns up to n rows from the cursor
// and moves past them, so at the end it returns 0 rows; SeekRow moves at most to either end and
// reports how far it went; FindRow leaves the cursor on the row it found, or gives
// MAPI_E_NOT_FOUND and leaves the cursor where it was; Restrict puts the cursor at the beginning.
#pragma once

#include <memory>
#include <vector>

#include "platform/com/unknown.h"
#include "platform/modules/mapi32/props.h"

namespace mapi {

#define TBLSTAT_COMPLETE 0
#define TBLTYPE_SNAPSHOT 0

class Table final : public platform::com::SingleInterface<IMAPITable> {
 public:
  Table(std::vector<Row> rows, std::vector<ULONG> columns, std::unique_ptr<Deriver> deriver = nullptr);

  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hr, ULONG flags, LPMAPIERROR* error) override;
  HRESULT STDMETHODCALLTYPE Advise(ULONG eventMask, LPMAPIADVISESINK sink, ULONG_PTR* connection) override;
  HRESULT STDMETHODCALLTYPE Unadvise(ULONG_PTR connection) override;
  HRESULT STDMETHODCALLTYPE GetStatus(ULONG* tableStatus, ULONG* tableType) override;
  HRESULT STDMETHODCALLTYPE SetColumns(LPSPropTagArray columns, ULONG flags) override;
  HRESULT STDMETHODCALLTYPE QueryColumns(ULONG flags, LPSPropTagArray* columns) override;
  HRESULT STDMETHODCALLTYPE GetRowCount(ULONG flags, ULONG* count) override;
  HRESULT STDMETHODCALLTYPE SeekRow(BOOKMARK origin, LONG rowCount, LONG* rowsSought) override;
  HRESULT STDMETHODCALLTYPE SeekRowApprox(ULONG numerator, ULONG denominator) override;
  HRESULT STDMETHODCALLTYPE QueryPosition(ULONG* row, ULONG* numerator, ULONG* denominator) override;
  HRESULT STDMETHODCALLTYPE FindRow(LPSRestriction restriction, BOOKMARK origin, ULONG flags) override;
  HRESULT STDMETHODCALLTYPE Restrict(LPSRestriction restriction, ULONG flags) override;
  HRESULT STDMETHODCALLTYPE CreateBookmark(BOOKMARK* position) override;
  HRESULT STDMETHODCALLTYPE FreeBookmark(BOOKMARK position) override;
  HRESULT STDMETHODCALLTYPE SortTable(LPSSortOrderSet sortCriteria, ULONG flags) override;
  HRESULT STDMETHODCALLTYPE QuerySortOrder(LPSSortOrderSet* sortCriteria) override;
  HRESULT STDMETHODCALLTYPE QueryRows(LONG rowCount, ULONG flags, LPSRowSet* rows) override;
  HRESULT STDMETHODCALLTYPE Abort() override;
  HRESULT STDMETHODCALLTYPE ExpandRow(ULONG cbInstanceKey, LPBYTE instanceKey, ULONG rowCount, ULONG flags,
                                      LPSRowSet* rows, ULONG* moreRows) override;
  HRESULT STDMETHODCALLTYPE CollapseRow(ULONG cbInstanceKey, LPBYTE instanceKey, ULONG flags, ULONG* rowCount) override;
  HRESULT STDMETHODCALLTYPE WaitForCompletion(ULONG flags, ULONG timeout, ULONG* tableStatus) override;
  HRESULT STDMETHODCALLTYPE GetCollapseState(ULONG flags, ULONG cbInstanceKey, LPBYTE instanceKey,
                                             ULONG* cbCollapseState, LPBYTE* collapseState) override;
  HRESULT STDMETHODCALLTYPE SetCollapseState(ULONG flags, ULONG cbCollapseState, LPBYTE collapseState,
                                             BOOKMARK* location) override;

 private:
  bool base(BOOKMARK origin, std::size_t& at) const;

  std::vector<Row> rows_;
  std::unique_ptr<Deriver> deriver_;
  std::vector<ULONG> columns_;
  std::vector<std::size_t> view_;  // indices into rows_ of the rows the restriction lets through
  std::size_t cursor_ = 0;         // position in view_, view_.size() at the end
};

// A new table as an interface pointer the caller owns.
HRESULT newTable(std::vector<Row> rows, std::vector<ULONG> columns, LPMAPITABLE* table,
                 std::unique_ptr<Deriver> deriver = nullptr);

}  // namespace mapi
