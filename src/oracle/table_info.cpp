#include "oracle/table_info.h"

#include <algorithm>

#include "oracle/oracle_types.h"
#include "oracle/session.h"
#include "rtl/format.h"

namespace kavo {
namespace {

// Runs `sql` and answers the first column of every row.
std::vector<String> Column0(TOracleQuery& q) {
  std::vector<String> out;
  q.Execute();
  for (; !q.Eof(); q.Next()) out.push_back(q.FieldAsString(0));
  q.Close();
  return out;
}

void Prepare(TOracleQuery& q, const String& sql) {
  q.Clear();
  q.SetSQLText(sql);
}

bool Contains(const std::vector<String>& names, const String& name) {
  for (const String& n : names)
    if (SameText(n, name)) return true;
  return false;
}

bool IsIdentifierChar(Char c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
         c == u'_' || c == u'$' || c == u'#';
}

// Declares `name` for `value` with the column's buffer type (text when the
// value is text, so that the server converts as it does for the column).
void Bind(TOracleQuery& q, const String& name, const OraVariant& value) {
  int type = otString;
  switch (value.Kind()) {
    case vkInteger:
    case vkBoolean: type = otInteger; break;
    case vkDouble: case vkDecimal: type = otFloat; break;
    case vkDate: type = otDate; break;
    default: break;
  }
  q.DeclareAndSet(name, type, value);
}

bool IsEmptyValue(const OraVariant& v) {
  return v.IsEmptyOrNull() || (v.IsString() && v.AsString().empty());
}

}  // namespace

void ResolveName(TOracleQuery& q, const String& name, String& owner, String& table) {
  size_t dot = name.find(u'.');
  if (dot != String::npos) {
    owner = UpperCase(name.substr(0, dot));
    table = UpperCase(name.substr(dot + 1));
    return;
  }
  Prepare(q,
          u"begin\n"
          u"  begin\n"
          u"    select user, table_name into :table_owner, :table_name\n"
          u"      from sys.user_tables where table_name = :name;\n"
          u"  exception when no_data_found then\n"
          u"    begin\n"
          u"      select user, view_name into :table_owner, :table_name\n"
          u"        from sys.user_views where view_name = :name;\n"
          u"    exception when no_data_found then\n"
          u"      begin\n"
          u"        select table_owner, table_name into :table_owner, :table_name\n"
          u"          from sys.user_synonyms where synonym_name = :name;\n"
          u"      exception when no_data_found then\n"
          u"        begin\n"
          u"          select table_owner, table_name into :table_owner, :table_name\n"
          u"            from sys.all_synonyms where owner = 'PUBLIC' and synonym_name = :name;\n"
          u"        exception when no_data_found then\n"
          u"          :table_owner := null;\n"
          u"          :table_name := null;\n"
          u"        end;\n"
          u"      end;\n"
          u"    end;\n"
          u"  end;\n"
          u"end;");
  q.DeclareVariable(u"table_owner", otString);
  q.DeclareVariable(u"table_name", otString);
  q.DeclareAndSet(u"name", otString, UpperCase(name));
  q.Execute();
  OraVariant o = q.GetVariable(u"table_owner"), t = q.GetVariable(u"table_name");
  owner = o.IsEmptyOrNull() ? String() : o.AsString();
  table = t.IsEmptyOrNull() ? String() : t.AsString();
  q.Close();
}

std::vector<String> GetPKFields(TOracleQuery& q, const String& owner, const String& table) {
  Prepare(q,
          u"select constraint_name from all_constraints\n"
          u"where owner = :owner and table_name = :table_name\n"
          u"and constraint_type in ('P', 'U')\n"
          u"order by constraint_type");
  q.DeclareAndSet(u"owner", otString, owner);
  q.DeclareAndSet(u"table_name", otString, table);
  std::vector<String> keys = Column0(q);
  if (keys.empty()) return {};
  Prepare(q,
          u"select column_name from all_cons_columns\n"
          u"where owner = :owner and table_name = :table_name\n"
          u"and constraint_name = :constraint_name\n"
          u"order by position");
  q.DeclareAndSet(u"owner", otString, owner);
  q.DeclareAndSet(u"table_name", otString, table);
  q.DeclareAndSet(u"constraint_name", otString, keys[0]);
  return Column0(q);
}

String FetchRowIdByKey(TOracleQuery& q, const String& table, const std::vector<String>& columns,
                       const std::vector<OraVariant>& values) {
  String sql = u"select rowid from " + table + u" where";
  q.Clear();
  for (size_t i = 0; i < columns.size(); ++i) {
    sql += i == 0 ? u"\n" : u"\nand ";
    if (IsEmptyValue(values[i])) {
      sql += columns[i] + u" is null";
    } else {
      sql += columns[i] + u" = :" + columns[i];
      Bind(q, columns[i], values[i]);
    }
  }
  q.SetSQLText(sql);
  q.Execute();
  if (q.Eof()) {
    q.Close();
    throw Exception(u"Error determining ROWID: no record found");
  }
  String rowid = q.FieldAsString(0);
  q.Next();
  bool more = !q.Eof();
  q.Close();
  if (more) throw Exception(u"Error determining ROWID: more than one record found");
  return rowid;
}

String ConstraintMessage(int error_code, const String& constraint) {
  switch (error_code) {
    case 1: return Format(u"ORA-00001: unique constraint (%s) violated", {constraint});
    case 2290: return Format(u"ORA-02290: check constraint (%s) violated", {constraint});
    case 2291:
      return Format(u"ORA-02291: integrity constraint (%s) violated - parent key not found",
                    {constraint});
    default: return Format(u"ORA-%.5d: (%s)", {error_code, constraint});
  }
}

// ---- TOracleTableInfo ------------------------------------------------------------

TOracleTableInfo::TOracleTableInfo(TOracleSession& session, String table_expression)
    : session_(session),
      table_expression_(std::move(table_expression)),
      query_(std::make_unique<TOracleQuery>(nullptr)) {
  query_->SetName(u"TableInfoQuery");
  query_->SetSession(&session_);
  query_->SetOptimize(false);
}

TOracleTableInfo::~TOracleTableInfo() = default;

void TOracleTableInfo::Resolve() {
  if (resolved_) return;
  ResolveName(*query_, table_expression_, owner_, name_);
  resolved_ = true;
}

const String& TOracleTableInfo::TableOwner() {
  Resolve();
  return owner_;
}

const String& TOracleTableInfo::TableName() {
  Resolve();
  return name_;
}

String TOracleTableInfo::QualifiedName() {
  Resolve();
  return name_.empty() ? table_expression_ : owner_ + u"." + name_;
}

const std::vector<TOracleColumnInfo>& TOracleTableInfo::Columns(
    const std::function<void(const Exception&)>& on_error) {
  if (columns_read_) return columns_;
  columns_read_ = true;
  try {
    Resolve();
    TOracleQuery& q = *query_;
    Prepare(q, u"select * from " + QualifiedName());
    q.Describe();
    for (int i = 0; i < q.FieldCount(); ++i) {
      TOracleColumnInfo c;
      c.ColumnName = q.FieldName(i);
      c.ColumnType = q.FieldType(i);
      c.ColumnPrecision = q.FieldPrecision(i);
      c.ColumnScale = q.FieldScale(i);
      columns_.push_back(std::move(c));
    }
    q.Close();
    Prepare(q,
            u"select column_name, data_default from sys.all_tab_columns\n"
            u"where owner = :owner and table_name = :table_name\n"
            u"and data_default is not null");
    q.DeclareAndSet(u"owner", otString, TableOwner());
    q.DeclareAndSet(u"table_name", otString, TableName());
    for (q.Execute(); !q.Eof(); q.Next()) {
      String name = q.FieldAsString(0);
      for (auto& c : columns_)
        if (SameText(c.ColumnName, name)) c.DefaultExpression = Trim(q.FieldAsString(1));
    }
    q.Close();
  } catch (const Exception& e) {
    columns_.clear();
    if (on_error) on_error(e);
  }
  return columns_;
}

const std::vector<TOracleConstraintInfo>& TOracleTableInfo::Constraints() {
  if (constraints_read_) return constraints_;
  Resolve();  // before the statement is prepared: resolving uses it too
  TOracleQuery& q = *query_;
  std::vector<TOracleConstraintInfo> found;
  std::vector<std::pair<String, String>> refs;  // r_owner, r_constraint_name
  Prepare(q,
          u"select constraint_name, constraint_type, r_owner, r_constraint_name,\n"
          u"  search_condition, status from sys.all_constraints\n"
          u"where owner = :owner and table_name = :table_name\n"
          u"and constraint_name not like 'SYS\\_C%' escape '\\'\n"
          u"order by constraint_name");
  q.DeclareAndSet(u"owner", otString, TableOwner());
  q.DeclareAndSet(u"table_name", otString, TableName());
  for (q.Execute(); !q.Eof(); q.Next()) {
    TOracleConstraintInfo c;
    c.ConstraintName = q.FieldAsString(0);
    String type = q.FieldAsString(1);
    c.ConstraintType = type == u"P"   ? ctPrimaryKey
                       : type == u"U" ? ctUniqueKey
                       : type == u"R" ? ctForeignKey
                       : type == u"C" ? ctCheck
                                      : ctUnknown;
    c.RefOwner = q.FieldAsString(2);
    refs.emplace_back(c.RefOwner, q.FieldAsString(3));
    c.SearchCondition = q.FieldAsString(4);
    c.Enabled = SameText(q.FieldAsString(5), u"ENABLED");
    found.push_back(std::move(c));
  }
  q.Close();
  Prepare(q,
          u"select table_name, column_name from sys.all_cons_columns\n"
          u"where owner = :owner and constraint_name = :constraint_name\n"
          u"order by position");
  for (size_t i = 0; i < found.size(); ++i) {
    q.DeclareAndSet(u"owner", otString, TableOwner());
    q.DeclareAndSet(u"constraint_name", otString, found[i].ConstraintName);
    for (q.Execute(); !q.Eof(); q.Next()) found[i].ColumnNames.push_back(q.FieldAsString(1));
    q.Close();
    if (found[i].ConstraintType != ctForeignKey) continue;
    q.SetVariable(u"owner", refs[i].first);
    q.SetVariable(u"constraint_name", refs[i].second);
    for (q.Execute(); !q.Eof(); q.Next()) {
      found[i].RefTableName = q.FieldAsString(0);
      found[i].RefColumnNames.push_back(q.FieldAsString(1));
    }
    q.Close();
  }
  constraints_ = std::move(found);
  constraints_read_ = true;
  return constraints_;
}

const std::vector<TOracleColumnInfo*>& TOracleTableInfo::EvaluateDefaults(bool dynamic) {
  if (defaults_evaluated_ && !dynamic) return defaults_;
  Columns();
  defaults_.clear();
  for (auto& c : columns_)
    if (!c.DefaultExpression.empty()) defaults_.push_back(&c);
  defaults_evaluated_ = true;
  if (defaults_.empty()) return defaults_;
  TOracleQuery& q = *query_;
  String sql = u"begin\n";
  q.Clear();
  for (TOracleColumnInfo* c : defaults_) {
    sql += u"  :" + c->ColumnName + u" := " + c->DefaultExpression + u";\n";
    q.DeclareVariable(c->ColumnName, c->ColumnType);
  }
  q.SetSQLText(sql + u"end;");
  q.Execute();
  for (TOracleColumnInfo* c : defaults_) c->DefaultValue = q.GetVariable(c->ColumnName);
  q.Close();
  return defaults_;
}

std::optional<TConstraintViolation> TOracleTableInfo::CheckConstraints(
    const TConstraintRecord& record, const String& column, const std::vector<String>& disabled) {
  for (const TOracleConstraintInfo& c : Constraints()) {
    if (!c.Enabled || Contains(disabled, c.ConstraintName) ||
        Contains(disabled, TableOwner() + u"." + c.ConstraintName))
      continue;
    if (!column.empty() && !Contains(c.ColumnNames, column)) continue;
    bool ok = true;
    int code = 0;
    switch (c.ConstraintType) {
      case ctPrimaryKey:
      case ctUniqueKey: ok = CheckKey(c, record), code = 1; break;
      case ctForeignKey: ok = CheckForeignKey(c, record), code = 2291; break;
      case ctCheck: ok = CheckCondition(c, record), code = 2290; break;
      case ctUnknown: break;
    }
    if (!ok) return TConstraintViolation{code, TableOwner() + u"." + c.ConstraintName};
  }
  return std::nullopt;
}

bool TOracleTableInfo::CheckKey(const TOracleConstraintInfo& c, const TConstraintRecord& record) {
  std::vector<OraVariant> values(c.ColumnNames.size());
  bool all_null = true;
  for (size_t i = 0; i < values.size(); ++i) {
    if (!record.Value(c.ColumnNames[i], values[i])) return true;
    all_null = all_null && IsEmptyValue(values[i]);
  }
  // Rows whose key is entirely null never collide.
  if (all_null) return true;
  TOracleQuery& q = *query_;
  q.Clear();
  String sql = u"select 'x' from " + QualifiedName() + u"\n";
  if (record.Inserting) {
    sql += u"where ";
  } else {
    sql += u"where rowid <> :vzo__rowid\nand ";
    q.DeclareAndSet(u"vzo__rowid", otString, record.RowId);
  }
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) sql += u"\nand ";
    if (IsEmptyValue(values[i])) {
      sql += c.ColumnNames[i] + u" is null";
    } else {
      String var = u"vzo__key" + IntToStr(static_cast<int64_t>(i + 1));
      sql += c.ColumnNames[i] + u" = :" + var;
      Bind(q, var, values[i]);
    }
  }
  q.SetSQLText(sql);
  q.Execute();
  bool found = !q.Eof();
  q.Close();
  return !found;
}

