// Rewrites Oracle queries and DML into SQLite's dialect: schema-qualified and
// case-folded names, ROWID and ROWNUM, DUAL, Oracle's functions, FOR UPDATE and
// RETURNING ... INTO. Names are resolved through the session's catalog.
#ifndef OCISQLITE_TRANSLATE_H
#define OCISQLITE_TRANSLATE_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "lexer.h"

namespace kavo::ocisqlite {

struct ObjectRef {
  std::string owner, name;  // Oracle names
  std::string sqlite_name;  // "OWNER.NAME"
  uint32_t object_id = 0;
  bool is_view = false;
};

struct ColumnInfo {
  std::string name;
  std::string type;  // Oracle's type name: "DATE", "NUMBER", "VARCHAR2", ...
  int scale = -1;    // NUMBER(p, s): s; -1 when the column has no scale
};

class Resolver {
 public:
  virtual ~Resolver() = default;
  // schema empty: the current user's object, then a public synonym / SYS object.
  virtual bool Resolve(const std::string& schema, const std::string& name, ObjectRef* out) = 0;
  // A table's columns in order with their Oracle type names ("DATE", "NUMBER", ...).
  virtual std::vector<ColumnInfo> Columns(const ObjectRef& table) = 0;
};

// What the select list tells about a column whose type SQLite cannot trace to a table.
enum class Hint { kUnknown, kRowid, kDate, kNumber, kVarchar, kChar, kNVarchar };

struct SelectItem {
  std::string name;
  Hint hint = Hint::kUnknown;
  int size = 0;
};

struct Translation {
  std::string sql;
  std::vector<SelectItem> items;
  bool for_update = false;
  bool nowait = false;
  std::vector<std::string> into_binds;  // RETURNING ... INTO targets
  std::vector<Hint> into_hints;         // what each returned expression is
  ObjectRef target;                     // table of an INSERT, UPDATE or DELETE
  bool implicit_returning = false;      // the translation added "RETURNING rowid"
  std::vector<std::pair<size_t, size_t>> map;  // output offset -> source offset

  size_t SourceOffset(size_t out_offset) const;
};

// Oracle's most columns of a table, a view or a select list.
constexpr size_t kMaxColumns = 1000;

// What the first word of an expression tells about its type (TO_DATE, SYSDATE: a date).
Hint LeadingHint(const Token& first);

// Translates tokens [begin, end) holding one SELECT, INSERT, UPDATE or DELETE.
// Throws OraError with the source offset of the fault.
Translation Translate(const std::vector<Token>& toks, size_t begin, size_t end, Resolver& res);

// Translates a bare expression (PL/SQL right-hand sides, defaults, checks).
std::string TranslateExpression(const std::vector<Token>& toks, size_t begin, size_t end,
                                Resolver& res);

}  // namespace kavo::ocisqlite

#endif
