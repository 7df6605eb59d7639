// The change log of a record set with cached updates (or one that logs its
// changes after StartUpdates): one entry per changed record, with private
// copies of the record before and after the change, so that the record
// store can be emptied and refilled without losing them.
//
// Merging: a change to a record that has an entry updates it. An update
// after an insert or an update replaces the after-image; a delete after an
// insert removes the entry; a delete after an update drops the after-image
// and makes the entry a delete; other combinations leave it as it is.
// Inserted records keep their position in the store up to date: an insert
// moves the logged inserts at or after its position one place up, a delete
// (the record leaves the store) moves those after it one place down.
#ifndef KAVO_ORACLE_CHANGE_LOG_H_
#define KAVO_ORACLE_CHANGE_LOG_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "oracle/record_data.h"
#include "rtl/ustring.h"

namespace kavo {

class TOracleDataSet;

// A private copy of a record: the record's bytes with a ROWID copy and a
// blob list of its own. Empty: no record.
class TRecordCopy {
 public:
  TRecordCopy() = default;
  ~TRecordCopy() { Clear(); }
  TRecordCopy(const TRecordCopy&) = delete;
  TRecordCopy& operator=(const TRecordCopy&) = delete;

  // Copies `size` bytes of `record`, its ROWID and `blobs` (none: an empty list).
  void Assign(const uint8_t* record, size_t size, const TBlobList* blobs);
  void Clear();
  bool Empty() const { return bytes_.empty(); }
  void SetRowId(StringView rowid) { extras_.SetRowId(bytes_.data(), rowid); }
  TBlobList& Blobs() { return extras_.Blobs(bytes_.data()); }
  TRecordBuffer Data() { return bytes_.empty() ? nullptr : bytes_.data(); }
  const uint8_t* Data() const { return bytes_.empty() ? nullptr : bytes_.data(); }

 private:
  std::vector<uint8_t> bytes_;
  TRecordExtras extras_;
};

struct TChangeLogItem {
  TOracleDataSet* DataSet = nullptr;
  Char Action = u' ';  // 'I' insert, 'U' update, 'D' delete
  int RecordIndex = -1;
  TRecordCopy BeforeData;  // none for inserts
  TRecordCopy AfterData;   // none for deletes
  bool Applied = false;
  bool Visible = true;

  // The bookmark of BeforeData, else of AfterData, else -1; setting it sets
  // both.
  int32_t Bookmark() const;
  void SetBookmark(int32_t bookmark);
  // The ROWID of the row the entry changes (BeforeData's, else AfterData's).
  String RowId() const;
};

class TChangeLog {
 public:
  explicit TChangeLog(TOracleDataSet* dataset) : dataset_(dataset) {}

  int Count() const { return static_cast<int>(items_.size()); }
  bool Empty() const { return items_.empty(); }
  TChangeLogItem& Item(int index) { return *items_.at(static_cast<size_t>(index)); }
  TChangeLogItem* FindByBookmark(int32_t bookmark);
  // The entry of the row with that ROWID (an insert's once it is written).
  TChangeLogItem* FindByRowId(StringView rowid);
  // The logged copy whose bytes are `record`, or null.
  TRecordCopy* CopyAt(const uint8_t* record);

  // Logs a post ('I', 'U') or a delete ('D') of the record with `bookmark`
  // at `record_index` of the store: `before` is the stored record (with its
  // blobs), `after` the edited one; either may be null where the action has
  // none. `applied` is what a new entry's Applied becomes.
  void Log(Char action, int32_t bookmark, int record_index, const uint8_t* before,
           const TBlobList* before_blobs, const uint8_t* after, const TBlobList* after_blobs,
           size_t record_size, bool applied);
  void Remove(TChangeLogItem* item);
  void Clear() { items_.clear(); }
  // Logged inserts minus logged deletes.
  int NetInserts() const;

 private:
  void ShiftInserts(int from, int by, const TChangeLogItem* except);

  TOracleDataSet* dataset_;
  std::vector<std::unique_ptr<TChangeLogItem>> items_;
};

}  // namespace kavo

#endif  // KAVO_ORACLE_CHANGE_LOG_H_
