// RowReader: turns the main statement's current row into a stored record of
// the Oracle record set. It owns the fetch cursor's progress (first fetch,
// rows remaining) and hands the change log, the filter and the dictionary a
// say through hooks, null while not in use, so that the fetch loop itself
// knows nothing of cached updates, filters or dictionary options.
#ifndef KAVO_ORACLE_ROW_READER_H_
#define KAVO_ORACLE_ROW_READER_H_

#include <cstddef>
#include <string>

#include "oracle/dictionary_hook.h"
#include "oracle/record_data.h"
#include "rtl/ustring.h"

namespace kavo {

class TOracleDataSet;
class TOracleQuery;
class TOracleSession;
struct TChangeLogItem;
struct TOracleFieldInfo;
struct TFieldData;

namespace oracle_engine {

// A LONG or CLOB column's text as a memo holds it (a LONG's line ends as
// the session writes them).
String FetchedColumnText(TOracleQuery& q, int column, const TOracleFieldInfo& info,
                         const TOracleSession* session);

class RowReader {
 public:
  // What the change log says about the rows read; installed only while
  // updates are cached.
  class LogHook {
   public:
    virtual ~LogHook() = default;
    // A logged insert due before the next row (after the last with
    // `leftover`), made a record again; null when none.
    virtual TRecordBuffer Interpose(bool leftover) = 0;
    // The entry of the row with this ROWID, or null; it becomes visible.
    virtual TChangeLogItem* Entry(const char* rowid, size_t length) = 0;
  };

  // Whether a record read passes the record set's filter; one that does
  // joins the filtered list. Installed only while filtered.
  class FilterHook {
   public:
    virtual ~FilterHook() = default;
    virtual bool Accept(TRecordBuffer record) = 0;
  };

  explicit RowReader(TOracleDataSet& dataset) : ds_(dataset) {}

  // After the statement ran: the next fetch takes its first row.
  void Start() {
    first_fetch_ = true;
    rows_remain_ = true;
  }
  void Stop() { rows_remain_ = false; }
  bool RowsRemain() const { return rows_remain_; }
  void SetLogHook(LogHook* hook) { log_hook_ = hook; }
  void SetFilterHook(FilterHook* hook) { filter_hook_ = hook; }
  void SetDictionaryHook(DictionaryHook* hook) { dictionary_hook_ = hook; }

  // Whether a record read is one the record set shows.
  bool Accepts(TRecordBuffer record) {
    return filter_hook_ == nullptr || filter_hook_->Accept(record);
  }
  // Whether the field described for a column is required.
  bool Required(bool optional_column) {
    return dictionary_hook_ != nullptr && dictionary_hook_->Required(optional_column);
  }

  // The next record: a logged insert due now, else the next row of the
  // statement read into a new stored record; null when both are exhausted.
  TRecordBuffer Next();
  // Writes every field of `record` from the statement's current row.
  void Read(TRecordBuffer record);

 private:
  struct FetchedText;
  TRecordBuffer NextRow();
  void ReadUtf16(TRecordBuffer record, const RecordSlot& slot, FetchedText& in, bool trim);
  void PlaceBytes(TRecordBuffer record, const RecordSlot& slot, const FetchedText& in,
                  std::string out, const std::string& code_page, bool lossy, bool trim);
  void ReadLong(TRecordBuffer record, const RecordSlot& slot);
  void ReadDate(uint8_t* value, const RecordSlot& slot, const uint8_t* src);
  void ReadText(TRecordBuffer record, const RecordSlot& slot, const TFieldData& column,
                int element);
  void ReadConvertedText(TRecordBuffer record, const RecordSlot& slot, const char* p, size_t n);
  void ReadPlainText(TRecordBuffer record, const RecordSlot& slot, const char* p, size_t n);

  TOracleDataSet& ds_;
  LogHook* log_hook_ = nullptr;
  FilterHook* filter_hook_ = nullptr;
  DictionaryHook* dictionary_hook_ = nullptr;
  bool first_fetch_ = false;
  bool rows_remain_ = false;
  bool trim_ = true;  // the session's TrimStringFields, asked once a row
};

}  // namespace oracle_engine

}  // namespace kavo

#endif  // KAVO_ORACLE_ROW_READER_H_
