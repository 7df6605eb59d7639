// The record set's reading of its select statement: the where clause and
// tail it rewrites, and the table and alias its changes go to.
// Input: one byte of switches (bit 0: optimizer hints kept), then the SQL
// text (UTF-8).
#include "fuzz_input.h"
#include "oracle/select_analysis.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  kavo::String sql = kavo::Utf8ToString(
      std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  kavo::TSelectParts parts = kavo::SplitSelect(sql, data[0] & 1);
  FUZZ_CHECK(parts.HasWhere || parts.WhereClause.empty());
  kavo::String table = kavo::UpdatingTableFromSQL(sql);
  kavo::UpdatingAliasFromSQL(sql, table);
  kavo::NormaliseTableName(table);
  return 0;
}
