// Moving values between SQLite and the client's buffers in OCI's external
// types: text forms (1, 5, 8, 96, 97), integers (3, 68), floats (4), the
// 7-byte DATE (12), raw bytes (23, 24) and the ROWID descriptor (104).
#ifndef OCISQLITE_VALUES_H
#define OCISQLITE_VALUES_H

#include <sqlite3.h>

#include <string>

#include "handles.h"

namespace kavo::ocisqlite {

// One value as SQLite holds it; text and blobs are borrowed, not copied.
struct Cell {
  int type = SQLITE_NULL;
  int64_t i = 0;
  double d = 0;
  const char* p = nullptr;
  size_t n = 0;

  static Cell Column(sqlite3_stmt* st, int col);
  static Cell Text(const std::string& s);
};

// Writes element i of the target. ora_type is the column's Oracle type (it decides
// e.g. how a stored DATE turns into text). Returns 1406 when the value was
// truncated, else 0; throws OraError when it cannot be converted.
int WriteCell(const Cell& c, ub2 ora_type, const Target& t, ub4 i, Connection& conn);

// Binds element i of a client buffer to SQLite parameter idx.
void BindElement(sqlite3_stmt* st, int idx, const Target& t, ub4 i);

// The text of a cell as Oracle would show it for a column of ora_type.
std::string CellText(const Cell& c, ub2 ora_type, Connection& conn);

}  // namespace kavo::ocisqlite

#endif
