#include "oracle/variable_data.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "oracle/oracle_date.h"
#include "oracle/oracle_error.h"
#include "oracle/oracle_text.h"
#include "oracle/oracle_types.h"
#include "oracle/query.h"
#include "oracle/session.h"
#include "rtl/code_page.h"
#include "rtl/exceptions.h"
#include "rtl/float_text.h"

namespace kavo {

namespace {

bool IsStringType(int t) { return t == otSubst || t == otString || t == otPLSQLString || t == otChar; }

VariableBuffer BytesOf(const OraVariant& value, const String& name) {
  if (value.Kind() == vkByteArray) {
    const std::vector<uint8_t>& bytes = value.ByteArray();
    return VariableBuffer(bytes.begin(), bytes.end());
  }
  if (value.Kind() == vkArray) {
    VariableBuffer bytes;
    for (const OraVariant& item : value.Items()) {
      if (item.IsArray()) throw Exception(u"Only one-dimensional array of bytes allowed for " + name);
      bytes.push_back(static_cast<uint8_t>(item.AsInteger()));
    }
    return bytes;
  }
  std::string s = value.AsAnsi();
  return VariableBuffer(s.begin(), s.end());
}

// Substitution, LONG, CLOB, BLOB and LONG RAW variables: only element 0; the
// buffer takes the exact size of each value.
void SetWholeValue(TVariableData& v, const OraVariant& value, const TOracleSession* session) {
  if (v.buftype == otCLOB) {
    // Held as UTF-8, exactly as given: a CLOB keeps its line ends.
    std::string s = Utf8Encode(value.AsString());
    v.buf.assign(s.begin(), s.end());
    v.bufsize = v.len = static_cast<int32_t>(v.buf.size());
  } else if (v.buftype == otBLOB || v.buftype == otLongRaw) {
    VariableBuffer bytes = BytesOf(value, v.name);
    v.buf = std::move(bytes);
    v.bufsize = v.len = static_cast<int32_t>(v.buf.size());
  } else {
    std::string s = v.buftype == otLong && v.IsUTF8() && VarIsWideString(value)
                        ? Utf8Encode(RemoveCRW(value.AsString(), session))
                        : RemoveCR(value.AsAnsi(), session);
    v.buf.assign(s.begin(), s.end());
    v.buf.push_back(0);
    v.bufsize = static_cast<int32_t>(v.buf.size());
    v.len = static_cast<int32_t>(s.size());
  }
  v.indp.at(0) = 0;
}

// A text element: UTF-16 by its byte length, else terminated.
void SetTextElement(TVariableData& v, int index, const OraVariant& value,
                    const TOracleSession* session) {
  uint8_t* e = v.Element(index);
  size_t room = v.bufsize > 0 ? static_cast<size_t>(v.bufsize - 1) : 0;
  if (v.IsUTF16()) {
    String text = VarIsWideString(value) ? value.AsString() : Utf8Decode(value.AsAnsi());
    text = RemoveCRW(text, session);
    SwapWideString(text, v.CharSetID);
    size_t n = std::min(text.size() * 2, room) & ~size_t{1};
    std::memset(e, 0, room);
    std::memcpy(e, text.data(), n);
    v.len = static_cast<int32_t>(n);
    v.alen.at(index) = static_cast<ub2>(n);
    return;
  }
  std::string bytes;
  if (v.IsUTF8() && VarIsWideString(value))
    bytes = Utf8Encode(RemoveCRW(value.AsString(), session));
  else
    bytes = RemoveCR(value.AsAnsi(), session);
  // Longer text is cut silently, never inside a character.
  if (bytes.size() > room)
    bytes = CutWholeCharacters(bytes, room, v.IsUTF8() ? std::string("UTF-8") : AnsiCodePage());
  std::memcpy(e, bytes.data(), bytes.size());
  e[bytes.size()] = 0;
}

}  // namespace

bool TVariableData::IsUTF16() const { return IsUTF16CharSet(CharSetID); }
bool TVariableData::IsUTF8() const { return IsUTF8CharSet(CharSetID); }

void TVariableData::FreeBuffer() {
  if (BufOwner) buf.clear();
}

void TVariableData::Recycle() {
  constexpr size_t kKeptBytes = 64 * 1024;
  if (!BufOwner || buf.capacity() > kKeptBytes) VariableBuffer().swap(buf);
  if (bindcopy.capacity() > kKeptBytes) std::vector<uint8_t>().swap(bindcopy);
  VariableBuffer keep_buf = std::move(buf);
  std::vector<int16_t> keep_indp = std::move(indp);
  std::vector<ub2> keep_alen = std::move(alen);
  std::vector<uint8_t> keep_bindcopy = std::move(bindcopy);
  std::vector<ub2> keep_bindalen = std::move(bindalen);
  *this = TVariableData();
  keep_buf.clear();
  keep_indp.clear();
  keep_alen.clear();
  keep_bindcopy.clear();
  keep_bindalen.clear();
  buf = std::move(keep_buf);
  indp = std::move(keep_indp);
  alen = std::move(keep_alen);
  bindcopy = std::move(keep_bindcopy);
  bindalen = std::move(keep_bindalen);
}

void TVariableData::SetValue(int index, const OraVariant& value, const TOracleSession* session) {
  if (value.IsEmptyOrNull()) {
    indp.at(index) = -1;
    if (Complex) obj = nullptr;
    return;
  }
  try {
    switch (buftype) {
      case otSubst:
      case otLong:
      case otCLOB:
      case otBLOB:
      case otLongRaw:
        SetWholeValue(*this, value, session);
        return;
      case otInteger: {
        int32_t v = value.AsInteger();
        std::memcpy(Element(index), &v, sizeof v);
        break;
      }
      case otFloat: {
        double v = value.AsDouble();
        // No Oracle number is NaN or infinite; a NaN bound would be stored as NULL.
        if (!std::isfinite(v)) throw EConvertError(FloatToStr(v) + u" is not a finite number");
        std::memcpy(Element(index), &v, sizeof v);
        break;
      }
      case otString:
      case otPLSQLString:
      case otChar:
        SetTextElement(*this, index, value, session);
        break;
      case otDate: {
        TDateTime t = value.IsString() ? StrToDateTime(value.AsString()) : value.AsDateTime();
        bool zero_is_null = session == nullptr || session->Preferences().ZeroDateIsNull();
        if (t != 0 || !zero_is_null) {
          NativeToOracleDate(Element(index), t);
          break;
        }
        indp.at(index) = -1;
        return;
      }
      case otTimestamp:
      case otTimestampTZ:
      case otTimestampLTZ: {
        TDateTime t = value.IsString() ? StrToDateTime(value.AsString()) : value.AsDateTime();
        bool zero_is_null = session == nullptr || session->Preferences().ZeroDateIsNull();
        if (t == 0 && zero_is_null) {
          indp.at(index) = -1;
          return;
        }
        CheckOracleDate(t);
        tsv = t;
        break;
      }
      default:
        if (!Complex) throw Exception(u"Unsupported variable type for " + name);
        throw Exception(u"Pass LongInt(Object) to complex variable " + name);
    }
  } catch (const EConvertError&) {
    throw Exception(u"Variant conversion error for variable " + name);
  }
  indp.at(index) = 0;
}

OraVariant TVariableData::GetValue(int index, const TOracleSession* session) const {
  if (indp.at(index) == -1) return OraVariant();
  switch (buftype) {
    case otSubst:
    case otLong:
    case otLongRaw:
      if (buf.empty()) return OraVariant();
      return OracleToNativeData(buf.data(), buftype == otSubst ? otString : buftype, 0, session,
                                len);
    case otTimestamp:
    case otTimestampTZ:
    case otTimestampLTZ:
      return OraVariant::Date(tsv);
    case otCursor:  // its rows are read through the statement it names
      return OraVariant();
    case otCLOB:
      return OraVariant(Utf8Decode(std::string_view(reinterpret_cast<const char*>(buf.data()), buf.size())));
    case otBLOB:
      return OraVariant::Bytes(std::vector<uint8_t>(buf.begin(), buf.end()));
    default:
      return OracleToNativeData(Element(index), buftype, CharSetID, session,
                                IsUTF16() ? std::min<int32_t>(alen.at(index), bufsize) : bufsize);
  }
}

void TVariableData::ReDim(int32_t new_dim, int32_t new_size, TOracleSession* session) {
  if (new_dim == ArraySize && (new_size == -1 || new_size == bufsize - 1)) return;
  indp.assign(new_dim, -1);
  alen.assign(new_dim, 0);
  bindbuf = nullptr;  // the arrays OCI was given may have moved: bind again
  FreeBuffer();
  if (buftype == otString || buftype == otChar)
    bufsize = std::min(bufsize, (session != nullptr ? session->MaxVarchar() : 2000) + 1);
  if (new_size > 0) bufsize = new_size + 1;
  if (BufOwner) buf.assign(static_cast<size_t>(new_dim) * std::max(bufsize, 0), 0);
  ArraySize = new_dim;
}

String TVariableData::DisplayString(const TOracleSession* session) const {
  if (IsPLSQLTable) return u"(PL/SQL Table)";
  if (ArraySize > 1) return u"(Array)";
  switch (buftype) {
    case otLong: return u"(Long)";
    case otLongRaw: return u"(Long Raw)";
    case otObject: return u"(Object)";
    case otReference: return u"(Reference)";
    case otCLOB: return u"(CLOB)";
    case otBLOB: return u"(BLOB)";
    case otBFile: return u"(BFile)";
    case otCursor: return u"(Cursor)";
    default: break;
  }
  OraVariant v = GetValue(0, session);
  return v.IsEmptyOrNull() ? String(u"Null") : v.AsString();
}

OraVariant OracleToNativeData(const uint8_t* buffer, int type, uint16_t charset_id,
                              const TOracleSession* session, int32_t length) {
  switch (type) {
    case otSubst:
    case otString:
    case otPLSQLString:
    case otChar: {
      if (IsUTF16CharSet(charset_id)) {
        String text(static_cast<size_t>(std::max(length, 0)) / 2, u'\0');
        std::memcpy(text.data(), buffer, text.size() * 2);
        SwapWideString(text, charset_id);
        return OraVariant(AddCRW(text, session));
      }
      const char* p = reinterpret_cast<const char*>(buffer);
      std::string bytes(p, length > 0 ? strnlen(p, length) : std::strlen(p));
      if (IsUTF8CharSet(charset_id)) return OraVariant(AddCRW(Utf8Decode(bytes), session));
      return OraVariant::Ansi(AddCR(bytes, session));
    }
    case otInteger: {
      int32_t v;
      std::memcpy(&v, buffer, sizeof v);
      return OraVariant(v);
    }
    case otFloat: {
      double v;
      std::memcpy(&v, buffer, sizeof v);
      return OraVariant(v);
    }
    case otLong:
      return OraVariant::Ansi(std::string(reinterpret_cast<const char*>(buffer),
                                          static_cast<size_t>(std::max(length, 0))));
    case otDate:
      return OraVariant::Date(OracleToNativeDate(buffer));
    case otLongRaw:
      return OraVariant::Bytes(std::vector<uint8_t>(buffer, buffer + std::max(length, 0)));
    default:
      return OraVariant();
  }
}

int TVariables::IndexOf(const String& normalised_name) const {
  for (size_t i = 0; i < list_.size(); ++i)
    if (list_[i]->name == normalised_name) return static_cast<int>(i);
  return -1;
}

void TVariables::AssignTo(TVariables& dest) const {
  if (owner_ == nullptr || dest.owner_ == nullptr)
    throw EConvertError(u"Can only Assign TVariables owned by a TOracleQuery");
  dest.owner_->DeleteVariables();
  for (const auto& v : list_) {
    dest.owner_->DeclareVariable(v->name, v->buftype);
    if (v->IsPLSQLTable) {
      dest.owner_->DimPLSQLTable(v->name, v->ArraySize,
                                 IsStringType(v->buftype) ? v->bufsize - 1 : 0);
    } else {
      dest.owner_->SetVariable(v->name, owner_->GetVariable(v->name));
    }
  }
}

void TVariables::Assign(const std::vector<TParamValue>& params) {
  if (owner_ == nullptr) throw EConvertError(u"Can only Assign TVariables owned by a TOracleQuery");
  owner_->DeleteVariables();
  for (const TParamValue& p : params) {
    int type;
    switch (p.value.Kind()) {
      case vkInteger:
      case vkBoolean:
        type = otInteger;
        break;
      case vkDouble:
      case vkDecimal:
        type = otFloat;
        break;
      case vkDate:
        type = otDate;
        break;
      case vkAnsiString:
      case vkString:
        type = otString;
        break;
      default:
        throw Exception(u"Unsupported variable type");
    }
    owner_->DeclareVariable(u":" + p.name, type);
    owner_->SetVariable(u":" + p.name, p.value);
  }
}

void TVariables::AssignTo(std::vector<TParamValue>& params) const {
  params.clear();
  for (const auto& v : list_) {
    TParamValue p{v->name.substr(1), OraVariant()};
    if (!v->IsNull(0)) p.value = v->GetValue(0, owner_ ? owner_->Session() : nullptr);
    params.push_back(std::move(p));
  }
}

namespace {

constexpr int32_t kStoredVersion = 4;

void PutInt(std::string& out, int32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF));
}

