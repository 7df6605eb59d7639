#include "connection.h"

#include <algorithm>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "datetime.h"

namespace kavo::ocisqlite {

namespace {

std::atomic<int> g_session_counter{0};

// Retry budget (ms) for taking SQLite's write lock.
constexpr int kWaitMs = 3000;
constexpr int kNowaitMs = 200;

// Cursors a session may hold open on readers at once; beyond that a query's rows
// are read at its open (the same rows, only held in memory).
constexpr size_t kMaxReaders = 16;

// A connection to the store with the settings every connection of a session has.
sqlite3* OpenStoreDb(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  // A double-quoted name must never turn into a string literal.
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
  sqlite3_busy_timeout(db, kWaitMs);
  return db;
}

const char* kCatalog = R"SQL(
CREATE TABLE ocisqlite_settings(key TEXT PRIMARY KEY, value TEXT);
CREATE TABLE ocisqlite_users(username TEXT PRIMARY KEY, password TEXT NOT NULL,
  user_id INTEGER, expire_days INTEGER DEFAULT 0, created TEXT);
CREATE TABLE ocisqlite_objects(object_id INTEGER PRIMARY KEY, owner TEXT NOT NULL,
  object_name TEXT NOT NULL, object_type TEXT NOT NULL, text TEXT, created TEXT,
  UNIQUE(owner, object_name));
CREATE TABLE ocisqlite_columns(owner TEXT, table_name TEXT, column_name TEXT,
  column_id INTEGER, data_type TEXT, data_length INTEGER, data_precision INTEGER,
  data_scale INTEGER, nullable TEXT, data_default TEXT,
  PRIMARY KEY(owner, table_name, column_name));
CREATE TABLE ocisqlite_constraints(owner TEXT, constraint_name TEXT, constraint_type TEXT,
  table_name TEXT, search_condition TEXT, r_owner TEXT, r_constraint_name TEXT,
  delete_rule TEXT, status TEXT DEFAULT 'ENABLED', generated TEXT,
  PRIMARY KEY(owner, constraint_name));
CREATE TABLE ocisqlite_cons_columns(owner TEXT, constraint_name TEXT, table_name TEXT,
  column_name TEXT, position INTEGER);
CREATE TABLE ocisqlite_synonyms(owner TEXT, synonym_name TEXT, table_owner TEXT,
  table_name TEXT, PRIMARY KEY(owner, synonym_name));
CREATE TABLE "SYS.DUAL"(DUMMY VARCHAR2(1));
INSERT INTO "SYS.DUAL" VALUES('X');
CREATE VIEW "SYS.V$VERSION" AS
  SELECT ora_banner(1) AS BANNER UNION ALL SELECT ora_banner(2) UNION ALL
  SELECT ora_banner(3) UNION ALL SELECT ora_banner(4) UNION ALL SELECT ora_banner(5);
CREATE VIEW "SYS.USER_TABLES" AS SELECT object_name AS TABLE_NAME,
  'USERS' AS TABLESPACE_NAME, 'VALID' AS STATUS FROM ocisqlite_objects
  WHERE owner = ora_user() AND object_type = 'TABLE';
CREATE VIEW "SYS.ALL_TABLES" AS SELECT owner AS OWNER, object_name AS TABLE_NAME,
  'USERS' AS TABLESPACE_NAME, 'VALID' AS STATUS FROM ocisqlite_objects
  WHERE object_type = 'TABLE';
CREATE VIEW "SYS.USER_VIEWS" AS SELECT object_name AS VIEW_NAME,
  length(text) AS TEXT_LENGTH, text AS TEXT FROM ocisqlite_objects
  WHERE owner = ora_user() AND object_type = 'VIEW';
CREATE VIEW "SYS.ALL_VIEWS" AS SELECT owner AS OWNER, object_name AS VIEW_NAME,
  length(text) AS TEXT_LENGTH, text AS TEXT FROM ocisqlite_objects WHERE object_type = 'VIEW';
CREATE VIEW "SYS.USER_SYNONYMS" AS SELECT synonym_name AS SYNONYM_NAME,
  table_owner AS TABLE_OWNER, table_name AS TABLE_NAME, NULL AS DB_LINK
  FROM ocisqlite_synonyms WHERE owner = ora_user();
CREATE VIEW "SYS.ALL_SYNONYMS" AS SELECT owner AS OWNER, synonym_name AS SYNONYM_NAME,
  table_owner AS TABLE_OWNER, table_name AS TABLE_NAME, NULL AS DB_LINK FROM ocisqlite_synonyms;
CREATE VIEW "SYS.ALL_OBJECTS" AS SELECT owner AS OWNER, object_name AS OBJECT_NAME,
  object_id AS OBJECT_ID, object_type AS OBJECT_TYPE, created AS CREATED, 'VALID' AS STATUS
  FROM ocisqlite_objects;
CREATE VIEW "SYS.USER_OBJECTS" AS SELECT object_name AS OBJECT_NAME, object_id AS OBJECT_ID,
  object_type AS OBJECT_TYPE, created AS CREATED, 'VALID' AS STATUS
  FROM ocisqlite_objects WHERE owner = ora_user();
CREATE VIEW "SYS.ALL_CONSTRAINTS" AS SELECT owner AS OWNER, constraint_name AS CONSTRAINT_NAME,
  constraint_type AS CONSTRAINT_TYPE, table_name AS TABLE_NAME,
  search_condition AS SEARCH_CONDITION, r_owner AS R_OWNER,
  r_constraint_name AS R_CONSTRAINT_NAME, delete_rule AS DELETE_RULE, status AS STATUS,
  'NOT DEFERRABLE' AS "DEFERRABLE", 'IMMEDIATE' AS "DEFERRED", 'VALIDATED' AS "VALIDATED",
  generated AS GENERATED FROM ocisqlite_constraints;
CREATE VIEW "SYS.USER_CONSTRAINTS" AS SELECT * FROM "SYS.ALL_CONSTRAINTS" WHERE OWNER = ora_user();
CREATE VIEW "SYS.ALL_CONS_COLUMNS" AS SELECT owner AS OWNER, constraint_name AS CONSTRAINT_NAME,
  table_name AS TABLE_NAME, column_name AS COLUMN_NAME, position AS POSITION
  FROM ocisqlite_cons_columns;
CREATE VIEW "SYS.USER_CONS_COLUMNS" AS SELECT * FROM "SYS.ALL_CONS_COLUMNS" WHERE OWNER = ora_user();
CREATE VIEW "SYS.ALL_TAB_COLUMNS" AS SELECT owner AS OWNER, table_name AS TABLE_NAME,
  column_name AS COLUMN_NAME, data_type AS DATA_TYPE, data_length AS DATA_LENGTH,
  data_precision AS DATA_PRECISION, data_scale AS DATA_SCALE, nullable AS NULLABLE,
  column_id AS COLUMN_ID, data_default AS DATA_DEFAULT FROM ocisqlite_columns;
CREATE VIEW "SYS.USER_TAB_COLUMNS" AS SELECT * FROM "SYS.ALL_TAB_COLUMNS" WHERE OWNER = ora_user();
CREATE VIEW "SYS.ALL_USERS" AS SELECT username AS USERNAME, user_id AS USER_ID,
  created AS CREATED FROM ocisqlite_users;
)SQL";

const char* kSysObjects[] = {"DUAL", "V$VERSION", "USER_TABLES", "ALL_TABLES", "USER_VIEWS",
                             "ALL_VIEWS", "USER_SYNONYMS", "ALL_SYNONYMS", "ALL_OBJECTS",
                             "USER_OBJECTS", "ALL_CONSTRAINTS", "USER_CONSTRAINTS",
                             "ALL_CONS_COLUMNS", "USER_CONS_COLUMNS", "ALL_TAB_COLUMNS",
                             "USER_TAB_COLUMNS", "ALL_USERS"};

bool StartsWith(const std::string& s, const char* p) { return s.rfind(p, 0) == 0; }

// "name" (built by appending: long + chains trip a false -Wrestrict in GCC 12).
std::string Dq(const std::string& s) {
  std::string r;
  r.reserve(s.size() + 2);
  r += '"';
  r += s;
  r += '"';
  return r;
}

class Query {
 public:
  Query(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &st_, nullptr) != SQLITE_OK)
      throw MakeError(600, sqlite3_errmsg(db));
  }
  ~Query() { sqlite3_finalize(st_); }
  Query& Bind(int i, const std::string& v) {
    sqlite3_bind_text(st_, i, v.c_str(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  bool Step() { return sqlite3_step(st_) == SQLITE_ROW; }
  std::string Text(int i) {
    const unsigned char* t = sqlite3_column_text(st_, i);
    return t ? reinterpret_cast<const char*>(t) : "";
  }
  int64_t Int(int i) { return sqlite3_column_int64(st_, i); }

 private:
  sqlite3_stmt* st_ = nullptr;
};


// "owner.table.column" into "owner.table" and "column".
void SplitColumn(const std::string& full, std::string* table, std::string* col) {
  size_t dot = full.rfind('.');
  *table = full.substr(0, dot);
  *col = dot == std::string::npos ? full : full.substr(dot + 1);
}

// "owner.table.column" as Oracle names it: "OWNER"."TABLE"."COLUMN".
std::string QuotedPath(const std::string& full) {
  std::string table, col;
  SplitColumn(full, &table, &col);
  size_t dot = table.find('.');
  std::string out = Dq(table.substr(0, dot));
  out += '.';
  out += Dq(table.substr(dot + 1));
  out += '.';
  out += Dq(col);
  return out;
}

// SQLite names the columns of a failed unique index, Oracle its constraint:
// the one whose columns are the failing ones.
OraError UniqueViolation(sqlite3* db, const std::string& rest) {
  std::string table, col;
  std::vector<std::string> cols;
  size_t p = 0;
  while (p <= rest.size()) {
    size_t c = rest.find(", ", p);
    std::string one = rest.substr(p, c == std::string::npos ? std::string::npos : c - p);
    SplitColumn(one, &table, &col);
    cols.push_back(col);
    if (c == std::string::npos) break;
    p = c + 2;
  }
  size_t dot = table.find('.');
  std::string owner = table.substr(0, dot), tname = table.substr(dot + 1);
  Query q(db,
          "SELECT c.constraint_name, group_concat(cc.column_name, ',') FROM "
          "ocisqlite_constraints c JOIN (SELECT * FROM ocisqlite_cons_columns ORDER BY position) cc "
          "ON cc.owner = c.owner AND cc.constraint_name = c.constraint_name WHERE c.owner = ? "
          "AND c.table_name = ? AND c.constraint_type IN ('P','U') GROUP BY c.constraint_name");
  q.Bind(1, owner).Bind(2, tname);
  std::string want;
  for (const auto& c : cols) want += (want.empty() ? "" : ",") + c;
  std::string name = "SYS_C000000";
  while (q.Step())
    if (q.Text(1) == want) name = q.Text(0);
  return MakeError(1, owner + "." + name);
}

// "table.column" or "column" of "no such column", quoted as Oracle shows it.
std::string MissingColumn(const std::string& c) {
  size_t dot = c.rfind('.');
  std::string out;
  if (dot != std::string::npos) out = Dq(c.substr(0, dot)) + ".";
  out += Dq(c.substr(dot == std::string::npos ? 0 : dot + 1));
  return out;
}

// "N values for M columns" / "table T has M columns but N values were supplied":
// 913 for too many values, 947 for too few, 0 when m says neither.
int CountMismatch(const std::string& m) {
  long values = -1, columns = -1;
  if (std::sscanf(m.c_str(), "%ld values for %ld columns", &values, &columns) != 2) {
    size_t has = m.find(" has "), but = m.find(" columns but ");
    if (has != std::string::npos && but != std::string::npos) {
      columns = std::atol(m.c_str() + has + 5);
      values = std::atol(m.c_str() + but + 13);
    }
  }
  if (values >= 0 && columns >= 0) return values > columns ? 913 : 947;
  return 0;
}

}  // namespace

std::unique_ptr<Connection> Connection::Open(const std::string& path) {
  if (path.empty() || access(path.c_str(), R_OK | W_OK) != 0) throw MakeError(12154);
  sqlite3* db = OpenStoreDb(path);
  if (!db) throw MakeError(12154);
  std::unique_ptr<Connection> c(new Connection(db, path));
  RegisterFunctions(db, c.get());
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db, "SELECT value FROM ocisqlite_settings WHERE key='format'", -1,
                              &st, nullptr);
  bool ok = rc == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW;
  sqlite3_finalize(st);
  if (!ok) throw MakeError(12154);
  sqlite3_exec(db, "PRAGMA foreign_keys=ON", nullptr, nullptr, nullptr);
  c->session_id_ = static_cast<int>(getpid() % 100000) * 100 + (++g_session_counter % 100);
  return c;
}

