#include "statement.h"

#include <memory>

#include "datetime.h"
#include "row_buffer.h"

namespace kavo::ocisqlite {

Kind Classify(const std::vector<Token>& toks, ub2* fncode) {
  const Token& f = toks[0];
  const Token& s = toks.size() > 1 ? toks[1] : toks[0];
  struct Entry { const char* word; Kind kind; ub2 code; };
  static const Entry entries[] = {
      {"SELECT", Kind::kSelect, 4},  {"WITH", Kind::kSelect, 4},    {"INSERT", Kind::kInsert, 3},
      {"UPDATE", Kind::kUpdate, 5},  {"DELETE", Kind::kDelete, 9},  {"BEGIN", Kind::kPlsql, 34},
      {"DECLARE", Kind::kPlsql, 34}, {"CREATE", Kind::kCreate, 1},  {"DROP", Kind::kDrop, 8},
      {"ALTER", Kind::kAlter, 26},   {"SAVEPOINT", Kind::kSavepoint, 56},
      {"ROLLBACK", Kind::kRollback, 55}, {"COMMIT", Kind::kCommit, 54},
      {"LOCK", Kind::kLock, 35},     {"SET", Kind::kSet, 33},       {"GRANT", Kind::kGrant, 28},
      {"REVOKE", Kind::kGrant, 29},  {"COMMENT", Kind::kComment, 38},
      {"TRUNCATE", Kind::kTruncate, 85}};
  *fncode = 0;
  if (f.IsSym("(")) { *fncode = 4; return Kind::kSelect; }
  for (const Entry& e : entries) {
    if (!f.Is(e.word)) continue;
    *fncode = e.code;
    if (e.kind == Kind::kCreate) {
      size_t k = 1;
      if (toks[k].Is("OR") && toks[k + 1].Is("REPLACE")) k += 2;
      if (toks[k].Is("PUBLIC")) ++k;
      const Token& w = toks[k];
      *fncode = w.Is("TABLE") ? 1 : w.Is("VIEW") ? 10 : w.Is("USER") ? 19 : w.Is("SYNONYM") ? 30 : w.Is("INDEX") ? 20 : 1;
    } else if (e.kind == Kind::kDrop) {
      size_t k = s.Is("PUBLIC") ? 2 : 1;
      const Token& w = toks[k];
      *fncode = w.Is("TABLE") ? 8 : w.Is("VIEW") ? 7 : w.Is("USER") ? 11 : w.Is("SYNONYM") ? 31 : w.Is("INDEX") ? 21 : 8;
    } else if (e.kind == Kind::kAlter) {
      *fncode = s.Is("SESSION") ? 52 : s.Is("USER") ? 53 : 26;
    }
    return e.kind;
  }
  return Kind::kUnknown;
}

ub2 StatementType(Kind k) {
  switch (k) {
    case Kind::kSelect: return OCI_STMT_SELECT;
    case Kind::kUpdate: return OCI_STMT_UPDATE;
    case Kind::kDelete: return OCI_STMT_DELETE;
    case Kind::kInsert: return OCI_STMT_INSERT;
    case Kind::kCreate: return OCI_STMT_CREATE;
    case Kind::kDrop: return OCI_STMT_DROP;
    case Kind::kAlter: return OCI_STMT_ALTER;
    case Kind::kPlsql: return OCI_STMT_BEGIN;
    default: return 0;
  }
}

Bind* FindBind(Stmt& s, const std::string& name, int position) {
  for (Bind* b : s.binds)
    if (!b->name.empty() && b->name == name) return b;
  for (Bind* b : s.binds)
    if (b->name.empty() && static_cast<int>(b->position) == position) return b;
  return nullptr;
}

namespace {

// An OCI_DATA_AT_EXEC input: the client's callback hands over the value, whole.
void BindFromCallback(sqlite3_stmt* st, int idx, Bind& b, ub4 iter) {
  if (!b.in_cb) throw MakeError(1008);
  void* buf = nullptr;
  ub4 alen = 0;
  ub1 piece = OCI_ONE_PIECE;
  void* ind = nullptr;
  if (b.in_cb(b.in_ctx, reinterpret_cast<OCIBind*>(&b), iter, 0, &buf, &alen, &piece, &ind) != OCI_CONTINUE)
    throw MakeError(1013);
  if (piece != OCI_ONE_PIECE) throw MakeError(3001);
  Target t = b.t;
  t.value = buf;
  // The length may pass 64 KB: it goes as the size, never through a ub2.
  if (alen > static_cast<ub4>(INT32_MAX)) throw MakeError(1460);
  t.size = static_cast<sb4>(alen);
  t.ind = ind;
  t.len = nullptr;
  t.value_skip = t.ind_skip = t.len_skip = 0;
  BindElement(st, idx, t, 0);
}

// Values a DML's RETURNING gives to an OCI_DATA_AT_EXEC bind: the client learns
// their count from OCI_ATTR_ROWS_RETURNED and supplies a buffer for each.
void ReturnToCallback(Bind& b, ub4 iter, const std::vector<std::pair<Cell, std::string>>& rows, bool date,
                      Connection& conn) {
  b.rows_returned = static_cast<ub4>(rows.size());
  if (!b.out_cb) throw MakeError(1008);
  for (ub4 index = 0; index < rows.size(); ++index) {
    void* buf = nullptr;
    ub4* alen = nullptr;
    ub1 piece = OCI_ONE_PIECE;
    void* ind = nullptr;
    ub2* rcode = nullptr;
    if (b.out_cb(b.out_ctx, reinterpret_cast<OCIBind*>(&b), iter, index, &buf, &alen, &piece, &ind, &rcode) != OCI_CONTINUE)
      throw MakeError(1013);
    Target t = b.t;
    t.value = buf;
    t.size = alen ? static_cast<sb4>(*alen) : 0;
    t.ind = ind;
    ub2 len = 0;
    t.len = &len;
    t.rcode = rcode;
    t.value_skip = t.ind_skip = t.len_skip = t.rcode_skip = 0;
    Cell c = rows[index].first;
    if (c.type == SQLITE_TEXT || c.type == SQLITE_BLOB) c.p = rows[index].second.data();
    WriteCell(c, date ? SQLT_DAT : SQLT_CHR, t, 0, conn);
    if (alen) *alen = len;
  }
}

void BindAll(Stmt& s, sqlite3_stmt* st, ub4 element) {
  int n = sqlite3_bind_parameter_count(st);
  for (int i = 1; i <= n; ++i) {
    const char* pn = sqlite3_bind_parameter_name(st, i);
    std::string name = pn ? pn + 1 : "";
    Bind* b = FindBind(s, name, i);
    if (!b) throw MakeError(1008);
    if (b->at_exec) {
      BindFromCallback(st, i, *b, element);
      continue;
    }
    BindElement(st, i, b->t, b->maxarr > 0 ? 0 : element);
  }
}

// Prepares on db: the session's own connection or one of its readers.
void Prepare(Stmt& s, Connection& conn, sqlite3* db, const std::string& sql) {
  if (s.st) sqlite3_finalize(s.st), s.st = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &s.st, nullptr);
  if (rc != SQLITE_OK) {
    OraError e = conn.MapError(rc, sqlite3_errmsg(db));
    int off = sqlite3_error_offset(db);
    e.set_offset(static_cast<int>(s.tr.SourceOffset(off < 0 ? 0 : static_cast<size_t>(off))));
    if (off < 0 && e.code() == 904) {  // SQLite did not say where: at the unknown name
      size_t q = e.text().find('"');
      std::string name = e.text().substr(q + 1, e.text().find('"', q + 1) - q - 1);
      for (const Token& t : s.toks)
        if ((t.kind == Tok::kIdent || t.kind == Tok::kQuoted) && t.text == name) {
          e.set_offset(static_cast<int>(t.pos));
          break;
        }
    }
    throw e;
  }
  if (!s.st) throw MakeError(900);
}

void Translate(Stmt& s, Connection& conn) {
  s.tr = Translation();
  s.tr = kavo::ocisqlite::Translate(s.toks, 0, s.toks.size() - 1, conn);
}

void RecordRowid(Stmt& s, const ObjectRef& target, int64_t rownum) {
  s.rowid = RowidFromRowNumber(target.object_id, rownum);
  s.has_rowid = true;
}

// Each iteration of an array execute is a statement of its own, as in Oracle: a
// failing one is undone alone and ends the call, while the ones before it stay in
// the transaction and in the row count, so the client can go on from the next row.
void ExecuteDml(Stmt& s, Connection& conn, ub4 iters, ub4 rowoff,
                std::vector<std::pair<ub4, OraError>>* batch = nullptr) {
  Translate(s, conn);
  Prepare(s, conn, conn.db(), s.tr.sql);
  conn.BeginWrite(false);
  int64_t changed = 0;
  for (ub4 k = rowoff; k < iters; ++k) {
    int64_t rows = 0, last_rowid = 0;
    conn.Exec("SAVEPOINT ora_statement");
    try {
      sqlite3_reset(s.st);
      sqlite3_clear_bindings(s.st);
      BindAll(s, s.st, k);
      int rc;
      // Rows for the binds that take them through callbacks, handed over at the end.
      std::vector<std::vector<std::pair<Cell, std::string>>> returned(s.tr.into_binds.size());
      while ((rc = sqlite3_step(s.st)) == SQLITE_ROW) {
        if (s.tr.implicit_returning) {
          RecordRowid(s, s.tr.target, sqlite3_column_int64(s.st, 0));
          continue;
        }
        for (size_t j = 0; j < s.tr.into_binds.size(); ++j) {
          Bind* b = FindBind(s, s.tr.into_binds[j], -1);
          if (!b) throw MakeError(1008);
          Cell c = Cell::Column(s.st, static_cast<int>(j));
          bool date = j < s.tr.into_hints.size() && s.tr.into_hints[j] == Hint::kDate;
          if (b->at_exec) {
            returned[j].emplace_back(c, c.p ? std::string(c.p, c.n) : std::string());
            RowidParts p;
            if (c.type == SQLITE_TEXT && ParseRowid(std::string_view(c.p, c.n), &p)) s.rowid = p, s.has_rowid = true;
            continue;
          }
          WriteCell(c, date ? SQLT_DAT : SQLT_CHR, b->t, k, conn);
          if (b->curele) *b->curele = 1;
          RowidParts p;
          if (c.type == SQLITE_TEXT && ParseRowid(std::string_view(c.p, c.n), &p)) s.rowid = p, s.has_rowid = true;
        }
      }
      if (rc != SQLITE_DONE) throw conn.MapError(rc, sqlite3_errmsg(conn.db()));
      for (size_t j = 0; j < s.tr.into_binds.size() && !s.tr.implicit_returning; ++j) {
        Bind* b = FindBind(s, s.tr.into_binds[j], -1);
        bool date = j < s.tr.into_hints.size() && s.tr.into_hints[j] == Hint::kDate;
        if (b && b->at_exec) ReturnToCallback(*b, k, returned[j], date, conn);
      }
      rows = sqlite3_changes(conn.db());
      last_rowid = sqlite3_last_insert_rowid(conn.db());
      sqlite3_reset(s.st);
      conn.Exec("RELEASE ora_statement");
    } catch (const OraError& e) {
      sqlite3_reset(s.st);
      sqlite3_exec(conn.db(), "ROLLBACK TO ora_statement; RELEASE ora_statement", nullptr, nullptr, nullptr);
      s.row_count = static_cast<ub4>(changed);
      // With batch errors the row is noted and the rest go on, as in Oracle.
      if (batch && e.code() != 1013) {
        batch->emplace_back(k, e);
        continue;
      }
      throw;
    } catch (...) {
      sqlite3_reset(s.st);
      sqlite3_exec(conn.db(), "ROLLBACK TO ora_statement; RELEASE ora_statement", nullptr, nullptr, nullptr);
      s.row_count = static_cast<ub4>(changed);
      throw;
    }
    changed += rows;
    if (s.kind == Kind::kInsert) RecordRowid(s, s.tr.target, last_rowid);
  }
  s.row_count = static_cast<ub4>(changed);
}

std::string NameAt(const std::vector<Token>& t, size_t i) {
  if (t[i].kind != Tok::kIdent && t[i].kind != Tok::kQuoted) {
    throw At(MakeError(t[i].kind == Tok::kEnd ? 936 : 933), t[i]);
  }
  return t[i].text;
}

void ExecuteControl(Stmt& s, Connection& conn) {
  const auto& t = s.toks;
  switch (s.kind) {
    case Kind::kCommit: conn.Commit(); return;
    case Kind::kSavepoint: {
      conn.Savepoint(NameAt(t, 1));
      return;
    }
    case Kind::kRollback: {
      size_t i = 1;
      if (t[i].Is("WORK")) ++i;
      if (t[i].Is("TO")) {
        ++i;
        if (t[i].Is("SAVEPOINT")) ++i;
        conn.RollbackToSavepoint(NameAt(t, i));
        return;
      }
      conn.Rollback();
      return;
    }
    case Kind::kLock: {
      if (!t[1].Is("TABLE")) throw At(MakeError(905), t[1]);
      ObjectRef ref;
      size_t i = 2;
      std::string schema, name = NameAt(t, i);
      if (t[i + 1].IsSym(".")) schema = name, name = NameAt(t, i + 2), i += 2;
      if (!conn.Resolve(schema, name, &ref)) throw At(MakeError(942), t[2]);
      bool nowait = false;
      for (const Token& k : t) nowait |= k.Is("NOWAIT");
      conn.BeginWrite(nowait);
      return;
    }
    case Kind::kSet:
    case Kind::kGrant:
    case Kind::kComment:
      return;
    default:
      break;
  }
}

// Opens a query's cursor. Outside a transaction it steps on a reader, which keeps
// the snapshot of its first step for as long as the cursor is open, so that the
// session may lock, change and commit meanwhile. Inside one it must see the
// session's own changes, so it runs on the session's connection and its rows are
// read at once, before the session can change them under it. Returns with the
// first row current (row_ready) or done.
void OpenQuery(Stmt& s, Connection& conn) {
  if (!s.tr.for_update && !conn.in_transaction()) s.reader = conn.AcquireReader();
  sqlite3* db = s.reader ? s.reader : conn.db();
  Prepare(s, conn, db, s.tr.sql);
  if (s.tr.for_update) {  // only a query that parses takes the lock
    conn.BeginWrite(s.tr.nowait);
    s.lock_tx = conn.transaction_serial();
  }
  BindAll(s, s.st, 0);
  s.executed = true;
  s.done = false;
  int rc = sqlite3_step(s.st);
  if (rc == SQLITE_ROW) s.row_ready = true;
  else if (rc == SQLITE_DONE) s.done = true;
  else throw conn.MapError(rc, sqlite3_errmsg(db));
  Describe(s);
  if (s.done) {
    s.EndCursor();
  } else if (!s.reader) {
    s.buffered = std::make_unique<RowBuffer>(s.st, conn);
    sqlite3_reset(s.st);
  }
}

void AlterSession(Stmt& s, Connection& conn) {
  const auto& t = s.toks;
  if (!t[2].Is("SET")) throw At(MakeError(922), t[2]);
  for (size_t i = 3; t[i].kind != Tok::kEnd; ++i) {
    if (t[i].Is("NLS_DATE_FORMAT") && t[i + 1].IsSym("=") && t[i + 2].kind == Tok::kString) {
      FormatDate(DateParts{}, t[i + 2].text);  // rejects an unknown format
      conn.nls_date_format() = t[i + 2].text;
    }
  }
}

// What is refused before the statement reaches a session: an unprepared or
// unlexable text, an empty one, and in SQL a terminator or an over-long literal.
void CheckText(Stmt& s) {
  if (!s.prepared) throw MakeError(24337);
  if (s.lex_error) {
    s.parse_error_offset = static_cast<ub4>(s.lex_error->offset());
    throw *s.lex_error;
  }
  if (s.toks.size() < 2) throw MakeError(900);
  if (s.kind == Kind::kPlsql) return;
  for (const Token& t : s.toks) {
    int code = t.IsSym(";") ? 911  // SQL text ends without a terminator
               : t.kind == Tok::kString && t.text.size() > 4000 ? 1704  // SQL's longest text
               : 0;
    if (!code) continue;
    OraError e = MakeError(code);
    e.set_offset(static_cast<int>(t.pos));
    s.parse_error_offset = static_cast<ub4>(t.pos);
    throw e;
  }
}

sword ExecuteQuery(Stmt& s, Connection& conn, ErrorHandle& err, ub4 iters, ub4 mode) {
  Translate(s, conn);
  if (mode & OCI_DESCRIBE_ONLY) {  // no values needed: nothing runs
    Prepare(s, conn, conn.db(), s.tr.sql);
    s.executed = true;
    Describe(s);
    s.done = true;
    return OCI_SUCCESS;
  }
  try {
    OpenQuery(s, conn);
  } catch (...) {
    s.EndCursor();
    throw;
  }
  if (iters > 0) return Fetch(s, err, iters);
  return OCI_SUCCESS;
}

// OCI_BATCH_ERRORS: the rows that fail are reported in err, the others stay done.
// True when some failed; the commit asked for is then made here.
bool BatchWithErrors(Stmt& s, Connection& conn, ErrorHandle& err, ub4 iters, ub4 rowoff, ub4 mode) {
  std::vector<std::pair<ub4, OraError>> batch;
  ExecuteDml(s, conn, iters, rowoff, &batch);
  s.dml_errors = static_cast<ub4>(batch.size());
  s.executed = true;
  if (batch.empty()) return false;
  if (mode & OCI_COMMIT_ON_SUCCESS) conn.Commit();
  err.Set(MakeError(24381));
  err.batch = std::move(batch);
  return true;
}

}  // namespace