class Reader {
 public:
  explicit Reader(const std::string& data) : data_(data) {}
  int32_t Int() {
    std::string b = Bytes(4);
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b[i]);
    return static_cast<int32_t>(v);
  }
  std::string Bytes(int32_t n) {
    if (n < 0 || pos_ + static_cast<size_t>(n) > data_.size())
      throw EReadError(u"Stream read error");
    std::string s = data_.substr(pos_, n);
    pos_ += n;
    return s;
  }

 private:
  const std::string& data_;
  size_t pos_ = 0;
};

}  // namespace

std::string TVariables::Save() const {
  std::string out;
  PutInt(out, kStoredVersion);
  PutInt(out, Count());
  for (const auto& v : list_) {
    PutInt(out, static_cast<int32_t>(v->name.size() * 2));
    for (Char c : v->name) {
      out.push_back(static_cast<char>(c & 0xFF));
      out.push_back(static_cast<char>(c >> 8));
    }
    PutInt(out, v->buftype);
    std::string value;
    if (!v->indp.empty() && v->indp[0] != -1 && !v->buf.empty()) {
      const char* p = reinterpret_cast<const char*>(v->buf.data());
      if (IsStringType(v->buftype))
        value.assign(p, std::min(strnlen(p, v->buf.size()) + 1, v->buf.size()));
      else
        value.assign(p, std::min<size_t>(v->buf.size(), static_cast<size_t>(v->bufsize)));
    }
    PutInt(out, static_cast<int32_t>(value.size()));
    out += value;
    PutInt(out, v->IsPLSQLTable ? 1 : 0);
    if (v->IsPLSQLTable) {
      PutInt(out, v->ArraySize);
      PutInt(out, IsStringType(v->buftype) ? v->bufsize - 1 : 0);
    }
  }
  return out;
}

