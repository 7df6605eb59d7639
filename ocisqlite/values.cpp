#include "values.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "charset.h"
#include "datetime.h"
#include "number_text.h"
#include "ora_number.h"

namespace kavo::ocisqlite {

Cell Cell::Column(sqlite3_stmt* st, int col) {
  Cell c;
  c.type = sqlite3_column_type(st, col);
  switch (c.type) {
    case SQLITE_INTEGER: c.i = sqlite3_column_int64(st, col); break;
    case SQLITE_FLOAT: c.d = sqlite3_column_double(st, col); break;
    case SQLITE_TEXT:
      c.p = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
      c.n = static_cast<size_t>(sqlite3_column_bytes(st, col));
      if (c.n == 0) c.type = SQLITE_NULL;
      break;
    case SQLITE_BLOB:
      c.p = static_cast<const char*>(sqlite3_column_blob(st, col));
      c.n = static_cast<size_t>(sqlite3_column_bytes(st, col));
      if (c.n == 0) c.type = SQLITE_NULL;
      break;
    default: break;
  }
  return c;
}

Cell Cell::Text(const std::string& s) {
  Cell c;
  c.type = s.empty() ? SQLITE_NULL : SQLITE_TEXT;
  c.p = s.data();
  c.n = s.size();
  return c;
}

namespace {

bool CellNumber(const Cell& c, double* out) {
  if (c.type == SQLITE_INTEGER) { *out = static_cast<double>(c.i); return true; }
  if (c.type == SQLITE_FLOAT) { *out = c.d; return true; }
  return ParseNumber(std::string_view(c.p, c.n), out);
}

// An integer of 1, 2, 4 or 8 bytes in the client's buffer.
template <typename I8, typename I16, typename I32, typename I64>
int64_t ReadInt(const char* p, sb4 size) {
  switch (size) {
    case 1: { I8 x; std::memcpy(&x, p, 1); return static_cast<int64_t>(x); }
    case 2: { I16 x; std::memcpy(&x, p, 2); return static_cast<int64_t>(x); }
    case 4: { I32 x; std::memcpy(&x, p, 4); return static_cast<int64_t>(x); }
    case 8: { I64 x; std::memcpy(&x, p, 8); return static_cast<int64_t>(x); }
    default: throw MakeError(932, "NUMBER", "INTEGER");
  }
}

std::string Hex(const char* p, size_t n) {
  static const char d[] = "0123456789ABCDEF";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    unsigned char b = static_cast<unsigned char>(p[i]);
    s += d[b >> 4];
    s += d[b & 15];
  }
  return s;
}

// A cell on its way to a date or timestamp: the stored forms, else text by NLS_DATE_FORMAT.
void CellDate(const Cell& c, Connection& conn, DateParts* d, unsigned* fsec) {
  *fsec = 0;
  if (c.type != SQLITE_TEXT) throw MakeError(932, "DATE", "NUMBER");
  std::string_view text(c.p, c.n);
  if (!ParseStoredTimestamp(text, d, fsec)) *d = ParseDate(text, conn.nls_date_format());
}

// A date a client built itself, refused with the error TO_DATE gives for its first bad field.
void ThrowIfInvalid(const DateParts& d) {
  if (d.year < 1 || d.year > 9999) throw MakeError(1841);  // the store holds no years before Christ
  if (d.month < 1 || d.month > 12) throw MakeError(1843);
  if (d.hour < 0 || d.hour > 23) throw MakeError(1850);
  if (d.minute < 0 || d.minute > 59) throw MakeError(1851);
  if (d.second < 0 || d.second > 59) throw MakeError(1852);
  if (!ValidDate(d)) throw MakeError(1847);
}

// The client's OCIDateTime in element i of a bind or define.
DateTimeDesc* DateTimeAt(const char* p) {
  DateTimeDesc* desc = p ? *reinterpret_cast<DateTimeDesc* const*>(p) : nullptr;
  if (!IsHandle(desc, 0) || desc->type < OCI_DTYPE_DATE || desc->type > OCI_DTYPE_TIMESTAMP_LTZ) {
    throw MakeError(600, "OCIDateTime descriptor");
  }
  return desc;
}

}  // namespace