void OpenRefCursor(Stmt& block, Stmt& cursor, const std::string& query) {
  for (Bind* b : cursor.binds) delete b;
  cursor.binds.clear();
  for (Define* d : cursor.defines) delete d;
  cursor.defines.clear();
  cursor.Reset();
  cursor.cols.clear();
  cursor.params.clear();
  cursor.described = false;
  cursor.text = query;
  cursor.toks = Lex(query);
  cursor.kind = Classify(cursor.toks, &cursor.fncode);
  if (cursor.kind != Kind::kSelect) throw MakeError(932, "REF CURSOR", "DML");
  cursor.prepared = true;
  cursor.lex_error.reset();
  // The block's binds the query names, read when it opens, as Oracle reads them.
  for (const Token& t : cursor.toks) {
    if (t.kind != Tok::kBind || FindBind(cursor, t.text, -1)) continue;
    Bind* from = FindBind(block, t.text, -1);
    if (!from) throw MakeError(1008);
    auto* b = new Bind(cursor.env, &cursor);
    b->name = from->name;
    b->t = from->t;
    b->maxarr = 0;
    cursor.binds.push_back(b);
  }
  cursor.conn = block.conn;
  Connection& conn = *cursor.conn;
  cursor.parse_error_offset = 0;
  Translate(cursor, conn);
  try {
    OpenQuery(cursor, conn);
  } catch (...) {
    cursor.EndCursor();
    throw;
  }
}

