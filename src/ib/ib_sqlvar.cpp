#include "ib/ib_sqlvar.h"

#include <algorithm>
#include <cstring>

#include "ib/ib_errors.h"

namespace kavo {

namespace {

std::string FixedText(const char* p, short len, size_t capacity) {
  size_t n = std::clamp<long>(len, 0, static_cast<long>(capacity));
  return std::string(p, n);
}

template <size_t N>
void SetFixedText(char (&dest)[N], short& length, const std::string& name) {
  size_t n = std::min(name.size(), N);
  std::memset(dest, 0, N);
  std::memcpy(dest, name.data(), n);
  length = static_cast<short>(n);
}

}  // namespace

short TSQLVAR::DerivedPrecision(short sqltype) {
  switch (sqltype & ~1) {
    case SQL_LONG: return 9;
    case SQL_SHORT: return 4;
    case SQL_INT64: return 18;
    default: return 0;
  }
}

void TSQLVAR_V1::SetSqlPrecision(short) { IBError(ibceNotSupported); }

std::string TSQLVAR_V1::Text(const char* p, short len) { return FixedText(p, len, 32); }

void TSQLVAR_V1::SetAliasName(const std::string& name) {
  SetFixedText(V()->aliasname, V()->aliasname_length, name);
}

std::string TSQLVAR_V2::SqlName() const { return FixedText(V()->sqlname, V()->sqlname_length, 68); }
std::string TSQLVAR_V2::RelName() const { return FixedText(V()->relname, V()->relname_length, 68); }
std::string TSQLVAR_V2::OwnName() const { return FixedText(V()->ownname, V()->ownname_length, 68); }
std::string TSQLVAR_V2::AliasName() const {
  return FixedText(V()->aliasname, V()->aliasname_length, 68);
}
void TSQLVAR_V2::SetAliasName(const std::string& name) {
  SetFixedText(V()->aliasname, V()->aliasname_length, name);
}

}  // namespace kavo