std::string CellText(const Cell& c, ub2 ora_type, Connection& conn) {
  switch (c.type) {
    case SQLITE_NULL: return {};
    case SQLITE_INTEGER: return NumberText(static_cast<int64_t>(c.i));
    case SQLITE_FLOAT: return NumberText(c.d);
    case SQLITE_BLOB: return Hex(c.p, c.n);
    default: break;
  }
  if (ora_type == SQLT_DAT) {
    DateParts d;
    if (ParseStoredDate(std::string_view(c.p, c.n), &d)) return FormatDate(d, conn.nls_date_format());
  }
  if (ora_type == SQLT_TIMESTAMP) {
    DateParts d;
    unsigned fsec;
    if (ParseStoredTimestamp(std::string_view(c.p, c.n), &d, &fsec)) return TimestampText(d, fsec, 6);
  }
  if (ora_type == SQLT_BIN || ora_type == SQLT_LBI) return Hex(c.p, c.n);
  return std::string(c.p, c.n);
}

namespace {

// Element i of a define as a fetch fills it: the buffer, its room, and what is
// reported of the value (indicator, length, return code).
struct Dest {
  const Target& t;
  char* out;
  size_t cap;
  size_t unit;  // bytes of one text unit in the define's set
  sb2* ind;
  ub2* len;
  ub2* rcode;
  int result = 0;
};

// A cut value reports its whole length (-2 when the indicator cannot hold it).
void Truncated(Dest& o, size_t whole) {
  if (o.ind) *o.ind = static_cast<sb2>(whole > 32767 ? -2 : static_cast<int>(whole));
  if (o.rcode) *o.rcode = 1406;
  o.result = 1406;
}

// Text goes out in the define's set: UTF-16 takes two bytes for its
// terminator and its blanks, and is never cut inside a character.
void StoreBytes(Dest& o, const char* p, size_t n, bool terminate, bool pad) {
  const size_t unit = o.unit;
  size_t room = terminate ? (o.cap >= unit ? o.cap - unit : 0) : o.cap;
  if (unit == 2) room &= ~size_t{1};
  size_t copy = n <= room ? n : unit == 2 ? WholePrefix(std::string_view(p, n), room, o.t.csid) : room;
  if (copy) std::memcpy(o.out, p, copy);
  size_t total = copy;
  if (pad && copy < room) {
    if (unit == 2) {
      const std::string blank = FromStore(" ", o.t.csid);
      for (size_t k = copy; k + 2 <= room; k += 2) std::memcpy(o.out + k, blank.data(), 2);
    } else {
      std::memset(o.out + copy, ' ', room - copy);
    }
    total = room;
  }
  if (terminate && o.cap >= unit) std::memset(o.out + total, 0, unit);
  if (o.len) *o.len = static_cast<ub2>(total);
  if (copy < n) Truncated(o, n);
}

void StoreText(Dest& o, const char* p, size_t n, bool terminate, bool pad) {
  if (IsUtf8Set(o.t.csid)) return StoreBytes(o, p, n, terminate, pad);
  const std::string converted = FromStore(std::string_view(p, n), o.t.csid);
  StoreBytes(o, converted.data(), converted.size(), terminate, pad);
}

// SQLT_STR, CHR, LNG, AFC, AVC and RID.
void WriteText(const Cell& c, ub2 ora_type, Dest& o, Connection& conn) {
  const ub2 dty = o.t.dty;
  bool term = dty == SQLT_STR || dty == SQLT_AVC || dty == SQLT_RID;
  bool pad = dty == SQLT_AFC || dty == SQLT_AVC;
  if (c.type == SQLITE_TEXT && ora_type != SQLT_DAT && ora_type != SQLT_TIMESTAMP && ora_type != SQLT_BIN && ora_type != SQLT_LBI) {
    StoreText(o, c.p, c.n, term, pad);
  } else {
    std::string s = CellText(c, ora_type, conn);
    StoreText(o, s.data(), s.size(), term, pad);
  }
}

// SQLT_INT and UIN.
void WriteInteger(const Cell& c, Dest& o) {
  const size_t cap = o.cap;
  double v;
  if (c.type == SQLITE_INTEGER) v = static_cast<double>(c.i);
  else if (!CellNumber(c, &v)) throw MakeError(1722);
  if (cap != 1 && cap != 2 && cap != 4 && cap != 8) throw MakeError(932, "NUMBER", "INTEGER");
  // A value the client's integer cannot hold is an error, never a wrapped number.
  int bits = static_cast<int>(cap * 8);
  bool is_unsigned = o.t.dty == SQLT_UIN;
  double rounded = c.type == SQLITE_INTEGER ? v : std::round(v);
  double lo = is_unsigned ? 0.0 : -std::ldexp(1.0, bits - 1);
  double hi = is_unsigned ? std::ldexp(1.0, bits) : std::ldexp(1.0, bits - 1);
  bool fits = c.type == SQLITE_INTEGER && cap == 8 ? !(is_unsigned && c.i < 0)
                                                   : rounded >= lo && rounded < hi;
  if (!fits) throw MakeError(1455);
  int64_t n = c.type == SQLITE_INTEGER ? c.i
              : is_unsigned && rounded >= std::ldexp(1.0, 63)
                  ? static_cast<int64_t>(static_cast<uint64_t>(rounded))
                  : static_cast<int64_t>(rounded);
  switch (cap) {
    case 1: { int8_t x = static_cast<int8_t>(n); std::memcpy(o.out, &x, 1); break; }
    case 2: { int16_t x = static_cast<int16_t>(n); std::memcpy(o.out, &x, 2); break; }
    case 4: { int32_t x = static_cast<int32_t>(n); std::memcpy(o.out, &x, 4); break; }
    case 8: std::memcpy(o.out, &n, 8); break;
    default: throw MakeError(932, "NUMBER", "INTEGER");
  }
  if (o.len) *o.len = static_cast<ub2>(cap);
}

// SQLT_FLT: a float or a double, as the buffer's size says.
void WriteFloat(const Cell& c, Dest& o) {
  double v;
  if (!CellNumber(c, &v)) throw MakeError(1722);
  if (o.cap == 4) { float f = static_cast<float>(v); std::memcpy(o.out, &f, 4); }
  else if (o.cap == 8) std::memcpy(o.out, &v, 8);
  else throw MakeError(932, "NUMBER", "FLOAT");
  if (o.len) *o.len = static_cast<ub2>(o.cap);
}

// SQLT_BFLOAT, IBFLOAT, BDOUBLE and IBDOUBLE: the type, not the size, decides.
void WriteBinaryFloat(const Cell& c, Dest& o) {
  double v;
  if (!CellNumber(c, &v)) throw MakeError(1722);
  const bool single = o.t.dty == SQLT_BFLOAT || o.t.dty == SQLT_IBFLOAT;
  if (o.cap < (single ? 4u : 8u)) throw MakeError(1406);
  if (single) { float f = static_cast<float>(v); std::memcpy(o.out, &f, 4); }
  else std::memcpy(o.out, &v, 8);
  if (o.len) *o.len = single ? 4 : 8;
}

// SQLT_NUM and VNU (the same bytes after a length byte).
void WriteOraNumber(const Cell& c, Dest& o) {
  unsigned char bytes[21];
  size_t n = 0;
  if (c.type == SQLITE_INTEGER) n = EncodeOraNumber(static_cast<int64_t>(c.i), bytes);
  else if (c.type == SQLITE_FLOAT) n = EncodeOraNumber(c.d, bytes);
  else if (double v; ParseNumber(std::string_view(c.p, c.n), &v)) n = EncodeOraNumber(std::string_view(c.p, c.n), bytes);
  if (n == 0) throw MakeError(1722);
  const bool vnu = o.t.dty == SQLT_VNU;
  const size_t need = vnu ? n + 1 : n;
  if (o.cap < need) throw MakeError(1406);
  if (vnu) o.out[0] = static_cast<char>(n);
  std::memcpy(o.out + (vnu ? 1 : 0), bytes, n);
  if (o.len) *o.len = static_cast<ub2>(need);
}

// SQLT_DAT: the 7-byte DATE.
void WriteOraDate(const Cell& c, Dest& o, Connection& conn) {
  DateParts d;
  if (c.type != SQLITE_TEXT || !ParseStoredDate(std::string_view(c.p, c.n), &d)) {
    if (c.type == SQLITE_TEXT) {
      d = ParseDate(std::string_view(c.p, c.n), conn.nls_date_format());
    } else {
      throw MakeError(932, "DATE", "NUMBER");
    }
  }
  if (o.cap < 7) throw MakeError(1406);
  EncodeOracleDate(d, reinterpret_cast<unsigned char*>(o.out));
  if (o.len) *o.len = 7;
}

// SQLT_ODT: the client's OCIDate struct.
void WriteOciDate(const Cell& c, Dest& o, Connection& conn) {
  DateParts d;
  unsigned fsec;
  CellDate(c, conn, &d, &fsec);
  if (o.cap < sizeof(OCIDate)) throw MakeError(1406);
  OCIDate od{};
  od.OCIDateYYYY = static_cast<sb2>(d.year);
  od.OCIDateMM = static_cast<ub1>(d.month);
  od.OCIDateDD = static_cast<ub1>(d.day);
  od.OCIDateTime.OCITimeHH = static_cast<ub1>(d.hour);
  od.OCIDateTime.OCITimeMI = static_cast<ub1>(d.minute);
  od.OCIDateTime.OCITimeSS = static_cast<ub1>(d.second);
  std::memcpy(o.out, &od, sizeof od);
  if (o.len) *o.len = sizeof od;
}

// SQLT_TIMESTAMP, TIMESTAMP_TZ, TIMESTAMP_LTZ and DATE: into the client's OCIDateTime.
void WriteDateTime(const Cell& c, Dest& o, Connection& conn) {
  DateParts d;
  unsigned fsec;
  CellDate(c, conn, &d, &fsec);
  DateTimeDesc* desc = DateTimeAt(o.out);
  desc->d = d;
  desc->fsec = desc->type == OCI_DTYPE_DATE ? 0 : fsec;
  // Values are held in the session's time zone.
  desc->tz_minutes = LocalOffsetMinutes(d);
  desc->set = true;
  if (o.len) *o.len = sizeof(void*);
}

// SQLT_LVC and LVB: a four-byte length, then the value.
void WriteLongVar(const Cell& c, ub2 ora_type, Dest& o, Connection& conn) {
  const ub2 dty = o.t.dty;
  if (o.cap < 4) throw MakeError(1406);
  std::string value = c.type == SQLITE_BLOB || dty == SQLT_LVB ? std::string(c.p ? c.p : "", c.p ? c.n : 0)
                      : c.type == SQLITE_TEXT ? std::string(c.p, c.n) : CellText(c, ora_type, conn);
  if (dty == SQLT_LVC && !IsUtf8Set(o.t.csid)) value = FromStore(value, o.t.csid);
  size_t n = std::min(value.size(), o.cap - 4);
  if (dty == SQLT_LVC && n < value.size() && o.unit == 2) n = WholePrefix(value, n, o.t.csid);
  const sb4 stored = static_cast<sb4>(n);
  std::memcpy(o.out, &stored, 4);
  std::memcpy(o.out + 4, value.data(), n);
  if (o.len) *o.len = static_cast<ub2>(std::min<size_t>(n + 4, 65535));
  if (n < value.size()) Truncated(o, value.size());
}

// SQLT_CLOB and BLOB: into the client's locator.
void WriteLob(const Cell& c, ub2 ora_type, Dest& o) {
  auto* lob = o.out ? *reinterpret_cast<LobDesc**>(o.out) : nullptr;
  if (!IsHandle(lob, OCI_DTYPE_LOB)) throw MakeError(600, "LOB locator");
  if (ora_type != SQLT_CLOB && ora_type != SQLT_BLOB) throw MakeError(932, o.t.dty == SQLT_CLOB ? "CLOB" : "BLOB", "CHAR");
  lob->data.assign(c.p ? c.p : "", c.p ? c.n : 0);
  lob->lob_type = static_cast<ub1>(ora_type);
  lob->init = true;
  lob->temporary = false;
  if (o.len) *o.len = sizeof(void*);
}

// SQLT_RDD: into the client's rowid descriptor.
void WriteRowid(const Cell& c, Dest& o) {
  RowidParts p;
  if (c.type != SQLITE_TEXT || !ParseRowid(std::string_view(c.p, c.n), &p)) throw MakeError(932, "ROWID", "CHAR");
  auto* desc = o.out ? *reinterpret_cast<RowidDesc**>(o.out) : nullptr;
  if (!IsHandle(desc, OCI_DTYPE_ROWID)) throw MakeError(600, "rowid descriptor");
  desc->parts = p;
  desc->set = true;
  if (o.len) *o.len = sizeof(void*);
}

}  // namespace

