// The statement object: session, text and variables.
#include "oracle/query.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "oracle/oracle_text.h"
#include "oracle/session.h"
#include "oracle/sql_scan.h"
#include "rtl/exceptions.h"

namespace kavo {

std::atomic<bool> NoQueryOptimize = true;
std::atomic<bool> NoRowidFix = false;
std::atomic<bool> ForceDefaultVariableCharSet = true;
std::atomic<bool> SafeStringFieldsOnly = false;

TOracleQuery::TOracleQuery(TComponent* owner) : TComponent(owner) {}

TOracleQuery::~TOracleQuery() {
  for (auto& f : fields_) FreeDescriptors(*f);
  fields_.clear();
  try {
    Close();
  } catch (const std::exception&) {
  }
  if (session_ != nullptr) session_->RemoveQuery(this);
}

std::function<void(TOracleQuery*, const String&)>& TOracleQuery::DebugHook() {
  static std::function<void(TOracleQuery*, const String&)> hook;
  return hook;
}

void TOracleQuery::SetThreaded(bool v) {
  if (v) throw Exception(u"Threaded execution of a TOracleQuery is not supported");
}

void TOracleQuery::SetScrollable(bool v) {
  if (v) throw Exception(u"Scrollable cursors are not supported by TOracleQuery");
}

void TOracleQuery::SetSession(TOracleSession* session) {
  if (session == session_) return;
  if (session_ != nullptr) {
    try {
      Close();
    } catch (const std::exception&) {
    }
    session_->RemoveQuery(this);
  }
  session_ = session;
  if (session_ != nullptr) {
    session_->AddQuery(this);
    SetDefaultVariableCharSets();
  }
}

namespace {

// UpCase, with ASCII done here: variable names are looked up per row.
Char UpperChar(Char c) {
  if (c < 0x80) return c >= u'a' && c <= u'z' ? static_cast<Char>(c - 32) : c;
  return UpCase(c);
}

// Whether a declared variable's name is NormaliseName(name), without
// building that.
bool IsNormalisedName(StringView declared, StringView name) {
  if (name.empty() || name[0] != u':') {
    if (declared.empty() || declared[0] != u':') return false;
    declared.remove_prefix(1);
  }
  if (declared.size() != name.size()) return false;
  for (size_t i = 0; i < name.size(); ++i)
    if (UpperChar(name[i]) != declared[i]) return false;
  return true;
}

}  // namespace

String TOracleQuery::NormaliseName(const String& name) const {
  const size_t colon = !name.empty() && name[0] == u':' ? 0 : 1;
  String out(name.size() + colon, u':');
  for (size_t i = 0; i < name.size(); ++i) out[i + colon] = UpperChar(name[i]);
  return out;
}

int TOracleQuery::VariableIndex(const String& name) const {
  for (int i = 0; i < variables_.Count(); ++i)
    if (IsNormalisedName(variables_.Data(i).name, name)) return i;
  return -1;
}

int TOracleQuery::IndexForSet(const String& name) const {
  int i = VariableIndex(name);
  if (i < 0) throw Exception(u"Variable " + NormaliseName(name) + u" not declared");
  return i;
}

void TOracleQuery::CheckVariableIndex(int index) const {
  if (index < 0 || index >= variables_.Count())
    throw Exception(u"Variable " + IntToStr(index) + u" does not exist");
}

void TOracleQuery::DeclareVariable(const String& name, int type) {
  if (name.empty() || name == u":")
    throw Exception(u"You cannot declare a variable with an empty name");
  std::unique_ptr<TVariableData> v = NewVariable();
  v->name = NormaliseName(name);
  v->buftype = static_cast<int16_t>(type);
  switch (type) {
    case otSubst:
    case otLong:
    case otLongRaw:
      v->bufsize = 0;
      break;
    case otInteger:
      v->bufsize = 4;
      break;
    case otFloat:
      v->bufsize = 8;
      break;
    case otString:
      v->bufsize = (!NoRowidFix && v->name.find(u"ROWID") != String::npos) ? 501 : 4001;
      break;
    case otChar:
      v->bufsize = 4001;
      break;
    case otPLSQLString:
      v->bufsize = 32513;
      break;
    case otDate:
      v->bufsize = 7;
      break;
    case otTimestamp:
    case otTimestampTZ:
    case otTimestampLTZ:
    case otCursor:
    case otCLOB:
    case otBLOB:
      v->bufsize = 0;
      v->Complex = true;
      break;
    default:
      if (IsComplexType(type))
        throw Exception(u"Object, reference, LOB and BFILE variables are not supported (" +
                        v->name + u")");
      throw Exception(u"Unsupported variable type");
  }
  v->indp.assign(1, -1);
  v->alen.assign(1, 0);
  if (type == otString || type == otPLSQLString) {
    // An empty text: what reads it stops at the terminator (or, for UTF-16,
    // reads the alen bytes, none), and what writes it terminates its text.
    // A fixed-width otChar is sent whole, so it stays zeroed.
    v->buf.resize(v->bufsize);
    v->buf[0] = 0;
  } else if (v->bufsize > 0) {
    v->buf.assign(v->bufsize, 0);
  }
  if (type == otString && ForceDefaultVariableCharSet && session_ != nullptr &&
      session_->Connected()) {
    int cs = session_->GetCurrentCharSetID();
    if (IsUTF8CharSet(static_cast<uint16_t>(cs)) || IsUTF16CharSet(static_cast<uint16_t>(cs))) {
      v->CharSetForm = ocfDatabase;
      v->CharSetID = static_cast<uint16_t>(cs);
    }
  }
  auto& list = variables_.List();
  int existing = variables_.IndexOf(v->name);
  if (existing >= 0) {
    list[existing].swap(v);
    RecycleVariable(std::move(v));
  } else {
    list.push_back(std::move(v));
  }
  parsed_sql_.clear();
}

std::unique_ptr<TVariableData> TOracleQuery::NewVariable() {
  if (spare_variables_.empty()) return std::make_unique<TVariableData>();
  std::unique_ptr<TVariableData> v = std::move(spare_variables_.back());
  spare_variables_.pop_back();
  return v;
}

void TOracleQuery::RecycleVariable(std::unique_ptr<TVariableData> v) {
  constexpr size_t kKeptVariables = 16;
  if (!v || spare_variables_.size() >= kKeptVariables) return;
  v->Recycle();
  spare_variables_.push_back(std::move(v));
}

void TOracleQuery::RecycleVariables() {
  for (std::unique_ptr<TVariableData>& v : variables_.List()) RecycleVariable(std::move(v));
  variables_.List().clear();
}

void TOracleQuery::DeclareAndSet(const String& name, int type, const OraVariant& value) {
  DeclareVariable(name, type);
  SetVariable(name, value);
}

void TOracleQuery::DeleteVariable(const String& name) {
  int i = IndexForSet(name);
  Close();
  variables_.List().erase(variables_.List().begin() + i);
  parsed_sql_.clear();
}

void TOracleQuery::DeleteVariables() {
  Close();
  RecycleVariables();
  parsed_sql_.clear();
}

void TOracleQuery::SetVariable(const String& name, const OraVariant& value) {
  SetVariable(IndexForSet(name), value);
}

void TOracleQuery::SetVariable(int index, const OraVariant& value) {
  CheckVariableIndex(index);
  TVariableData& v = variables_.Data(index);
  if (value.IsArray() && v.buftype != otLongRaw) {
    if (v.Complex) throw Exception(v.name + u" is a complex variable and cannot be an array");
    if (v.buftype == otSubst)
      throw Exception(v.name + u" is a substitution variable and cannot be an array");
    int count = static_cast<int>(value.Items().size());
    if (v.IsPLSQLTable) {
      if (count > v.ArraySize)
        throw Exception(u"Array is larger than PL/SQL Table (" + IntToStr(count) + u" > " +
                        IntToStr(v.ArraySize) + u")");
      v.PLSQLTableElemCount = count;
      std::fill(v.indp.begin(), v.indp.end(), -1);
    } else {
      v.ReDim(count, -1, session_);
    }
    v.ArrayLowBound = value.LowBound();
    for (int i = 0; i < count; ++i) v.SetValue(i, value.Items()[i], session_);
    return;
  }
  if (v.IsPLSQLTable) {
    if (!value.IsEmptyOrNull())
      throw Exception(v.name + u" is a PL/SQL Table, assign a variant array to it");
    v.PLSQLTableElemCount = 0;
    return;
  }
  v.ReDim(1, -1, session_);
  v.SetValue(0, value, session_);
}

OraVariant TOracleQuery::GetVariable(const String& name) {
  int i = VariableIndex(name);
  if (i < 0) throw Exception(u"Unknown variable: " + NormaliseName(name));
  return GetVariable(i);
}

OraVariant TOracleQuery::GetVariable(int index) {
  CheckVariableIndex(index);
  const TVariableData& v = variables_.Data(index);
  bool null_variant = session_ != nullptr && session_->NullValue() == nvNull;
  auto read = [&](int element) {
    if (v.IsNull(element)) return null_variant ? OraVariant::Null() : OraVariant();
    OraVariant value = v.GetValue(element, session_);
    if (v.buftype == otLong) value = OraVariant::Ansi(AddCR(value.AnsiBytes(), session_));
    return value;
  };
  if (v.IsPLSQLTable || v.ArraySize > 1) {
    int count = v.IsPLSQLTable ? v.PLSQLTableElemCount : v.ArraySize;
    std::vector<OraVariant> items;
    for (int i = 0; i < count; ++i) items.push_back(read(i));
    return OraVariant::Array(std::move(items), v.ArrayLowBound);
  }
  return read(0);
}

void TOracleQuery::SetComplexVariable(const String& name, TOracleQuery* cursor) {
  int i = VariableIndex(name);
  if (i < 0) throw Exception(u"Unknown variable: " + NormaliseName(name));
  TVariableData& v = variables_.Data(i);
  if (!v.Complex) throw Exception(v.name + u" is not a complex variable");
  if (v.buftype != otCursor)
    throw Exception((IsTimestampType(v.buftype) ? u"Assign TOracleTimestamp instance to variable "
                                                : u"Assign TLOBLocator instance to variable ") +
                    v.name);
  v.obj = cursor;
  v.indp.at(0) = cursor == nullptr ? -1 : 0;
}

TOracleQuery* TOracleQuery::GetComplexVariable(const String& name) const {
  int i = VariableIndex(name);
  if (i < 0) throw Exception(u"Unknown variable: " + NormaliseName(name));
  const TVariableData& v = variables_.Data(i);
  if (!v.Complex) throw Exception(v.name + u" is not a complex variable");
  return v.buftype == otCursor ? static_cast<TOracleQuery*>(v.obj) : nullptr;
}

void TOracleQuery::ClearVariables() {
  for (int i = 0; i < variables_.Count(); ++i) {
    TVariableData& v = variables_.Data(i);
    std::fill(v.indp.begin(), v.indp.end(), -1);
  }
}

String TOracleQuery::VariableName(int index) const {
  CheckVariableIndex(index);
  return variables_.Data(index).name;
}

int TOracleQuery::VariableType(int index) const {
  CheckVariableIndex(index);
  return variables_.Data(index).buftype;
}

void TOracleQuery::DeclareVariableCharSet(const String& name, uint8_t form, uint16_t charset_id) {
  TVariableData& v = variables_.Data(IndexForSet(name));
  v.CharSetForm = form;
  v.CharSetID = charset_id;
  v.bindhp = nullptr;
}

void TOracleQuery::DimPLSQLTable(const String& name, int size, int string_size) {
  TVariableData& v = variables_.Data(IndexForSet(name));
  bool is_string = v.buftype == otString || v.buftype == otChar || v.buftype == otPLSQLString;
  if (!is_string && v.buftype != otInteger && v.buftype != otFloat && v.buftype != otDate)
    throw Exception(u"Only PL/SQL Tables of strings, integers, floats and dates supported");
  if (is_string && string_size <= 0)
    throw Exception(u"You must specify a string size for a PL/SQL Table of strings");
  if (!is_string && string_size > 0)
    throw Exception(u"You can only specify a string size for a PL/SQL Table of strings");
  if (size <= 0) throw Exception(u"You must specify the size of the PL/SQL Table");
  v.IsPLSQLTable = true;
  v.ReDim(size, is_string ? string_size : -1, session_);
  v.PLSQLTableElemCount = 0;
  parsed_sql_.clear();
}

void TOracleQuery::SetDefaultVariableCharSets() {
  int cs = 0;
  if (session_ != nullptr && session_->Connected()) cs = session_->GetCurrentCharSetID();
  bool unicode = IsUTF8CharSet(static_cast<uint16_t>(cs)) || IsUTF16CharSet(static_cast<uint16_t>(cs));
  for (int i = 0; i < variables_.Count(); ++i) {
    TVariableData& v = variables_.Data(i);
    bool text = v.buftype == otString || v.buftype == otPLSQLString;
    v.CharSetForm = text && unicode ? ocfDatabase : 0;
    v.CharSetID = text && unicode ? static_cast<uint16_t>(cs) : 0;
    v.bindhp = nullptr;
  }
}

bool TOracleQuery::HasSubstVariables() const {
  for (int i = 0; i < variables_.Count(); ++i)
    if (variables_.Data(i).buftype == otSubst) return true;
  return false;
}

String TOracleQuery::ReplaceSubstVariables(const String& text) {
  if (!HasSubstVariables()) return text;
  String result = text;
  std::vector<TFoundVariable> found = FindVariables(text, true);
  for (auto it = found.rbegin(); it != found.rend(); ++it) {
    int i = variables_.IndexOf(u":" + it->name);
    if (i < 0 || variables_.Data(i).buftype != otSubst) continue;
    OraVariant value = variables_.Data(i).GetValue(0, session_);
    String replacement = value.IsEmptyOrNull() ? String() : value.AsString();
    result.replace(static_cast<size_t>(it->position - 1), it->name.size() + 1, replacement);
  }
  return result;
}

namespace {

// The first unit from `i` at or below CR, or `n`: four units at a time (a
// lane of w - 0x000E is negative where w's lane was below 0x000E).
size_t NextControl(const Char* p, size_t i, size_t n) {
  constexpr uint64_t kFourteens = 0x000E000E000E000EULL, kHighs = 0x8000800080008000ULL;
  while (i + 4 <= n) {
    uint64_t w;
    std::memcpy(&w, p + i, sizeof w);
    if (((w - kFourteens) & ~w & kHighs) == 0) {
      i += 4;
      continue;
    }
    for (size_t end = i + 4; i < end; ++i)
      if (p[i] <= u'\r') return i;
  }
  for (; i < n; ++i)
    if (p[i] <= u'\r') return i;
  return n;
}

// What setting `text` as lines and joining them gives, into `out`: every
// line break (CR LF, CR or LF) a CR LF, and one after a last line that has
// none.
void JoinLinesInto(StringView text, String& out) {
  out.clear();
  out.reserve(text.size() + 2);
  const Char* p = text.data();
  const size_t n = text.size();
  size_t start = 0, i = 0;
  while ((i = NextControl(p, i, n)) < n) {
    const Char c = p[i];
    if (c == u'\r' && i + 1 < n && p[i + 1] == u'\n') {
      i += 2;  // already a CR LF: stays in the run
      continue;
    }
    if (c != u'\r' && c != u'\n') {
      ++i;
      continue;
    }
    out.append(p + start, i - start);
    out += TStringList::kLineBreak;
    start = ++i;
  }
  if (start < n) {
    out.append(p + start, n - start);
    if (p[n - 1] != u'\n') out += TStringList::kLineBreak;
  }
}

}  // namespace

TStringList& TOracleQuery::SQL() {
  if (sql_text_set_) {
    sql_text_set_ = false;
    sql_.SetText(sql_text_);
    String().swap(sql_text_);
  }
  return sql_;
}

void TOracleQuery::SetSQLText(const String& text) {
  sql_text_set_ = false;
  sql_text_.clear();
  sql_.SetText(text);
}

void TOracleQuery::SetStatementText(const String& text) {
  if (sql_.OnChange) {
    SetSQLText(text);
    return;
  }
  JoinLinesInto(text, sql_text_);
  sql_text_set_ = true;
  if (sql_.Count() > 0) sql_.Clear();
}

const String& TOracleQuery::SQLText(String& joined) const {
  if (sql_text_set_) return sql_text_;
  joined = sql_.Text();
  return joined;
}

String TOracleQuery::SubstitutedSQL() {
  String joined;
  return ReplaceSubstVariables(SQLText(joined));
}

void TOracleQuery::Clear() {
  Close();
  RecycleVariables();
  sql_text_set_ = false;
  sql_text_.clear();
  sql_.Clear();
  parsed_sql_.clear();
  described_ = false;
}

}  // namespace kavo
