// The Firebird layer's named-parameter preprocessing and identifier
// normalisation.
// Input: one byte of switches (bit 0: generate names for unnamed markers,
// bit 1: dialect 1 instead of 3), then the SQL text (UTF-8).
#include <algorithm>

#include "fuzz_input.h"
#include "ib/ib_errors.h"
#include "ib/ib_sql_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t switches = data[0];
  kavo::String sql = kavo::Utf8ToString(
      std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  try {
    kavo::TProcessedSQL p = kavo::PreprocessSQL(sql, switches & 1);
    // Each marker leaves one "?" behind; literals and comments may hold more.
    FUZZ_CHECK(static_cast<size_t>(std::count(p.text.begin(), p.text.end(), u'?')) >=
               p.names.size());
    for (const kavo::String& name : p.names)
      kavo::FormatIdentifierValue(switches & 2 ? 1 : 3, name);
  } catch (const kavo::EIBClientError&) {
  }
  kavo::FormatIdentifierValue(switches & 2 ? 1 : 3, sql);
  return 0;
}
