// RowWriter: builds and runs one record's change (insert, modify, delete)
// or re-read (refresh) through the record set's update statements, whose
// parameters it fills from the record by name: OLD_ takes the row as it was
// before the change, NEW_ (or no prefix) the current values,
// IB_INTERNAL_DBKEY the row's database key; a name that matches no select
// column keeps its value. It owns the four statements.
#ifndef KAVO_IB_IB_ROW_WRITER_H_
#define KAVO_IB_IB_ROW_WRITER_H_

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "ib/ib_row_reader.h"
#include "ib/ib_row_store.h"
#include "ib/ib_sql.h"

namespace kavo {

enum TUpdateKind { ukModify, ukInsert, ukDelete };

namespace ib_engine {

// What running one record's statement came to.
struct RowWriteResult {
  // Rows the statement changed; -1 when not asked yet: an insert's count
  // is asked of `count_from` only when someone wants it.
  int rows_affected = -1;
  TIBSQL* count_from = nullptr;
  // A re-read found its row.
  bool found = false;
};

class RowWriter {
 public:
  // What fills one parameter of a statement.
  struct ParamSource {
    int column = -1;  // select column, -1: leave the parameter as it is
    bool old = false;
    bool db_key = false;
  };
  using ParamSources = std::vector<ParamSource>;

  RowWriter(TIBSQL& select, const RowStore& store, const RowReader& reader);

  TIBSQL& Statement(TUpdateKind kind) { return *statements_[Index(kind)]; }
  TIBSQL& RefreshStatement() { return *statements_[kRefresh]; }
  std::array<TIBSQL*, 4> Statements() const;
  // The statements or the select changed: sources are worked out again.
  void ForgetSources() { built_.fill(false); }

  // Works out the sources of `q`'s parameters against the select's columns.
  ParamSources SourcesOf(TIBSQL& q) const;
  // Fills `q`'s parameters from `record`, the OLD_ ones from `old`.
  void FillParams(TIBSQL& q, const ParamSources& sources, uint8_t* record, uint8_t* old) const;
  // Runs the statement of `kind` for `record`.
  RowWriteResult Write(TUpdateKind kind, uint8_t* record, uint8_t* old);
  // Re-reads `record` through `q` (the refresh statement when null).
  RowWriteResult Reread(TIBSQL* q, uint8_t* record, uint8_t* old);

 private:
  enum { kInsert, kModify, kDelete, kRefresh };
  static int Index(TUpdateKind kind) {
    return kind == ukInsert ? kInsert : kind == ukModify ? kModify : kDelete;
  }
  const ParamSources& CachedSources(int index);

  TIBSQL& select_;
  const RowStore& store_;
  const RowReader& reader_;
  std::array<std::unique_ptr<TIBSQL>, 4> statements_;
  std::array<ParamSources, 4> sources_;
  std::array<bool, 4> built_{};
};

}  // namespace ib_engine

}  // namespace kavo

#endif  // KAVO_IB_IB_ROW_WRITER_H_
