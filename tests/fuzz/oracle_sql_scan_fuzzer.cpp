// The Oracle layer's SQL scanning: bind variables and comment removal.
// Input: one byte of switches (bit 0: duplicates allowed, bit 1: hints
// kept), then the SQL text (UTF-8).
#include "fuzz_input.h"
#include "oracle/sql_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t switches = data[0];
  kavo::String sql = kavo::Utf8ToString(
      std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));

  for (const kavo::TFoundVariable& v : kavo::FindVariables(sql, switches & 1)) {
    // Every variable points at its colon and is named.
    FUZZ_CHECK(v.position >= 1 && static_cast<size_t>(v.position) <= sql.size());
    FUZZ_CHECK(sql[v.position - 1] == u':');
    FUZZ_CHECK(!v.name.empty());
  }
  kavo::String bare = kavo::RemoveSQLComment(sql, switches & 2);
  FUZZ_CHECK(bare.size() <= sql.size());
  return 0;
}