void Connection::CreateStore(const std::string& path, const std::string& system_password) {
  if (access(path.c_str(), F_OK) == 0) throw std::runtime_error("store already exists: " + path);
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    std::string msg = sqlite3_errmsg(db);
    sqlite3_close(db);
    throw std::runtime_error("cannot create " + path + ": " + msg);
  }
  Connection c(db);
  RegisterFunctions(db, &c);
  char* err = nullptr;
  std::string sql = std::string("PRAGMA journal_mode=WAL; BEGIN;") + kCatalog;
  sql += "INSERT INTO ocisqlite_settings VALUES('format','1'),('release','11.2.0.4.0');";
  sql += "INSERT INTO ocisqlite_users VALUES('SYSTEM'," + QuoteString(system_password) +
         ",5,0,datetime('now')),('SYS'," + QuoteString(system_password) + ",0,0,datetime('now'));";
  int id = 100;
  for (const char* o : kSysObjects)
    sql += "INSERT INTO ocisqlite_objects VALUES(" + std::to_string(id++) + ",'SYS','" + o +
           "','" + (std::strcmp(o, "DUAL") == 0 ? "TABLE" : "VIEW") + "',NULL,datetime('now'));";
  sql += "INSERT INTO ocisqlite_columns VALUES('SYS','DUAL','DUMMY',1,'VARCHAR2',1,NULL,NULL,'Y',NULL);";
  sql += "COMMIT;";
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    std::string msg = err ? err : "?";
    sqlite3_free(err);
    unlink(path.c_str());
    throw std::runtime_error("cannot create " + path + ": " + msg);
  }
}