void TVariables::Load(const std::string& data) {
  Reader r(data);
  int32_t version = r.Int();
  if (version > kStoredVersion) throw Exception(u"Invalid version of Query variables");
  owner_->DeleteVariables();
  int32_t count = r.Int();
  for (int32_t i = 0; i < count; ++i) {
    std::string raw = r.Bytes(r.Int());
    String name;
    if (version >= 4) {
      for (size_t k = 0; k + 1 < raw.size(); k += 2)
        name += static_cast<Char>(static_cast<uint8_t>(raw[k]) | (static_cast<uint8_t>(raw[k + 1]) << 8));
    } else {
      name = AnsiToString(raw);
    }
    int32_t type = r.Int();
    owner_->DeclareVariable(name, type);
    TVariableData& v = *list_.at(IndexOf(UpperCase(name[0] == u':' ? name : u":" + name)));
    if (version >= 2) {
      std::string value = r.Bytes(r.Int());
      if (!value.empty()) {
        if (v.buf.empty()) {
          v.buf.assign(value.begin(), value.end());
          v.bufsize = static_cast<int32_t>(value.size());
          // LONG and substitution texts keep their terminator out of the length.
          v.len = v.bufsize - ((type == otLong || type == otSubst) && value.back() == 0 ? 1 : 0);
        } else {
          const size_t n = std::min(value.size(), v.buf.size());
          std::memcpy(v.buf.data(), value.data(), n);
          // A stored text need not carry its terminator.
          std::fill(v.buf.begin() + static_cast<std::ptrdiff_t>(n), v.buf.end(), uint8_t{0});
        }
        v.indp.at(0) = 0;
      }
    }
    if (version >= 3 && r.Int() == 1) {
      int32_t size = r.Int();
      int32_t string_size = r.Int();
      owner_->DimPLSQLTable(name, size, string_size);
    }
  }
}

}  // namespace kavo
