#include "row_buffer.h"

#include "connection.h"

namespace kavo::ocisqlite {

RowBuffer::RowBuffer(sqlite3_stmt* st, Connection& conn)
    : columns_(static_cast<size_t>(sqlite3_column_count(st))) {
  // Offsets first: the bytes move while they grow.
  std::vector<size_t> offsets;
  int rc = SQLITE_ROW;
  while (rc == SQLITE_ROW) {
    for (size_t c = 0; c < columns_; ++c) {
      Cell cell = Cell::Column(st, static_cast<int>(c));
      if (cell.p) {
        offsets.push_back(cells_.size());
        cell.i = static_cast<int64_t>(bytes_.size());
        bytes_.append(cell.p, cell.n);
        cell.p = nullptr;
      }
      cells_.push_back(cell);
    }
    rc = sqlite3_step(st);
  }
  if (rc != SQLITE_DONE) error_ = std::make_unique<OraError>(conn.MapError(rc, sqlite3_errmsg(sqlite3_db_handle(st))));
  for (size_t k : offsets) {
    Cell& cell = cells_[k];
    cell.p = bytes_.data() + cell.i;
    cell.i = 0;
  }
}

bool RowBuffer::Next() {
  if (row_ + 1 >= rows()) {
    row_ = rows();
    return false;
  }
  ++row_;
  return true;
}

}  // namespace kavo::ocisqlite
