// RowReader: turns the select statement's current row into a stored record
// of the record set's RowStore, and copies another statement's row (the
// refresh) into a record by column name.
#ifndef KAVO_IB_IB_ROW_READER_H_
#define KAVO_IB_IB_ROW_READER_H_

#include <cstdint>

#include "ib/ib_row_store.h"
#include "ib/ib_sql.h"

namespace kavo {

namespace ib_engine {

class RowReader {
 public:
  RowReader(TIBSQL& select, RowStore& store) : select_(select), store_(store) {}

  // Fetches the select's next row into the store's next record; false at
  // its end or when the select is not open.
  bool ReadNext();
  // Copies each column of `row` that the select has too (by name, the
  // database key excepted) into `record`.
  void ReadByName(TIBXSQLDA& row, uint8_t* record) const;

 private:
  TIBSQL& select_;
  RowStore& store_;
};

}  // namespace ib_engine

}  // namespace kavo

#endif  // KAVO_IB_IB_ROW_READER_H_