int WriteCell(const Cell& c, ub2 ora_type, const Target& t, ub4 i, Connection& conn) {
  sb2* ind = t.IndAt(i);
  ub2* len = t.LenAt(i);
  ub2* rcode = t.RcodeAt(i);
  if (rcode) *rcode = 0;
  if (c.type == SQLITE_NULL) {
    if (ind) *ind = -1;
    if (len) *len = 0;
    if (rcode) *rcode = 1405;
    return 0;
  }
  if (ind) *ind = 0;
  // A define without a buffer takes nothing: only its indicator and length speak.
  char* out = t.value ? t.ValueAt(i) : nullptr;
  size_t cap = out && t.size > 0 ? static_cast<size_t>(t.size) : 0;
  Dest o{t, out, cap, UnitBytes(t.csid), ind, len, rcode};
  switch (t.dty) {
    case SQLT_STR:
    case SQLT_CHR:
    case SQLT_LNG:
    case SQLT_AFC:
    case SQLT_AVC:
    case SQLT_RID: WriteText(c, ora_type, o, conn); break;
    case SQLT_BIN:
    case SQLT_LBI:
      StoreBytes(o, c.p ? c.p : "", c.type == SQLITE_TEXT || c.type == SQLITE_BLOB ? c.n : 0, false, false);
      if (c.type == SQLITE_INTEGER || c.type == SQLITE_FLOAT) throw MakeError(932, "BINARY", "NUMBER");
      break;
    case SQLT_INT:
    case SQLT_UIN: WriteInteger(c, o); break;
    case SQLT_FLT: WriteFloat(c, o); break;
    case SQLT_DAT: WriteOraDate(c, o, conn); break;
    case SQLT_NUM:
    case SQLT_VNU: WriteOraNumber(c, o); break;
    case SQLT_BFLOAT:
    case SQLT_IBFLOAT:
    case SQLT_BDOUBLE:
    case SQLT_IBDOUBLE: WriteBinaryFloat(c, o); break;
    case SQLT_ODT: WriteOciDate(c, o, conn); break;
    case SQLT_TIMESTAMP:
    case SQLT_TIMESTAMP_TZ:
    case SQLT_TIMESTAMP_LTZ:
    case SQLT_DATE: WriteDateTime(c, o, conn); break;
    case SQLT_LVC:
    case SQLT_LVB: WriteLongVar(c, ora_type, o, conn); break;
    case SQLT_CLOB:
    case SQLT_BLOB: WriteLob(c, ora_type, o); break;
    case SQLT_RDD: WriteRowid(c, o); break;
    default:
      throw MakeError(3001);
  }
  return o.result;
}

