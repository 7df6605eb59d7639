// Oracle DDL over the store: users, tables with Oracle's column types and
// constraints (recorded for the dictionary views), views, synonyms, indexes.
// As in Oracle, DDL commits the session's transaction before and after.
#include <functional>
#include <map>
#include <set>

#include "statement.h"

namespace kavo::ocisqlite {

namespace {

class Ddl {
 public:
  Ddl(Stmt& s, Connection& c) : t_(s.toks), match_(MatchParens(s.toks)), c_(c), text_(s.text) {}

  void Run() {
    size_t i = 0;
    const Token& verb = t_[i++];
    bool is_public = false, unique = false;
    if (verb.Is("CREATE") && t_[i].Is("OR") && t_[i + 1].Is("REPLACE")) i += 2, replace_ = true;
    if (t_[i].Is("PUBLIC")) is_public = true, ++i;
    if (t_[i].Is("UNIQUE")) unique = true, ++i;
    const Token& what = t_[i++];
    c_.Commit();
    c_.BeginWrite(false);
    try {
      if (verb.Is("CREATE") && what.Is("USER")) CreateUser(i);
      else if (verb.Is("ALTER") && what.Is("USER")) AlterUser(i);
      else if (verb.Is("DROP") && what.Is("USER")) DropUser(i);
      else if (verb.Is("CREATE") && what.Is("TABLE")) CreateTable(i);
      else if (verb.Is("CREATE") && what.Is("VIEW")) CreateView(i);
      else if (verb.Is("CREATE") && what.Is("SYNONYM")) CreateSynonym(i, is_public);
      else if (verb.Is("CREATE") && what.Is("INDEX")) CreateIndex(i, unique);
      else if (verb.Is("DROP") && (what.Is("TABLE") || what.Is("VIEW"))) DropObject(i, what.text);
      else if (verb.Is("DROP") && what.Is("SYNONYM")) DropSynonym(i, is_public);
      else if (verb.Is("DROP") && what.Is("INDEX")) DropIndex(i);
      else if (verb.Is("TRUNCATE") && what.Is("TABLE")) Truncate(i);
      else if (verb.Is("CREATE") || verb.Is("DROP") || verb.Is("ALTER")) throw At(MakeError(3001), what);
      else throw At(MakeError(900), verb);
      c_.Commit();
    } catch (...) {
      c_.Rollback();
      throw;
    }
  }

 private:
  bool Privileged() const { return c_.user() == "SYSTEM" || c_.user() == "SYS"; }

  // A length, precision or scale: a whole number no type could exceed.
  int Size(size_t i) const {
    const std::string& v = t_[i].text;
    if (t_[i].kind != Tok::kNumber || v.find_first_not_of("0123456789") != std::string::npos)
      throw At(MakeError(907), t_[i]);
    if (v.size() > 6) throw At(MakeError(910), t_[i]);
    return std::stoi(v);
  }

  std::string Name(size_t i) const {
    if (t_[i].kind != Tok::kIdent && t_[i].kind != Tok::kQuoted)
      throw At(MakeError(t_[i].kind == Tok::kEnd ? 936 : 903), t_[i]);
    return t_[i].text;
  }

  // [schema.]name; returns the index after it.
  size_t QualifiedName(size_t i, std::string* owner, std::string* name) const {
    *owner = c_.user();
    *name = Name(i);
    if (t_[i + 1].IsSym(".")) {
      *owner = *name;
      *name = Name(i + 2);
      i += 2;
    }
    if (*owner != c_.user() && !Privileged()) throw At(MakeError(1031), t_[i]);
    return i + 1;
  }

  // "[schema.]name" at i, an existing table or view (else ORA-00942 at i);
  // returns the index after it.
  size_t ResolveTable(size_t i, ObjectRef* ref) const {
    std::string schema, name = Name(i);
    size_t next = i + 1;
    if (t_[next].IsSym(".")) schema = name, name = Name(next + 1), next += 2;
    if (!c_.Resolve(schema, name, ref)) throw At(MakeError(942), t_[i]);
    return next;
  }

