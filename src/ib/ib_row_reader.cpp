#include "ib/ib_row_reader.h"

namespace kavo {

using ib_engine::RowReader;

bool RowReader::ReadNext() {
  if (!select_.Open() || select_.Eof()) return false;
  TIBXSQLDA* row = select_.Next();
  if (row == nullptr) return false;
  uint8_t* record = store_.Next();
  store_.Blank(record);
  store_.Layout().StoreRow(record, *row);
  TIBRecordLayout::Header(record).record_number = store_.Count();
  store_.Added();
  return true;
}

void RowReader::ReadByName(TIBXSQLDA& row, uint8_t* record) const {
  TIBXSQLDA& columns = select_.Current();
  const TIBRecordLayout& layout = store_.Layout();
  for (int i = 0; i < row.Count(); ++i) {
    TIBXSQLVAR* column = columns.ByName(row.Names()[static_cast<size_t>(i)]);
    if (column == nullptr || column->Index() == layout.DbKeyColumn() ||
        column->Index() >= layout.ColumnCount())
      continue;
    TIBRecordLayout::StoreColumn(record, column->Index(), row[i]);
  }
}

}  // namespace kavo
