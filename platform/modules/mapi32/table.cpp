// The MAPI stand-in's tables: a snapshot of rows with IMAPITable's columns, cursor and restriction.
#include "platform/modules/mapi32/table.h"

#include <algorithm>
#include <cstring>

#include "platform/modules/mapi32/memory.h"

namespace mapi {

Table::Table(std::vector<Row> rows, std::vector<ULONG> columns, std::unique_ptr<Deriver> deriver)
    : rows_(std::move(rows)), deriver_(std::move(deriver)), columns_(std::move(columns)) {
  view_.reserve(rows_.size());
  for (std::size_t i = 0; i < rows_.size(); ++i) view_.push_back(i);
}

HRESULT newTable(std::vector<Row> rows, std::vector<ULONG> columns, LPMAPITABLE* table, std::unique_ptr<Deriver> deriver) {
  if (!table) return MAPI_E_INVALID_PARAMETER;
  *table = new Table(std::move(rows), std::move(columns), std::move(deriver));
  return S_OK;
}

HRESULT Table::GetLastError(HRESULT, ULONG, LPMAPIERROR* error) {
  if (error) *error = nullptr;
  return S_OK;
}
HRESULT Table::Advise(ULONG, LPMAPIADVISESINK, ULONG_PTR*) { return MAPI_E_NO_SUPPORT; }
HRESULT Table::Unadvise(ULONG_PTR) { return MAPI_E_NO_SUPPORT; }

HRESULT Table::GetStatus(ULONG* tableStatus, ULONG* tableType) {
  if (!tableStatus || !tableType) return MAPI_E_INVALID_PARAMETER;
  *tableStatus = TBLSTAT_COMPLETE;
  *tableType = TBLTYPE_SNAPSHOT;
  return S_OK;
}

HRESULT Table::SetColumns(LPSPropTagArray columns, ULONG flags) {
  if (!columns || columns->cValues == 0) return MAPI_E_INVALID_PARAMETER;
  if (flags & ~ULONG(TBL_ASYNC | TBL_BATCH)) return MAPI_E_UNKNOWN_FLAGS;
  columns_.assign(columns->aulPropTag, columns->aulPropTag + columns->cValues);
  return S_OK;
}

HRESULT Table::QueryColumns(ULONG, LPSPropTagArray* columns) {
  if (!columns) return MAPI_E_INVALID_PARAMETER;
  LPVOID block = nullptr;
  if (SCODE sc = allocateBuffer(static_cast<ULONG>(CbNewSPropTagArray(std::max<std::size_t>(columns_.size(), 1))), &block);
      sc != S_OK)
    return sc;
  auto* out = static_cast<LPSPropTagArray>(block);
  out->cValues = static_cast<ULONG>(columns_.size());
  std::copy(columns_.begin(), columns_.end(), out->aulPropTag);
  *columns = out;
  return S_OK;
}

HRESULT Table::GetRowCount(ULONG flags, ULONG* count) {
  if (!count) return MAPI_E_INVALID_PARAMETER;
  if (flags) return MAPI_E_UNKNOWN_FLAGS;
  *count = static_cast<ULONG>(view_.size());
  return S_OK;
}

bool Table::base(BOOKMARK origin, std::size_t& at) const {
  switch (origin) {
    case BOOKMARK_BEGINNING: at = 0; return true;
    case BOOKMARK_CURRENT: at = cursor_; return true;
    case BOOKMARK_END: at = view_.size(); return true;
    default: return false;
  }
}

HRESULT Table::SeekRow(BOOKMARK origin, LONG rowCount, LONG* rowsSought) {
  std::size_t from = 0;
  if (!base(origin, from)) return MAPI_E_INVALID_BOOKMARK;
  const long long to = std::clamp<long long>(static_cast<long long>(from) + rowCount, 0, static_cast<long long>(view_.size()));
  cursor_ = static_cast<std::size_t>(to);
  if (rowsSought) *rowsSought = static_cast<LONG>(to - static_cast<long long>(from));
  return S_OK;
}

HRESULT Table::SeekRowApprox(ULONG numerator, ULONG denominator) {
  if (denominator == 0) return MAPI_E_INVALID_PARAMETER;
  if (numerator >= denominator) {
    cursor_ = view_.size();
  } else {
    cursor_ = static_cast<std::size_t>(static_cast<unsigned long long>(view_.size()) * numerator / denominator);
  }
  return S_OK;
}

HRESULT Table::QueryPosition(ULONG* row, ULONG* numerator, ULONG* denominator) {
  if (!row || !numerator || !denominator) return MAPI_E_INVALID_PARAMETER;
  *row = static_cast<ULONG>(cursor_);
  *numerator = static_cast<ULONG>(cursor_);
  *denominator = static_cast<ULONG>(std::max<std::size_t>(view_.size(), 1));
  return S_OK;
}

HRESULT Table::FindRow(LPSRestriction restriction, BOOKMARK origin, ULONG flags) {
  if (!restriction) return MAPI_E_INVALID_PARAMETER;
  if (flags & ~ULONG(DIR_BACKWARD)) return MAPI_E_UNKNOWN_FLAGS;
  std::size_t from = 0;
  if (!base(origin, from)) return MAPI_E_INVALID_BOOKMARK;
  Restriction r;
  if (HRESULT hr = copyRestriction(*restriction, r); FAILED(hr)) return hr;
  if (flags & DIR_BACKWARD) {
    for (std::size_t i = from; i-- > 0;)
      if (matches(r, rows_[view_[i]], deriver_.get())) {
        cursor_ = i;
        return S_OK;
      }
  } else {
    for (std::size_t i = from; i < view_.size(); ++i)
      if (matches(r, rows_[view_[i]], deriver_.get())) {
        cursor_ = i;
        return S_OK;
      }
  }
  return MAPI_E_NOT_FOUND;
}

HRESULT Table::Restrict(LPSRestriction restriction, ULONG flags) {
  if (flags & ~ULONG(TBL_ASYNC | TBL_BATCH)) return MAPI_E_UNKNOWN_FLAGS;
  std::vector<std::size_t> view;
  if (restriction) {
    Restriction r;
    if (HRESULT hr = copyRestriction(*restriction, r); FAILED(hr)) return hr;
    for (std::size_t i = 0; i < rows_.size(); ++i)
      if (matches(r, rows_[i], deriver_.get())) view.push_back(i);
  } else {
    for (std::size_t i = 0; i < rows_.size(); ++i) view.push_back(i);
  }
  view_ = std::move(view);
  cursor_ = 0;
  return S_OK;
}

HRESULT Table::CreateBookmark(BOOKMARK*) { return MAPI_E_NO_SUPPORT; }
HRESULT Table::FreeBookmark(BOOKMARK) { return MAPI_E_NO_SUPPORT; }
HRESULT Table::SortTable(LPSSortOrderSet, ULONG) { return MAPI_E_NO_SUPPORT; }
HRESULT Table::QuerySortOrder(LPSSortOrderSet*) { return MAPI_E_NO_SUPPORT; }

HRESULT Table::QueryRows(LONG rowCount, ULONG flags, LPSRowSet* rows) {
  if (!rows) return MAPI_E_INVALID_PARAMETER;
  *rows = nullptr;
  if (rowCount == 0) return MAPI_E_INVALID_PARAMETER;
  if (flags & ~ULONG(TBL_NOADVANCE)) return MAPI_E_UNKNOWN_FLAGS;
  std::size_t first = cursor_, last = cursor_;
  if (rowCount > 0) {
    last = std::min(view_.size(), cursor_ + static_cast<std::size_t>(rowCount));
  } else {
    // Backwards: the rows before the cursor, in table order, and the cursor moves back over them.
    const std::size_t n = std::min<std::size_t>(cursor_, static_cast<std::size_t>(-static_cast<long long>(rowCount)));
    first = cursor_ - n;
  }
  std::vector<const Row*> picked;
  for (std::size_t i = first; i < last; ++i) picked.push_back(&rows_[view_[i]]);
  if (HRESULT hr = makeRowSet(picked, columns_, rows, deriver_.get()); FAILED(hr)) return hr;
  if (!(flags & TBL_NOADVANCE)) cursor_ = rowCount > 0 ? last : first;
  return S_OK;
}

HRESULT Table::Abort() { return S_OK; }
HRESULT Table::ExpandRow(ULONG, LPBYTE, ULONG, ULONG, LPSRowSet*, ULONG*) { return MAPI_E_NO_SUPPORT; }
HRESULT Table::CollapseRow(ULONG, LPBYTE, ULONG, ULONG*) { return MAPI_E_NO_SUPPORT; }
HRESULT Table::WaitForCompletion(ULONG, ULONG, ULONG* tableStatus) {
  if (tableStatus) *tableStatus = TBLSTAT_COMPLETE;
  return S_OK;
}
HRESULT Table::GetCollapseState(ULONG, ULONG, LPBYTE, ULONG*, LPBYTE*) { return MAPI_E_NO_SUPPORT; }
HRESULT Table::SetCollapseState(ULONG, ULONG, LPBYTE, BOOKMARK*) { return MAPI_E_NO_SUPPORT; }

}  // namespace mapi