  void Sql(const std::string& sql, const std::vector<std::string>& args = {}) {
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(c_.db(), sql.c_str(), -1, &st, nullptr);
    if (rc != SQLITE_OK) throw c_.MapError(rc, sqlite3_errmsg(c_.db()));
    for (size_t k = 0; k < args.size(); ++k)
      sqlite3_bind_text(st, static_cast<int>(k + 1), args[k].c_str(), -1, SQLITE_TRANSIENT);
    rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) throw c_.MapError(rc, sqlite3_errmsg(c_.db()));
  }

  int64_t Scalar(const std::string& sql, const std::vector<std::string>& args = {}) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(c_.db(), sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
      throw c_.MapError(SQLITE_ERROR, sqlite3_errmsg(c_.db()));
    for (size_t k = 0; k < args.size(); ++k)
      sqlite3_bind_text(st, static_cast<int>(k + 1), args[k].c_str(), -1, SQLITE_TRANSIENT);
    int64_t v = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : 0;
    sqlite3_finalize(st);
    return v;
  }

  // Passwords keep the case they were written in, quoted or not.
  std::string Password(size_t i) const {
    Name(i);
    return t_[i].kind == Tok::kQuoted ? t_[i].text : text_.substr(t_[i].pos, t_[i].len);
  }

  void CreateUser(size_t i) {
    if (!Privileged()) throw At(MakeError(1031), t_[0]);
    std::string name = Name(i);
    if (!t_[i + 1].Is("IDENTIFIED") || !t_[i + 2].Is("BY")) throw At(MakeError(922), t_[i + 1]);
    std::string pw = Password(i + 3);
    if (c_.UserExists(name)) throw At(MakeError(1920, name), t_[i]);
    int64_t id = Scalar("SELECT coalesce(max(user_id), 100) + 1 FROM ocisqlite_users");
    Sql("INSERT INTO ocisqlite_users VALUES(?, ?, ?, 0, datetime('now'))", {name, pw, std::to_string(id)});
  }

  void AlterUser(size_t i) {
    std::string name = Name(i);
    if (name != c_.user() && !Privileged()) throw At(MakeError(1031), t_[0]);
    if (!c_.UserExists(name)) throw At(MakeError(1918, name), t_[i]);
    if (t_[i + 1].Is("IDENTIFIED") && t_[i + 2].Is("BY"))
      Sql("UPDATE ocisqlite_users SET password = ?, expire_days = 0 WHERE username = ?", {Password(i + 3), name});
  }