namespace {

// Text arrives in the bind's set; the store holds UTF-8.
void BindText(sqlite3_stmt* st, int idx, const char* p, size_t bytes, ub2 csid) {
  if (bytes == 0) {
    sqlite3_bind_null(st, idx);  // Oracle: the empty string is NULL
  } else if (IsUtf8Set(csid)) {
    sqlite3_bind_text(st, idx, p, static_cast<int>(bytes), SQLITE_TRANSIENT);
  } else {
    const std::string s = ToStore(p, bytes, csid);
    sqlite3_bind_text(st, idx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
  }
}

void BindStored(sqlite3_stmt* st, int idx, const std::string& s) {
  sqlite3_bind_text(st, idx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// Bytes before the first zero character (a zero unit in UTF-16).
size_t UpToZero(const char* p, size_t limit, size_t unit) {
  size_t k = 0;
  if (unit == 2) {
    while (k + 1 < limit && (p[k] || p[k + 1])) k += 2;
    return std::min(k, limit & ~size_t{1});
  }
  while (k < limit && p[k]) ++k;
  return k;
}

// SQLT_FLT: a float or a double, as the buffer's size says.
void BindFloat(sqlite3_stmt* st, int idx, const char* p, sb4 size) {
  double v;
  if (size == 4) { float f; std::memcpy(&f, p, 4); v = f; }
  else if (size == 8) std::memcpy(&v, p, 8);
  else throw MakeError(932, "NUMBER", "FLOAT");
  sqlite3_bind_double(st, idx, v);
}

// SQLT_BFLOAT, IBFLOAT, BDOUBLE and IBDOUBLE: the type decides; no infinities or NaNs.
void BindBinaryFloat(sqlite3_stmt* st, int idx, const char* p, ub2 dty) {
  double v;
  if (dty == SQLT_BFLOAT || dty == SQLT_IBFLOAT) { float f; std::memcpy(&f, p, 4); v = f; }
  else std::memcpy(&v, p, 8);
  if (!std::isfinite(v)) throw MakeError(1426);
  sqlite3_bind_double(st, idx, v);
}

// SQLT_NUM and VNU (the same bytes after a length byte).
void BindOraNumber(sqlite3_stmt* st, int idx, const char* p, size_t n, ub2 dty) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(p);
  size_t count = n;
  if (dty == SQLT_VNU) count = bytes[0], ++bytes;
  std::string number;
  if (count == 0) { sqlite3_bind_null(st, idx); return; }
  if (!DecodeOraNumber(bytes, count, &number)) throw MakeError(1722);
  // Whole numbers an integer holds stay integers; the rest as the store keeps them.
  char* end = nullptr;
  errno = 0;
  long long whole = std::strtoll(number.c_str(), &end, 10);
  if (*end == 0 && errno == 0) sqlite3_bind_int64(st, idx, whole);
  else sqlite3_bind_double(st, idx, std::strtod(number.c_str(), nullptr));
}

// SQLT_ODT: the client's OCIDate struct.
void BindOciDate(sqlite3_stmt* st, int idx, const char* p) {
  OCIDate od;
  std::memcpy(&od, p, sizeof od);
  DateParts d{od.OCIDateYYYY, od.OCIDateMM, od.OCIDateDD, od.OCIDateTime.OCITimeHH,
              od.OCIDateTime.OCITimeMI, od.OCIDateTime.OCITimeSS};
  ThrowIfInvalid(d);
  BindStored(st, idx, StoredDate(d));
}

// SQLT_TIMESTAMP, TIMESTAMP_TZ, TIMESTAMP_LTZ and DATE: the client's OCIDateTime.
void BindDateTime(sqlite3_stmt* st, int idx, const char* p) {
  const DateTimeDesc* desc = DateTimeAt(p);
  if (!desc->set) { sqlite3_bind_null(st, idx); return; }
  DateParts d = desc->d;
  // A zoned value goes into the session's time zone.
  if (desc->type == OCI_DTYPE_TIMESTAMP_TZ || desc->type == OCI_DTYPE_TIMESTAMP_LTZ)
    d = UtcToLocal(AddMinutes(d, -desc->tz_minutes));
  BindStored(st, idx, StoredTimestamp(d, desc->fsec));
}

// SQLT_LVC and LVB: a four-byte length, then the value.
void BindLongVar(sqlite3_stmt* st, int idx, const char* p, const Target& t) {
  sb4 stored = 0;
  std::memcpy(&stored, p, 4);
  const size_t room = t.size > 4 ? static_cast<size_t>(t.size) - 4 : 0;
  if (stored < 0 || static_cast<size_t>(stored) > room) throw MakeError(1460);
  p += 4;
  if (t.dty == SQLT_LVC) {
    BindText(st, idx, p, static_cast<size_t>(stored), t.csid);
  } else if (stored == 0) {
    sqlite3_bind_null(st, idx);
  } else {
    sqlite3_bind_blob(st, idx, p, stored, SQLITE_TRANSIENT);
  }
}

// SQLT_CLOB and BLOB: the client's locator.
void BindLob(sqlite3_stmt* st, int idx, const char* p) {
  const auto* lob = *reinterpret_cast<LobDesc* const*>(p);
  if (!IsHandle(lob, OCI_DTYPE_LOB)) throw MakeError(600, "LOB locator");
  // An empty LOB is held as NULL: the store has no empty value apart from it.
  if (!lob->init || lob->data.empty()) sqlite3_bind_null(st, idx);
  else if (lob->lob_type == SQLT_BLOB) sqlite3_bind_blob(st, idx, lob->data.data(), static_cast<int>(lob->data.size()), SQLITE_TRANSIENT);
  else sqlite3_bind_text(st, idx, lob->data.data(), static_cast<int>(lob->data.size()), SQLITE_TRANSIENT);
}

}  // namespace

void BindElement(sqlite3_stmt* st, int idx, const Target& t, ub4 i) {
  sb2* ind = t.IndAt(i);
  if (ind && *ind == -1) { sqlite3_bind_null(st, idx); return; }
  if (!t.value) { sqlite3_bind_null(st, idx); return; }
  const char* p = t.ValueAt(i);
  ub2* len = t.LenAt(i);
  size_t n = len ? *len : static_cast<size_t>(t.size > 0 ? t.size : 0);
  switch (t.dty) {
    case SQLT_STR: {
      size_t cap = t.size > 0 ? static_cast<size_t>(t.size) : 0;
      size_t k = UpToZero(p, cap, UnitBytes(t.csid));
      if (len && *len < k) k = *len;
      BindText(st, idx, p, k, t.csid);
      break;
    }
    case SQLT_CHR:
    case SQLT_LNG:
    case SQLT_AFC:
    case SQLT_AVC:
      if (t.dty == SQLT_AVC) n = UpToZero(p, n, UnitBytes(t.csid));
      BindText(st, idx, p, n, t.csid);
      break;
    case SQLT_BIN:
    case SQLT_LBI:
      if (n == 0) sqlite3_bind_null(st, idx);
      else sqlite3_bind_blob(st, idx, p, static_cast<int>(n), SQLITE_TRANSIENT);
      break;
    case SQLT_INT:
    case SQLT_UIN:
      sqlite3_bind_int64(st, idx, t.dty == SQLT_INT ? ReadInt<int8_t, int16_t, int32_t, int64_t>(p, t.size)
                                                    : ReadInt<uint8_t, uint16_t, uint32_t, uint64_t>(p, t.size));
      break;
    case SQLT_FLT: BindFloat(st, idx, p, t.size); break;
    case SQLT_DAT: {
      DateParts d;
      if (!DecodeOracleDate(reinterpret_cast<const unsigned char*>(p), &d)) throw MakeError(1843);
      BindStored(st, idx, StoredDate(d));
      break;
    }
    case SQLT_NUM:
    case SQLT_VNU: BindOraNumber(st, idx, p, n, t.dty); break;
    case SQLT_BFLOAT:
    case SQLT_IBFLOAT:
    case SQLT_BDOUBLE:
    case SQLT_IBDOUBLE: BindBinaryFloat(st, idx, p, t.dty); break;
    case SQLT_ODT: BindOciDate(st, idx, p); break;
    case SQLT_TIMESTAMP:
    case SQLT_TIMESTAMP_TZ:
    case SQLT_TIMESTAMP_LTZ:
    case SQLT_DATE: BindDateTime(st, idx, p); break;
    case SQLT_LVC:
    case SQLT_LVB: BindLongVar(st, idx, p, t); break;
    case SQLT_CLOB:
    case SQLT_BLOB: BindLob(st, idx, p); break;
    case SQLT_RDD: {
      auto* desc = *reinterpret_cast<RowidDesc* const*>(p);
      if (!IsHandle(desc, OCI_DTYPE_ROWID) || !desc->set) { sqlite3_bind_null(st, idx); break; }
      BindStored(st, idx, RowidText(desc->parts));
      break;
    }
    default:
      throw MakeError(3001);
  }
}

}  // namespace kavo::ocisqlite
