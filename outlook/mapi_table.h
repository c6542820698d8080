// A MAPI table held for reading: all its rows at once, or one binary column as a list of owned
// values (the service ids of a profile).
#pragma once

#include "outlook/mapi_binary.h"
#include "platform/afx/object.h"
#include "platform/com/unknown.h"
#include "platform/modules/mapi32/mapidefs.h"

class CMapiTable : public CObject {
 public:
  // Reads through the MAPI layer's loader; copies share the table.
  explicit CMapiTable(IMAPITable* table = nullptr);
  // The message services of a service administration object; empty when it cannot be read.
  static CMapiTable createServiceTable(IMsgServiceAdmin* admin);

  bool isEmpty() const { return !m_table; }
  // HrQueryAllRows with the columns, no restriction, sort or limit. The caller frees the rows
  // with FreeProws; false (rows none) without a table or on failure.
  bool queryAllRows(LPSRowSet* rows, LPSPropTagArray columns);
  // Owned copies of the binary value in `column` of every row, in table order.
  bool getPropertyVector(LPSPropTagArray columns, ULONG column, SBinaryVector& values);

 private:
  platform::com::Ptr<IMAPITable> m_table;
};
