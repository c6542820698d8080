// Tables read whole through the MAPI layer's loader.
#include "outlook/mapi_table.h"

#include "app/log.h"
#include "outlook/mapi_internal.h"

using namespace mapilayer;

CMapiTable::CMapiTable(IMAPITable* table) : m_table(table) {}

CMapiTable CMapiTable::createServiceTable(IMsgServiceAdmin* admin) {
  CMapiTable result;
  if (!admin) return result;
  platform::com::Ptr<IMAPITable> table;
  if (SUCCEEDED(admin->GetMsgServiceTable(0, table.put()))) result.m_table = table;
  return result;
}

bool CMapiTable::queryAllRows(LPSRowSet* rows, LPSPropTagArray columns) {
  if (!rows) return false;
  *rows = nullptr;
  if (!m_table) return false;
  return guarded(u"queryAllRows", false, [&] {
    const HRESULT hr = loader().HrQueryAllRows(m_table.get(), columns, nullptr, nullptr, 0, rows);
    if (FAILED(hr) && *rows) {
      loader().FreeProws(*rows);
      *rows = nullptr;
    }
    return SUCCEEDED(hr);
  });
}

bool CMapiTable::getPropertyVector(LPSPropTagArray columns, ULONG column, SBinaryVector& values) {
  return guarded(u"getPropertyVector", false, [&] {
    Rows rows;
    if (!queryAllRows(rows.put(), columns)) {
      writeLog(u"{MapiTable}: Failed to get property vector because query all rows failed.");
      return false;
    }
    values.clear();
    for (ULONG i = 0; i < rows.count(); ++i) {
      const SPropValue& v = rows.at(i, column);
      if (PROP_TYPE(v.ulPropTag) != PT_BINARY) continue;
      SBinaryPtr copy = copySBinary(v.Value.bin);
      if (!copy) return false;
      values.push_back(std::move(copy));
    }
    return true;
  });
}
