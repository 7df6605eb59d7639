// RowWriter: builds and runs one record's lock, check, refresh, write or
// delete against the Oracle record set's updating table, inside the
// record set's savepoint, and answers with a RowWriteResult. The dictionary
// options have their say around a post through a hook, null while unused.
#ifndef KAVO_ORACLE_ROW_WRITER_H_
#define KAVO_ORACLE_ROW_WRITER_H_

#include <optional>
#include <vector>

#include "oracle/dictionary_hook.h"
#include "oracle/record_data.h"
#include "rtl/ustring.h"

namespace kavo {

class TOracleDataSet;
class TOracleQuery;
struct TChangeLogItem;

namespace oracle_engine {

// What reading the stored row back is for.
struct RowFetch {
  bool lock = false;        // select ... for update nowait, inside the savepoint
  bool check = false;       // the row must still hold the record's values
  bool refresh = false;     // the record takes the row's values
  bool all_fields = false;  // refresh through the record set's own select
};

struct RowWriteResult {
  bool sent = false;             // a statement or an OnApplyRecord handler did the work
  bool refreshed = false;        // the stored record took changed values from the row
  std::optional<String> rowid;   // the written row's ROWID, when it is known
};

}  // namespace oracle_engine

// Appends a line of a generated statement and its line break.
void AddSqlLine(String& text, StringView line);

namespace oracle_engine {

class RowWriter {
 public:
  explicit RowWriter(TOracleDataSet& dataset) : ds_(dataset) {}

  void SetDictionaryHook(DictionaryHook* hook) { dictionary_hook_ = hook; }
  // A record being inserted, a record about to be posted, a field of the
  // edited record just written: what the dictionary options ask for.
  void NewRecord() {
    if (dictionary_hook_ != nullptr) dictionary_hook_->NewRecord();
  }
  void Posting() {
    if (dictionary_hook_ != nullptr) dictionary_hook_->Posting();
  }
  void FieldWritten(TField* field, const uint8_t* record) {
    if (dictionary_hook_ != nullptr) dictionary_hook_->FieldWritten(field, record);
  }

  // Locks, checks and/or refreshes the row of `record` (none: the current).
  RowWriteResult Fetch(RowFetch what, TRecordBuffer record);
  // Writes `edit` over `stored` (null for an insert); `applying` is the log
  // entry being applied, else null.
  RowWriteResult Write(bool inserting, TRecordBuffer edit, TRecordBuffer stored,
                       const TChangeLogItem* applying);
  // Deletes the row of `stored`.
  RowWriteResult Delete(TRecordBuffer stored, bool applying);

 private:
  // The statement that reads the row back.
  String FetchSQL(TOracleQuery& q, const RowFetch& what);
  // row_check.cpp: whether the row read back differs from `record` in a
  // value the record set read; a refresh stores the values that differ and
  // answers whether any did.
  bool RecordChanged(TOracleQuery& q, const uint8_t* record);
  bool SameValue(const uint8_t* record, const RecordSlot& slot, TOracleQuery& q, int column);
  // Plain ASCII texts on both sides compare as bytes; none when either is not.
  std::optional<bool> SamePlainText(const uint8_t* record, const RecordSlot& slot,
                                    TOracleQuery& q, int column, const TOracleBlob* kept);
  bool StoreRefreshedRow(TOracleQuery& q, TRecordBuffer record);
  std::vector<const RecordSlot*> ColumnsToWrite(bool inserting, const uint8_t* edit,
                                                const uint8_t* stored);
  void SendWrite(bool inserting, const std::vector<const RecordSlot*>& written,
                 TRecordBuffer edit, TRecordBuffer stored, RowWriteResult& result);

  TOracleDataSet& ds_;
  DictionaryHook* dictionary_hook_ = nullptr;
};

}  // namespace oracle_engine

}  // namespace kavo

#endif  // KAVO_ORACLE_ROW_WRITER_H_