void ExecuteImmediate(Stmt& block, const std::string& text) {
  if (text.empty()) throw MakeError(900);
  // A statement, session and service context of the block's own session, for this text only.
  std::unique_ptr<Stmt> s(new Stmt(block.env));
  std::unique_ptr<Session> session(new Session(block.env));
  std::unique_ptr<SvcCtx> svc(new SvcCtx(block.env));
  std::unique_ptr<ErrorHandle> err(new ErrorHandle(block.env));
  session->conn = block.conn;
  svc->session = session.get();
  s->text = text;
  s->toks = Lex(text);
  s->kind = s->toks.size() > 1 ? Classify(s->toks, &s->fncode) : Kind::kUnknown;
  s->prepared = true;
  // A query runs and is closed: its rows go nowhere, as without INTO in Oracle.
  const sword rc = Execute(*s, *svc, *err, s->kind == Kind::kSelect ? 0 : 1, 0, OCI_DEFAULT);
  session->conn.reset();
  if (rc != OCI_SUCCESS && rc != OCI_SUCCESS_WITH_INFO) throw OraError(err->code, err->Text());
}

int64_t RunTranslated(Stmt& s, Connection& conn, const std::string& sql,
                      const std::function<void(sqlite3_stmt*)>& on_row, ub4 element) {
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(conn.db(), sql.c_str(), -1, &st, nullptr);
  if (rc != SQLITE_OK) {
    OraError e = conn.MapError(rc, sqlite3_errmsg(conn.db()));
    throw e;
  }
  try {
    BindAll(s, st, element);
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
      if (on_row) on_row(st);
    if (rc != SQLITE_DONE) throw conn.MapError(rc, sqlite3_errmsg(conn.db()));
  } catch (...) {
    sqlite3_finalize(st);
    throw;
  }
  sqlite3_finalize(st);
  return sqlite3_changes(conn.db());
}