Connection::~Connection() {
  Close();
  for (sqlite3* r : readers_) sqlite3_close_v2(r);
  sqlite3_close_v2(db_);
}

void Connection::Close() {
  if (in_tx_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  in_tx_ = false;
  closed_ = true;
}

sqlite3* Connection::AcquireReader() {
  std::lock_guard<std::mutex> g(readers_mutex_);
  if (!idle_.empty()) {
    sqlite3* r = idle_.back();
    idle_.pop_back();
    return r;
  }
  if (readers_.size() >= kMaxReaders || path_.empty()) return nullptr;
  sqlite3* r = OpenStoreDb(path_);
  if (!r) return nullptr;
  RegisterFunctions(r, this);
  sqlite3_exec(r, "PRAGMA query_only=1", nullptr, nullptr, nullptr);
  readers_.push_back(r);
  return r;
}

void Connection::ReleaseReader(sqlite3* reader) {
  if (!reader) return;
  std::lock_guard<std::mutex> g(readers_mutex_);
  idle_.push_back(reader);
}

void Connection::Interrupt() {
  cancel = true;
  sqlite3_interrupt(db_);
  std::lock_guard<std::mutex> g(readers_mutex_);
  for (sqlite3* r : readers_) sqlite3_interrupt(r);
}

int Connection::Logon(const std::string& user, const std::string& password) {
  Query q(db_, "SELECT password, expire_days FROM ocisqlite_users WHERE username = ?");
  q.Bind(1, user);
  if (!q.Step() || q.Text(0) != password) throw MakeError(1017);
  user_ = user;
  return static_cast<int>(q.Int(1));
}

bool Connection::UserExists(const std::string& name) {
  Query q(db_, "SELECT 1 FROM ocisqlite_users WHERE username = ?");
  q.Bind(1, name);
  return q.Step();
}

std::string Connection::Setting(const std::string& key, const std::string& fallback) const {
  Query q(db_, "SELECT value FROM ocisqlite_settings WHERE key = ?");
  q.Bind(1, key);
  return q.Step() ? q.Text(0) : fallback;
}

std::string Connection::Banner(int line) const {
  std::string release = Setting("release", "11.2.0.4.0");
  std::string major = release.substr(0, release.find('.'));
  std::string version = major + "." + release.substr(release.find('.') + 1, 1) + ".0";
  int m = std::atoi(major.c_str());
  std::string name = m >= 23 ? major + "ai" : m >= 12 ? major + "c" : major + "g";
  switch (line) {
    case 1:
      return "Oracle Database " + name + " Enterprise Edition Release " + release +
             " - 64bit Production";
    case 2: return "PL/SQL Release " + release + " - Production";
    case 3: return "CORE\t" + release + "\tProduction";
    case 4: return "TNS for Linux: Version " + release + " - Production";
    default: return "NLSRTL Version " + release + " - Production";
  }
  (void)version;
}

void Connection::BeginWrite(bool nowait) {
  if (in_tx_) return;
  sqlite3_busy_timeout(db_, nowait ? kNowaitMs : kWaitMs);
  int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  sqlite3_busy_timeout(db_, kWaitMs);
  if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) throw MakeError(54);
  if (rc != SQLITE_OK) throw MapError(rc, sqlite3_errmsg(db_));
  in_tx_ = true;
  ++tx_serial_;
  start_savepoints_.clear();
  start_savepoints_.swap(pending_savepoints_);
  for (const std::string& name : start_savepoints_) Exec("SAVEPOINT " + QuoteIdent(name));
}