bool TOracleTableInfo::CheckForeignKey(const TOracleConstraintInfo& c,
                                       const TConstraintRecord& record) {
  if (c.RefColumnNames.size() != c.ColumnNames.size() || c.RefTableName.empty()) return true;
  std::vector<OraVariant> values(c.ColumnNames.size());
  for (size_t i = 0; i < values.size(); ++i) {
    if (!record.Value(c.ColumnNames[i], values[i])) return true;
    // A key with a null column refers to nothing and is not checked.
    if (IsEmptyValue(values[i])) return true;
  }
  TOracleQuery& q = *query_;
  q.Clear();
  String sql = u"select 'x' from " + c.RefOwner + u"." + c.RefTableName + u"\nwhere ";
  for (size_t i = 0; i < values.size(); ++i) {
    String var = u"vzo__key" + IntToStr(static_cast<int64_t>(i + 1));
    if (i > 0) sql += u"\nand ";
    sql += c.RefColumnNames[i] + u" = :" + var;
    Bind(q, var, values[i]);
  }
  q.SetSQLText(sql);
  q.Execute();
  bool found = !q.Eof();
  q.Close();
  return found;
}

bool TOracleTableInfo::CheckCondition(const TOracleConstraintInfo& c,
                                      const TConstraintRecord& record) {
  // Every column name in the condition becomes a bind variable with the
  // record's value; a column the record set lacks leaves the check undone.
  const std::vector<TOracleColumnInfo>& columns = Columns();  // before the statement is reused
  TOracleQuery& q = *query_;
  q.Clear();
  const String& cond = c.SearchCondition;
  auto var = [](size_t n) { return u"vzo__c" + IntToStr(static_cast<int64_t>(n)); };
  String text;
  std::vector<String> bound;
  for (size_t i = 0; i < cond.size();) {
    Char ch = cond[i];
    size_t end = i + 1;
    String name;
    if (ch == u'\'') {
      // A literal, '' standing for one quote inside it.
      auto closes = [&](size_t at) {
        return cond[at] == u'\'' && (at + 1 == cond.size() || cond[at + 1] != u'\'');
      };
      while (end < cond.size() && !closes(end)) end += cond[end] == u'\'' ? 2 : 1;
      end = std::min(end + 1, cond.size());
    } else if (ch == u'"') {
      size_t close = cond.find(u'"', i + 1);
      if (close != String::npos) {
        name = cond.substr(i + 1, close - i - 1);
        end = close + 1;
      }
    } else if (IsIdentifierChar(ch) && !(ch >= u'0' && ch <= u'9')) {
      while (end < cond.size() && IsIdentifierChar(cond[end])) ++end;
      name = UpperCase(cond.substr(i, end - i));
    } else if (IsIdentifierChar(ch)) {
      while (end < cond.size() && IsIdentifierChar(cond[end])) ++end;  // a number
    }
    bool is_column = false;
    if (!name.empty())
      for (const auto& col : columns) is_column = is_column || col.ColumnName == name;
    if (!is_column) {
      text += cond.substr(i, end - i);
      i = end;
      continue;
    }
    auto at = std::find(bound.begin(), bound.end(), name);
    if (at == bound.end()) {
      OraVariant value;
      if (!record.Value(name, value)) return true;
      bound.push_back(name);
      Bind(q, var(bound.size()), IsEmptyValue(value) ? OraVariant::Null() : value);
      at = bound.end() - 1;
    }
    text += u":" + var(static_cast<size_t>(at - bound.begin()) + 1);
    i = end;
  }
  q.SetSQLText(u"begin\n  if not (" + text +
               u") then\n    :error := 2290;\n  else\n    :error := 0;\n  end if;\nend;");
  q.DeclareVariable(u"error", otInteger);
  q.Execute();
  OraVariant error = q.GetVariable(u"error");
  q.Close();
  return error.IsEmptyOrNull() || error.AsInteger() == 0;
}

// ---- TOracleTableInfoList ----------------------------------------------------------

TOracleTableInfo& TOracleTableInfoList::Find(const String& table_expression) {
  for (auto& item : items_)
    if (SameText(item->TableExpression(), table_expression)) return *item;
  items_.push_back(std::make_unique<TOracleTableInfo>(session_, table_expression));
  return *items_.back();
}

}  // namespace kavo
