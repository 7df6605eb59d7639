// The rows of a query read in full when its cursor opens. A cursor opened inside
// a transaction runs on the session's own connection, where the session's later
// changes would reach a cursor still stepping (a row updated forward in an index
// would come again); read at once, it returns each row once, as of its open.
#ifndef OCISQLITE_ROW_BUFFER_H
#define OCISQLITE_ROW_BUFFER_H

#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

#include "errors.h"
#include "values.h"

namespace kavo::ocisqlite {

class RowBuffer {
 public:
  // Copies the current row of st and every row after it. A failing step ends the
  // rows; its error is kept for the fetch that reaches it, as a server reports it.
  RowBuffer(sqlite3_stmt* st, Connection& conn);

  // Moves to the next row: false after the last one.
  bool Next();
  // Column col of the current row (the first row is current from the start).
  Cell At(int col) const { return cells_[row_ * columns_ + static_cast<size_t>(col)]; }
  // The error that ended the rows early, or null.
  const OraError* error() const { return error_.get(); }
  size_t rows() const { return columns_ ? cells_.size() / columns_ : 0; }

 private:
  size_t columns_;
  size_t row_ = 0;
  std::vector<Cell> cells_;  // text and blobs point into bytes_
  std::string bytes_;
  std::unique_ptr<OraError> error_;
};

}  // namespace kavo::ocisqlite

#endif