void Connection::Savepoint(const std::string& name) {
  if (in_tx_) {
    start_savepoints_.erase(std::remove(start_savepoints_.begin(), start_savepoints_.end(), name),
                            start_savepoints_.end());
    Exec("SAVEPOINT " + QuoteIdent(name));
    return;
  }
  // A name set again moves to the end, as Oracle moves it.
  pending_savepoints_.erase(std::remove(pending_savepoints_.begin(), pending_savepoints_.end(), name),
                            pending_savepoints_.end());
  pending_savepoints_.push_back(name);
}

void Connection::RollbackToSavepoint(const std::string& name) {
  if (in_tx_) {
    auto start = std::find(start_savepoints_.begin(), start_savepoints_.end(), name);
    if (start == start_savepoints_.end()) {
      Exec("ROLLBACK TO " + QuoteIdent(name));
      return;
    }
    std::vector<std::string> kept(start_savepoints_.begin(), start + 1);
    Rollback();
    pending_savepoints_ = std::move(kept);
    return;
  }
  auto it = std::find(pending_savepoints_.begin(), pending_savepoints_.end(), name);
  if (it == pending_savepoints_.end()) throw MakeError(1086, name);
  // Nothing was changed since; later savepoints are gone.
  pending_savepoints_.erase(it + 1, pending_savepoints_.end());
}