sword Execute(Stmt& s, SvcCtx& svc, ErrorHandle& err, ub4 iters, ub4 rowoff, ub4 mode) {
  err.Clear();
  err.batch.clear();
  s.dml_errors = 0;
  try {
    CheckText(s);
    if (!svc.session || !svc.session->conn) throw MakeError(1012);
    std::shared_ptr<Connection> keep = svc.session->conn;
    Connection& conn = *keep;
    std::lock_guard<std::recursive_mutex> guard(conn.mutex());
    conn.cancel = false;
    s.Reset();
    s.conn = keep;
    s.parse_error_offset = 0;
    try {
      switch (s.kind) {
        case Kind::kSelect:
          return ExecuteQuery(s, conn, err, iters, mode);
        case Kind::kInsert:
        case Kind::kUpdate:
        case Kind::kDelete:
          if (mode & OCI_DESCRIBE_ONLY) return OCI_SUCCESS;
          if (iters == 0) throw MakeError(24333);
          if (!(mode & OCI_BATCH_ERRORS)) ExecuteDml(s, conn, iters, rowoff);
          else if (BatchWithErrors(s, conn, err, iters, rowoff, mode)) return OCI_SUCCESS_WITH_INFO;
          break;
        case Kind::kPlsql:
          if (mode & OCI_DESCRIBE_ONLY) return OCI_SUCCESS;
          ExecutePlsql(s, conn);
          break;
        case Kind::kCreate:
        case Kind::kDrop:
        case Kind::kTruncate:
          ExecuteDdl(s, conn);
          break;
        case Kind::kAlter:
          if (s.toks[1].Is("SESSION")) AlterSession(s, conn);
          else ExecuteDdl(s, conn);
          break;
        case Kind::kUnknown:
          throw At(MakeError(900), s.toks[0]);
        default:
          ExecuteControl(s, conn);
          break;
      }
      s.executed = true;
      if (mode & OCI_COMMIT_ON_SUCCESS) conn.Commit();
    } catch (OraError& e) {
      s.parse_error_offset = static_cast<ub4>(e.offset());
      throw;
    }
  } catch (const OraError& e) {
    err.Set(e);
    return OCI_ERROR;
  } catch (const std::exception& e) {  // never let an exception leave the C interface
    err.Set(MakeError(600, e.what()));
    return OCI_ERROR;
  }
  return OCI_SUCCESS;
}

}  // namespace kavo::ocisqlite
