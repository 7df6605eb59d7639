// A query's rows: its select list typed as Oracle types it, and its rows
// fetched into the client's defined buffers, whole or in pieces.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "charset.h"
#include "row_buffer.h"
#include "statement.h"

namespace kavo::ocisqlite {

namespace {

// Oracle's type of one select-list column.
ColumnDesc DescribeColumn(Stmt& s, int i) {
  ColumnDesc c;
  sqlite3_stmt* st = s.st;
  c.name = sqlite3_column_name(st, i) ? sqlite3_column_name(st, i) : "";
  const char* decl = sqlite3_column_decltype(st, i);
  const char* table = sqlite3_column_table_name(st, i);
  const char* origin = sqlite3_column_origin_name(st, i);
  if (decl && table && origin) {
    int notnull = 0;
    sqlite3_table_column_metadata(sqlite3_db_handle(st), nullptr, table, origin, nullptr, nullptr, &notnull,
                                  nullptr, nullptr);
    c.nullable = notnull ? 0 : 1;
    std::string d = decl;
    int a = 0, b = 0;
    bool two = std::sscanf(d.c_str() + std::min(d.find('('), d.size()), "(%d,%d)", &a, &b) == 2;
    bool one = !two && std::sscanf(d.c_str() + std::min(d.find('('), d.size()), "(%d)", &a) == 1;
    if (d.rfind("VARCHAR2", 0) == 0 || d.rfind("NVARCHAR2", 0) == 0) c.type = SQLT_CHR, c.size = static_cast<ub2>(a);
    else if (d.rfind("CHAR", 0) == 0 || d.rfind("NCHAR", 0) == 0) c.type = SQLT_AFC, c.size = static_cast<ub2>(one ? a : 1);
    else if (d.rfind("NUMBER", 0) == 0) {
      c.type = SQLT_NUM, c.size = 22;
      if (two) c.precision = static_cast<sb2>(a), c.scale = static_cast<sb1>(b);
      else if (one) c.precision = static_cast<sb2>(a), c.scale = 0;
      else c.precision = 0, c.scale = -127;
    } else if (d.rfind("DATE", 0) == 0) c.type = SQLT_DAT, c.size = 7;
    else if (d.rfind("CLOB", 0) == 0 || d.rfind("NCLOB", 0) == 0) c.type = SQLT_CLOB, c.size = 4000;
    else if (d.rfind("BLOB", 0) == 0) c.type = SQLT_BLOB, c.size = 4000;
    else if (d.rfind("TIMESTAMP", 0) == 0) c.type = SQLT_TIMESTAMP, c.size = 11, c.scale = static_cast<sb1>(one ? a : 6);
    else if (d.rfind("LONG RAW", 0) == 0) c.type = SQLT_LBI, c.size = 0;
    else if (d.rfind("LONG", 0) == 0) c.type = SQLT_LNG, c.size = 0;
    else if (d.rfind("RAW", 0) == 0) c.type = SQLT_BIN, c.size = static_cast<ub2>(a);
    else if (d.rfind("INTEGER", 0) == 0) c.type = SQLT_NUM, c.size = 22, c.precision = 0, c.scale = -127;
    else c.type = SQLT_CHR, c.size = 128;
    if (c.type == SQLT_CHR || c.type == SQLT_AFC) c.char_size = c.size;
    if (d.rfind("N", 0) == 0 && c.type != SQLT_NUM) c.csform = 2, c.csid = 871;
    return c;
  }
  Hint hint = Hint::kUnknown;
  int size = 0;
  for (const SelectItem& it : s.tr.items)
    if (it.name == c.name) { hint = it.hint; size = it.size; break; }
  if (hint == Hint::kUnknown && s.row_ready) {
    int t = sqlite3_column_type(st, i);
    hint = t == SQLITE_INTEGER || t == SQLITE_FLOAT ? Hint::kNumber : Hint::kVarchar;
  }
  switch (hint) {
    case Hint::kRowid: c.type = SQLT_RID, c.size = 18; break;
    case Hint::kDate: c.type = SQLT_DAT, c.size = 7; break;
    case Hint::kNumber: c.type = SQLT_NUM, c.size = 22, c.precision = 0, c.scale = -127; break;
    case Hint::kChar: c.type = SQLT_AFC, c.size = static_cast<ub2>(size), c.char_size = c.size; break;
    // National text is stored as UTF-8 too: the national character set is UTF8 (871).
    case Hint::kNVarchar: c.type = SQLT_CHR, c.size = 3, c.csform = 2, c.csid = 871, c.char_size = 1; break;
    default: c.type = SQLT_CHR, c.size = 4000, c.char_size = 4000; break;
  }
  return c;
}

}  // namespace

void Describe(Stmt& s) {
  s.cols.clear();
  s.params.clear();
  int n = sqlite3_column_count(s.st);
  for (int i = 0; i < n; ++i) s.cols.push_back(DescribeColumn(s, i));
  s.described = true;
}

namespace {

// LONG columns fetched piecewise: the client's callback supplies the buffers.
void WritePieces(Define& d, const Cell& c, ub2 ora_type, ub4 row, Connection& conn) {
  std::string text = c.type == SQLITE_NULL ? std::string() : c.type == SQLITE_BLOB ? std::string(c.p, c.n) : CellText(c, ora_type, conn);
  const bool is_text = c.type != SQLITE_BLOB && ora_type != SQLT_BIN && ora_type != SQLT_LBI;
  if (is_text && !IsUtf8Set(d.t.csid)) text = FromStore(text, d.t.csid);
  const size_t unit = is_text ? UnitBytes(d.t.csid) : 1;
  size_t done = 0;
  ub1 piece = OCI_FIRST_PIECE;
  do {
    void* buf = nullptr;
    ub4* alen = nullptr;
    void* ind = nullptr;
    ub2* rcode = nullptr;
    sb4 rc = d.cb(d.cb_ctx, reinterpret_cast<OCIDefine*>(&d), row, &buf, &alen, &piece, &ind, &rcode);
    if (rc != OCI_CONTINUE) throw MakeError(1013);
    if (c.type == SQLITE_NULL) {
      if (ind) *static_cast<sb2*>(ind) = -1;
      if (alen) *alen = 0;
      return;
    }
    if (ind) *static_cast<sb2*>(ind) = 0;
    size_t room = alen ? *alen : 0;
    size_t n = std::min(room, text.size() - done);
    if (unit == 2 && n < text.size() - done) n = WholePrefix(std::string_view(text).substr(done), n, d.t.csid);
    if (buf && n) std::memcpy(buf, text.data() + done, n);
    if (alen) *alen = static_cast<ub4>(n);
    if (rcode) *rcode = 0;
    done += n;
    if (n == 0) throw MakeError(1406);
    piece = OCI_NEXT_PIECE;
  } while (done < text.size());
}

// Makes the next row of an open cursor current; false at its end, which gives
// back the cursor's snapshot.
bool NextRow(Stmt& s, Connection& conn) {
  if (s.done) return false;
  if (conn.cancel) throw MakeError(1013);
  if (s.buffered) {
    if (s.buffered->Next()) return true;
    s.done = true;
    std::unique_ptr<OraError> failed;
    if (const OraError* e = s.buffered->error()) failed = std::make_unique<OraError>(*e);
    s.EndCursor();
    if (failed) throw *failed;
    return false;
  }
  int rc = sqlite3_step(s.st);
  if (rc == SQLITE_ROW) return true;
  s.done = true;
  if (rc == SQLITE_DONE) {
    s.EndCursor();
    return false;
  }
  OraError e = conn.MapError(rc, sqlite3_errmsg(sqlite3_db_handle(s.st)));
  s.EndCursor();
  throw e;
}

}  // namespace

sword Fetch(Stmt& s, ErrorHandle& err, ub4 nrows) {
  err.Clear();
  if (!s.executed || !s.conn || s.kind != Kind::kSelect) {
    err.Set(MakeError(s.executed ? 24374 : 24338));
    return OCI_ERROR;
  }
  if (s.conn->closed()) {
    err.Set(MakeError(1012));
    return OCI_ERROR;
  }
  s.rows_fetched = 0;
  if (nrows == 0) {  // cancels the cursor
    std::lock_guard<std::recursive_mutex> guard(s.conn->mutex());
    s.done = true;
    s.row_ready = false;
    s.past_end = true;
    s.EndCursor();
    return OCI_SUCCESS;
  }
  // A locking cursor whose transaction has ended has lost its locks.
  bool locks_gone = s.lock_tx && (!s.conn->in_transaction() || s.conn->transaction_serial() != s.lock_tx);
  if (s.past_end || locks_gone) {
    err.Set(MakeError(1002));
    return OCI_ERROR;
  }
  bool defined = false;
  for (const Define* d : s.defines) defined |= d != nullptr;
  if (!defined && !s.cols.empty()) {
    err.Set(MakeError(24374));
    return OCI_ERROR;
  }
  bool truncated = false;
  std::lock_guard<std::recursive_mutex> guard(s.conn->mutex());
  try {
    Connection& conn = *s.conn;
    for (ub4 r = 0; r < nrows; ++r) {
      if (!s.row_ready && !NextRow(s, conn)) break;
      s.row_ready = false;
      size_t ncols = std::min(s.cols.size(), s.defines.size());
      for (size_t c = 0; c < ncols; ++c) {
        Define* d = s.defines[c];
        if (!d) continue;
        Cell cell = s.buffered ? s.buffered->At(static_cast<int>(c)) : Cell::Column(s.st, static_cast<int>(c));
        // Without an indicator the client could not tell a NULL from a value.
        if (cell.type == SQLITE_NULL && !d->t.ind && !(d->mode & OCI_DYNAMIC_FETCH)) throw MakeError(1405);
        if (d->mode & OCI_DYNAMIC_FETCH) {
          if (!d->cb) throw MakeError(24374);
          WritePieces(*d, cell, s.cols[c].type, r, conn);
        } else if (WriteCell(cell, s.cols[c].type, d->t, r, conn) == 1406) {
          truncated = true;
        }
        if (s.cols[c].type == SQLT_RID && cell.type == SQLITE_TEXT) {
          RowidParts p;
          if (ParseRowid(std::string_view(cell.p, cell.n), &p)) s.rowid = p, s.has_rowid = true;
        }
      }
      ++s.rows_fetched;
    }
  } catch (const OraError& e) {
    s.row_count += s.rows_fetched;
    err.Set(e);
    return OCI_ERROR;
  } catch (const std::exception& e) {
    s.row_count += s.rows_fetched;
    err.Set(MakeError(600, e.what()));
    return OCI_ERROR;
  }
  s.row_count += s.rows_fetched;
  if (s.rows_fetched < nrows) {
    s.past_end = true;
    err.Set(MakeError(1403));
    return OCI_NO_DATA;
  }
  if (truncated) {
    err.Set(MakeError(1406));
    return OCI_SUCCESS_WITH_INFO;
  }
  return OCI_SUCCESS;
}

}  // namespace kavo::ocisqlite