std::string Connection::TransactionId() const {
  if (!in_tx_) return {};
  return std::to_string(session_id_ % 100) + "." + std::to_string(session_id_ / 100 % 32) + "." +
         std::to_string(tx_serial_);
}

void Connection::Commit() {
  pending_savepoints_.clear();
  start_savepoints_.clear();
  if (!in_tx_) return;
  int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) throw MapError(rc, sqlite3_errmsg(db_));
  in_tx_ = false;
}

void Connection::Rollback() {
  pending_savepoints_.clear();
  start_savepoints_.clear();
  if (!in_tx_) return;
  sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  in_tx_ = false;
}

void Connection::Exec(const std::string& sql) {
  char* err = nullptr;
  int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err);
  if (rc != SQLITE_OK) {
    std::string msg = err ? err : sqlite3_errstr(rc);
    sqlite3_free(err);
    throw MapError(rc, msg);
  }
}

OraError Connection::MapError(int rc, const std::string& m) const {
  int base = rc & 0xFF;
  if (StartsWith(m, "ORA-")) return OraError(std::atoi(m.c_str() + 4), m.back() == '\n' ? m : m + "\n");
  if (base == SQLITE_BUSY || base == SQLITE_LOCKED) return MakeError(54);
  if (base == SQLITE_INTERRUPT) return MakeError(1013);
  if (StartsWith(m, "NOT NULL constraint failed: "))
    return MakeError(1400, QuotedPath(m.substr(28)));
  if (StartsWith(m, "CHECK constraint failed: ")) return MakeError(2290, m.substr(25));
  if (StartsWith(m, "UNIQUE constraint failed: ")) return UniqueViolation(db_, m.substr(26));
  if (StartsWith(m, "FOREIGN KEY constraint failed")) return MakeError(2291, "");
  if (StartsWith(m, "no such table: ")) return MakeError(942);
  if (StartsWith(m, "no such column: ")) return MakeError(904, MissingColumn(m.substr(16)));
  if (StartsWith(m, "no such function: ")) return MakeError(904, Dq(m.substr(18)));
  if (StartsWith(m, "wrong number of arguments to function ")) return MakeError(909);
  if (StartsWith(m, "ambiguous column name: ")) return MakeError(918);
  if (m.find(" has more than one primary key") != std::string::npos) return MakeError(2260);
  if (StartsWith(m, "unknown column \"") && m.find("\" in foreign key definition") != std::string::npos)
    return MakeError(904, m.substr(15, m.find('"', 16) - 15 + 1));
  if (StartsWith(m, "SELECTs to the left and right of ")) return MakeError(1789);
  if (StartsWith(m, "misuse of aggregate")) return MakeError(934);
  if (StartsWith(m, "HAVING clause on a non-aggregate query")) return MakeError(979);
  if (StartsWith(m, "table ") && m.find(" has no column named ") != std::string::npos)
    return MakeError(904, Dq(m.substr(m.find(" has no column named ") + 21)));
  if (StartsWith(m, "no such savepoint: ")) return MakeError(1086, m.substr(19));
  if (StartsWith(m, "too many columns")) return MakeError(1792);
  if (int code = CountMismatch(m)) return MakeError(code);
  if (m.find("syntax error") != std::string::npos) return MakeError(933);
  if (m.find("incomplete input") != std::string::npos) return MakeError(936);
  return MakeError(600, m);
}