  void DropUser(size_t i) {
    if (!Privileged()) throw At(MakeError(1031), t_[0]);
    std::string name = Name(i);
    if (!c_.UserExists(name)) throw At(MakeError(1918, name), t_[i]);
    bool cascade = t_[i + 1].Is("CASCADE");
    int64_t owned = Scalar("SELECT count(*) FROM ocisqlite_objects WHERE owner = ?", {name});
    if (owned && !cascade) throw At(MakeError(922), t_[i]);
    std::vector<std::pair<std::string, std::string>> objects;
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(c_.db(), "SELECT object_name, object_type FROM ocisqlite_objects WHERE owner = ? ORDER BY object_type DESC", -1, &st, nullptr);
    sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(st) == SQLITE_ROW)
      objects.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)),
                           reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
    sqlite3_finalize(st);
    for (auto& [obj, type] : objects) Forget(name, obj, type);
    Sql("DELETE FROM ocisqlite_synonyms WHERE owner = ?", {name});
    Sql("DELETE FROM ocisqlite_users WHERE username = ?", {name});
  }

  void Forget(const std::string& owner, const std::string& name, const std::string& type) {
    c_.Exec("DROP " + std::string(type == "VIEW" ? "VIEW " : "TABLE ") + QuoteIdent(owner + "." + name));
    Sql("DELETE FROM ocisqlite_objects WHERE owner = ? AND object_name = ?", {owner, name});
    Sql("DELETE FROM ocisqlite_columns WHERE owner = ? AND table_name = ?", {owner, name});
    Sql("DELETE FROM ocisqlite_cons_columns WHERE owner = ? AND table_name = ?", {owner, name});
    Sql("DELETE FROM ocisqlite_constraints WHERE owner = ? AND table_name = ?", {owner, name});
  }

  void NewObject(const std::string& owner, const std::string& name, const std::string& type,
                 const std::string& text, const Token& at) {
    if (!c_.UserExists(owner)) throw At(MakeError(1918, owner), at);
    if (Scalar("SELECT count(*) FROM ocisqlite_objects WHERE owner = ? AND object_name = ?", {owner, name}))
      throw At(MakeError(955), at);
    int64_t id = Scalar("SELECT max(coalesce(max(object_id), 0) + 1, 73000) FROM ocisqlite_objects");
    Sql("INSERT INTO ocisqlite_objects VALUES(?, ?, ?, ?, ?, datetime('now'))",
        {std::to_string(id), owner, name, type, text});
  }

  // Generated names are unique in the store, as Oracle's are in the database:
  // the first free number, skipping the names this statement already gave.
  std::string NewConstraintName() {
    int64_t n = Scalar("SELECT count(*) FROM ocisqlite_constraints") + 7001;
    for (;; ++n) {
      std::string name = "SYS_C00" + std::to_string(n);
      if (!given_names_.count(name) &&
          !Scalar("SELECT count(*) FROM ocisqlite_constraints WHERE constraint_name = ?", {name})) {
        given_names_.insert(name);
        return name;
      }
    }
  }

  struct Constraint {
    std::string name, type, condition, r_owner, r_table, delete_rule;
    std::vector<std::string> cols, r_cols;
    // Check constraints: the names the condition mentions (the table's
    // columns among them are listed in the dictionary, as Oracle lists them).
    std::vector<std::string> check_names;
    bool generated = false;
    bool not_null = false;
  };

  std::vector<std::string> ColumnList(size_t open) const {
    std::vector<std::string> cols;
    for (size_t k = open + 1; k < match_[open]; ++k)
      if (!t_[k].IsSym(",")) cols.push_back(Name(k));
    return cols;
  }

  // Parses one constraint starting at i (after an optional CONSTRAINT name).
  size_t ConstraintAt(size_t i, size_t end, const std::string& column, Constraint* k) {
    if (t_[i].Is("PRIMARY")) {
      k->type = "P";
      i += 2;
    } else if (t_[i].Is("UNIQUE")) {
      k->type = "U";
      ++i;
    } else if (t_[i].Is("CHECK")) {
      k->type = "C";
      if (!t_[i + 1].IsSym("(")) throw At(MakeError(907), t_[i + 1]);
      size_t close = match_[i + 1];
      k->condition = text_.substr(t_[i + 2].pos, t_[close].pos - t_[i + 2].pos);
      for (size_t n = i + 2; n < close; ++n)
        if (t_[n].kind == Tok::kIdent || t_[n].kind == Tok::kQuoted) k->check_names.push_back(t_[n].text);
      k->cols.push_back(TranslateExpression(t_, i + 2, close, c_));
      return close + 1;
    } else if (t_[i].Is("FOREIGN")) {
      k->type = "R";
      i += 2;
    } else if (t_[i].Is("REFERENCES")) {
      k->type = "R";
    } else {
      throw At(MakeError(907), t_[i]);
    }
    if (t_[i].IsSym("(")) {
      k->cols = ColumnList(i);
      i = match_[i] + 1;
    } else if (!column.empty()) {
      k->cols.push_back(column);
    } else {
      throw At(MakeError(907), t_[i]);
    }
    if (k->type == "R") {
      if (!t_[i].Is("REFERENCES")) throw At(MakeError(907), t_[i]);
      ObjectRef ref;
      size_t j = ResolveTable(i + 1, &ref);
      k->r_owner = ref.owner;
      k->r_table = ref.name;
      if (t_[j].IsSym("(")) {
        k->r_cols = ColumnList(j);
        j = match_[j] + 1;
      }
      if (t_[j].Is("ON") && t_[j + 1].Is("DELETE")) {
        k->delete_rule = t_[j + 2].Is("CASCADE") ? "CASCADE" : "SET NULL";
        j += t_[j + 2].Is("CASCADE") ? 3 : 4;
      }
      i = j;
    }
    (void)end;
    return i;
  }

  void CreateTable(size_t i) {
    std::string owner, name;
    size_t name_at = i;
    i = QualifiedName(i, &owner, &name);
    if (t_[i].Is("AS")) throw At(MakeError(3001), t_[i]);
    if (!t_[i].IsSym("(")) throw At(MakeError(907), t_[i]);
    size_t close = match_[i];
    if (t_[close].kind == Tok::kEnd) throw At(MakeError(907), t_[close]);
    NewObject(owner, name, "TABLE", "", t_[name_at]);
    std::vector<std::string> defs;
    std::vector<Constraint> cons;
    int column_id = 0;
    std::set<std::string> column_names;
    size_t k = i + 1;
    while (k < close) {
      size_t item_end = k;
      while (item_end < close && !t_[item_end].IsSym(",")) item_end = t_[item_end].IsSym("(") ? match_[item_end] + 1 : item_end + 1;
      if (t_[k].Is("CONSTRAINT") || t_[k].Is("PRIMARY") || t_[k].Is("UNIQUE") ||
          t_[k].Is("FOREIGN") || t_[k].Is("CHECK")) {
        Constraint c;
        size_t j = k;
        if (t_[j].Is("CONSTRAINT")) c.name = Name(j + 1), j += 2;
        j = ConstraintAt(j, item_end, "", &c);
        if (j != item_end) throw At(MakeError(907), t_[j]);
        cons.push_back(c);
      } else {
        if (!column_names.insert(Name(k)).second) throw At(MakeError(957), t_[k]);
        if (static_cast<size_t>(column_id) >= kMaxColumns) throw At(MakeError(1792), t_[k]);
        Column(k, item_end, owner, name, ++column_id, &defs, &cons);
      }
      k = item_end + 1;
    }
    // Primary key columns are NOT NULL, as in Oracle.
    for (const Constraint& c : cons)
      if (c.type == "P")
        for (const auto& col : c.cols) {
          for (std::string& d : defs)
            if (d.rfind(QuoteIdent(col) + " ", 0) == 0 && d.find(" NOT NULL") == std::string::npos) d += " NOT NULL";
          Sql("UPDATE ocisqlite_columns SET nullable = 'N' WHERE owner = ? AND table_name = ? AND column_name = ?",
              {owner, name, col});
        }
    for (Constraint& c : cons) {
      if (c.name.empty()) c.name = NewConstraintName(), c.generated = true;
      std::string cols;
      for (const auto& col : c.cols) cols += (cols.empty() ? "" : ", ") + QuoteIdent(col);
      std::string qname = QuoteIdent(owner + "." + c.name);
      if (c.type == "P") defs.push_back("CONSTRAINT " + qname + " PRIMARY KEY (" + cols + ")");
      else if (c.type == "U") defs.push_back("CONSTRAINT " + qname + " UNIQUE (" + cols + ")");
      else if (c.type == "C" && !c.not_null) defs.push_back("CONSTRAINT " + qname + " CHECK (" + c.cols[0] + ")");
      else if (c.type == "R") {
        std::string rcols;
        for (const auto& col : c.r_cols) rcols += (rcols.empty() ? "" : ", ") + QuoteIdent(col);
        defs.push_back("CONSTRAINT " + qname + " FOREIGN KEY (" + cols + ") REFERENCES " +
                       QuoteIdent(c.r_owner + "." + c.r_table) +
                       (rcols.empty() ? "" : " (" + rcols + ")") +
                       (c.delete_rule.empty() ? "" : " ON DELETE " + c.delete_rule));
      }
      std::string r_name;
      if (c.type == "R") {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(c_.db(), "SELECT constraint_name FROM ocisqlite_constraints WHERE owner = ? AND table_name = ? AND constraint_type IN ('P','U') ORDER BY constraint_type", -1, &st, nullptr);
        sqlite3_bind_text(st, 1, c.r_owner.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, c.r_table.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(st) == SQLITE_ROW) r_name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        sqlite3_finalize(st);
      }
      Sql("INSERT INTO ocisqlite_constraints VALUES(?, ?, ?, ?, ?, ?, ?, ?, 'ENABLED', ?)",
          {owner, c.name, c.type, name, c.type == "C" ? c.condition : std::string(),
           c.type == "R" ? c.r_owner : std::string(), r_name,
           c.type == "R" ? (c.delete_rule.empty() ? "NO ACTION" : c.delete_rule) : std::string(),
           c.generated ? "GENERATED NAME" : "USER NAME"});
      if (c.type != "C")
        for (size_t p = 0; p < c.cols.size(); ++p)
          Sql("INSERT INTO ocisqlite_cons_columns VALUES(?, ?, ?, ?, ?)",
              {owner, c.name, name, c.cols[p], std::to_string(p + 1)});
      std::set<std::string> listed;
      for (const auto& col : c.check_names)
        if (column_names.count(col) && listed.insert(col).second)
          Sql("INSERT INTO ocisqlite_cons_columns VALUES(?, ?, ?, ?, NULL)", {owner, c.name, name, col});
    }
    std::string sql = "CREATE TABLE " + QuoteIdent(owner + "." + name) + " (";
    for (size_t d = 0; d < defs.size(); ++d) sql += (d ? ", " : "") + defs[d];
    c_.Exec(sql + ")");
  }

  // name type[(n[,s])] [DEFAULT expr] [[CONSTRAINT x] NOT NULL | NULL | PRIMARY KEY | ...]
  void Column(size_t k, size_t end, const std::string& owner, const std::string& table, int id,
              std::vector<std::string>* defs, std::vector<Constraint>* cons) {
    std::string col = Name(k);
    std::string type = Name(k + 1);
    size_t j = k + 2;
    int a = -1, b = -1;
    if (type == "LONG" && t_[j].Is("RAW")) type = "LONG RAW", ++j;
    if (t_[j].IsSym("(")) {
      a = Size(j + 1);
      if (t_[j + 2].IsSym(",")) b = Size(j + 3);
      if (t_[j + 2].Is("BYTE") || t_[j + 2].Is("CHAR")) {}
      j = match_[j] + 1;
    }
    std::string decl, data_type = type, path = "\"" + owner + "\".\"" + table + "\".\"" + col + "\"";
    std::string check;
    int length = 0, precision = -1, scale = -1;
    if (type == "VARCHAR2" || type == "VARCHAR" || type == "NVARCHAR2") {
      if (a <= 0) throw At(MakeError(907), t_[k + 1]);
      data_type = type == "VARCHAR" ? "VARCHAR2" : type;
      decl = data_type + "(" + std::to_string(a) + ")";
      length = a;
      check = "ora_check_length(" + QuoteIdent(col) + ", " + std::to_string(a) + ", " + QuoteString(path) + ")";
    } else if (type == "CHAR" || type == "NCHAR") {
      length = a > 0 ? a : 1;
      decl = type + "(" + std::to_string(length) + ")";
      check = "ora_check_length(" + QuoteIdent(col) + ", " + std::to_string(length) + ", " + QuoteString(path) + ")";
    } else if (type == "NUMBER" || type == "INTEGER" || type == "INT" || type == "SMALLINT" ||
               type == "DECIMAL" || type == "NUMERIC" || type == "FLOAT") {
      data_type = "NUMBER";
      length = 22;
      if (type == "INTEGER" || type == "INT" || type == "SMALLINT") a = 38, b = 0;
      if (a > 0) {
        precision = a, scale = b < 0 ? 0 : b;
        decl = "NUMBER(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
        check = "ora_check_number(" + QuoteIdent(col) + ", " + std::to_string(precision) + ", " + std::to_string(scale) + ")";
      } else {
        decl = "NUMBER";
      }
    } else if (type == "DATE") {
      decl = "DATE TEXT", length = 7;
    } else if (type == "CLOB" || type == "NCLOB" || type == "BLOB") {
      data_type = type;
      decl = type == "BLOB" ? "BLOB BLOB" : type + " TEXT", length = 4000;
    } else if (type == "TIMESTAMP") {
      // Kept as text in time order; the fraction rounded to the column's digits.
      if (t_[j].Is("WITH")) throw At(MakeError(3001), t_[j]);
      if (a > 9) throw At(MakeError(30088), t_[k + 2]);
      scale = a < 0 ? 6 : a;
      data_type = "TIMESTAMP(" + std::to_string(scale) + ")";
      decl = "TIMESTAMP TEXT(" + std::to_string(scale) + ")", length = 11;
      check = "";
    } else if (type == "LONG") {
      decl = "LONG TEXT", length = 0;
    } else if (type == "RAW") {
      if (a <= 0) throw At(MakeError(907), t_[k + 1]);
      decl = "RAW BLOB(" + std::to_string(a) + ")", length = a;
      check = "ora_check_length(" + QuoteIdent(col) + ", " + std::to_string(a) + ", " + QuoteString(path) + ")";
    } else if (type == "LONG RAW") {
      decl = "LONG RAW BLOB", length = 0;
    } else {
      throw At(MakeError(3001), t_[k + 1]);
    }
    std::string def = QuoteIdent(col) + " " + decl;
    std::string default_text;
    bool not_null = false;
    while (j < end) {
      if (t_[j].Is("DEFAULT")) {
        size_t e = j + 1;
        while (e < end && !t_[e].Is("NOT") && !t_[e].Is("NULL") && !t_[e].Is("CONSTRAINT") &&
               !t_[e].Is("PRIMARY") && !t_[e].Is("UNIQUE") && !t_[e].Is("CHECK") && !t_[e].Is("REFERENCES"))
          e = t_[e].IsSym("(") ? match_[e] + 1 : e + 1;
        default_text = text_.substr(t_[j + 1].pos, t_[e - 1].pos + t_[e - 1].len - t_[j + 1].pos);
        def += " DEFAULT (" + TranslateExpression(t_, j + 1, e, c_) + ")";
        j = e;
        continue;
      }
      std::string cname;
      if (t_[j].Is("CONSTRAINT")) cname = Name(j + 1), j += 2;
      if (t_[j].Is("NOT") && t_[j + 1].Is("NULL")) {
        not_null = true;
        Constraint c;
        c.name = cname;
        c.type = "C";
        c.condition = "\"" + col + "\" IS NOT NULL";
        c.check_names.push_back(col);
        c.not_null = true;
        cons->push_back(c);
        j += 2;
        continue;
      }
      if (t_[j].Is("NULL")) { ++j; continue; }
      Constraint c;
      c.name = cname;
      j = ConstraintAt(j, end, col, &c);
      cons->push_back(c);
    }
    if (not_null) def += " NOT NULL";
    if (!check.empty()) def += " CHECK (" + check + ")";
    defs->push_back(def);
    Sql("INSERT INTO ocisqlite_columns VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
        {owner, table, col, std::to_string(id), data_type, std::to_string(length),
         precision < 0 ? std::string() : std::to_string(precision),
         scale < 0 ? std::string() : std::to_string(scale), not_null ? "N" : "Y", default_text});
    // Empty strings stand for NULL in the catalog's optional numbers.
    Sql("UPDATE ocisqlite_columns SET data_precision = NULLIF(data_precision, ''), data_scale = NULLIF(data_scale, ''), data_default = NULLIF(data_default, '') WHERE owner = ? AND table_name = ? AND column_name = ?",
        {owner, table, col});
  }

  void CreateView(size_t i) {
    std::string owner, name;
    size_t name_at = i;
    i = QualifiedName(i, &owner, &name);
    if (t_[i].IsSym("(")) i = match_[i] + 1;
    if (!t_[i].Is("AS")) throw At(MakeError(933), t_[i]);
    Translation tr = Translate(t_, i + 1, t_.size() - 1, c_);
    if (replace_) {
      ObjectRef ref;
      if (c_.Resolve(owner, name, &ref) && ref.is_view) Forget(owner, name, "VIEW");
    }
    NewObject(owner, name, "VIEW", text_.substr(t_[i + 1].pos), t_[name_at]);
    c_.Exec("CREATE VIEW " + QuoteIdent(owner + "." + name) + " AS " + tr.sql);
  }

  void CreateSynonym(size_t i, bool is_public) {
    std::string owner, name;
    if (is_public) {
      if (!Privileged()) throw At(MakeError(1031), t_[0]);
      owner = "PUBLIC", name = Name(i++);
    } else {
      i = QualifiedName(i, &owner, &name);
    }
    if (!t_[i].Is("FOR")) throw At(MakeError(933), t_[i]);
    std::string towner = c_.user(), tname = Name(i + 1);
    if (t_[i + 2].IsSym(".")) towner = tname, tname = Name(i + 3);
    if (replace_) Sql("DELETE FROM ocisqlite_synonyms WHERE owner = ? AND synonym_name = ?", {owner, name});
    if (Scalar("SELECT count(*) FROM ocisqlite_synonyms WHERE owner = ? AND synonym_name = ?", {owner, name}))
      throw At(MakeError(955), t_[i - 1]);
    Sql("INSERT INTO ocisqlite_synonyms VALUES(?, ?, ?, ?)", {owner, name, towner, tname});
  }

  void CreateIndex(size_t i, bool unique) {
    std::string owner, name;
    i = QualifiedName(i, &owner, &name);
    if (!t_[i].Is("ON")) throw At(MakeError(933), t_[i]);
    ObjectRef ref;
    size_t j = ResolveTable(i + 1, &ref);
    if (!t_[j].IsSym("(")) throw At(MakeError(907), t_[j]);
    std::string cols;
    for (const auto& c : ColumnList(j)) cols += (cols.empty() ? "" : ", ") + QuoteIdent(c);
    c_.Exec(std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " +
            QuoteIdent(owner + "." + name) + " ON " + QuoteIdent(ref.sqlite_name) + " (" + cols + ")");
  }

  void DropObject(size_t i, const std::string& kind) {
    std::string owner, name;
    size_t at = i;
    QualifiedName(i, &owner, &name);
    int64_t n = Scalar("SELECT count(*) FROM ocisqlite_objects WHERE owner = ? AND object_name = ? AND object_type = ?", {owner, name, kind});
    if (!n) throw At(MakeError(942), t_[at]);
    Forget(owner, name, kind);
  }

  void DropSynonym(size_t i, bool is_public) {
    std::string owner = is_public ? "PUBLIC" : c_.user(), name = Name(i);
    if (!is_public && t_[i + 1].IsSym(".")) owner = name, name = Name(i + 2);
    if (!Scalar("SELECT count(*) FROM ocisqlite_synonyms WHERE owner = ? AND synonym_name = ?", {owner, name}))
      throw At(MakeError(942), t_[i]);
    Sql("DELETE FROM ocisqlite_synonyms WHERE owner = ? AND synonym_name = ?", {owner, name});
  }

  void DropIndex(size_t i) {
    std::string owner, name;
    QualifiedName(i, &owner, &name);
    c_.Exec("DROP INDEX " + QuoteIdent(owner + "." + name));
  }

  void Truncate(size_t i) {
    ObjectRef ref;
    ResolveTable(i, &ref);
    if (ref.is_view) throw At(MakeError(942), t_[i]);
    c_.Exec("DELETE FROM " + QuoteIdent(ref.sqlite_name));
  }

  const std::vector<Token>& t_;
  std::vector<size_t> match_;
  Connection& c_;
  const std::string& text_;
  bool replace_ = false;
  std::set<std::string> given_names_;
};

}  // namespace

void ExecuteDdl(Stmt& s, Connection& conn) { Ddl(s, conn).Run(); }

}  // namespace kavo::ocisqlite