bool Connection::Lookup(const std::string& owner, const std::string& name, ObjectRef* out) {
  Query q(db_, "SELECT object_id, object_type FROM ocisqlite_objects WHERE owner = ? AND object_name = ?");
  q.Bind(1, owner).Bind(2, name);
  if (q.Step()) {
    out->owner = owner;
    out->name = name;
    out->sqlite_name = owner + "." + name;
    out->object_id = static_cast<uint32_t>(q.Int(0));
    out->is_view = q.Text(1) == "VIEW";
    return true;
  }
  Query s(db_, "SELECT table_owner, table_name FROM ocisqlite_synonyms WHERE owner = ? AND synonym_name = ?");
  s.Bind(1, owner).Bind(2, name);
  if (s.Step()) {
    std::string to = s.Text(0), tn = s.Text(1);
    if (to == owner && tn == name) return false;
    return Lookup(to, tn, out);
  }
  return false;
}

std::vector<ColumnInfo> Connection::Columns(const ObjectRef& table) {
  Query q(db_, "SELECT column_name, data_type, coalesce(data_scale, -1) FROM ocisqlite_columns "
               "WHERE owner = ? AND table_name = ? ORDER BY column_id");
  q.Bind(1, table.owner).Bind(2, table.name);
  std::vector<ColumnInfo> out;
  while (q.Step()) out.push_back(ColumnInfo{q.Text(0), q.Text(1), static_cast<int>(q.Int(2))});
  return out;
}

bool Connection::Resolve(const std::string& schema, const std::string& name, ObjectRef* out) {
  if (!schema.empty()) return Lookup(schema, name, out);
  return Lookup(user_, name, out) || Lookup("PUBLIC", name, out) || Lookup("SYS", name, out);
}

}  // namespace kavo::ocisqlite
