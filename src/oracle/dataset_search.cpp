// TOracleDataSet: searching the records by field values.
#include <cstring>

#include "oracle/dataset_messages.h"
#include "oracle/oracle_dataset.h"
#include "recordset/database_error.h"
#include "recordset/locate_keys.h"
#include "rtl/format.h"

namespace kavo {

namespace {

bool ValidOptions(unsigned o) {
  auto count = [](unsigned bits) { return __builtin_popcount(bits); };
  if (count(o & (srForward | srBackward)) > 1) return false;
  if (count(o & (srFromCurrent | srFromBeginning | srFromEnd)) > 1) return false;
  // Forward from the end or backward from the beginning finds nothing ever.
  if ((o & srForward) && (o & srFromEnd)) return false;
  if ((o & srBackward) && (o & srFromBeginning)) return false;
  return true;
}

}  // namespace

bool TOracleDataSet::RecordMatches(const uint8_t* record, const std::vector<const Slot*>& slots,
                                   const std::vector<OraVariant>& values, unsigned options) const {
  for (size_t i = 0; i < slots.size(); ++i) {
    OraVariant have = slots[i] == nullptr ? OraVariant(RecordRowId(record)) : ValueIn(record, *slots[i]);
    if (!KeyValueMatches(have, values[i], (options & srIgnoreCase) != 0,
                         (options & srPartialMatch) != 0))
      return false;
  }
  return true;
}

int TOracleDataSet::FindRecord(const String& fields, const std::vector<OraVariant>& values,
                               unsigned options) {
  CheckActive();
  std::vector<String> names = SplitFieldNames(fields);
  if (names.size() != values.size())
    throw Exception(Name() + u".SearchRecord: number of fields and values do not match");
  if (!ValidOptions(options)) throw Exception(Name() + u".SearchRecord options invalid");
  std::vector<const Slot*> slots;
  for (const String& name : names) {
    if (SameText(name, u"ROWID") && FindField(name) == nullptr) {
      if (rowid_index_ < 0) throw Exception(SSearchRowId);
      slots.push_back(nullptr);
      continue;
    }
    const Slot* s = SlotOf(&FieldByName(name));
    if (s == nullptr) DatabaseError(Format(SFieldNotFound, {name}), this);
    slots.push_back(s);
  }
  bool backward = (options & srBackward) != 0;
  int index;
  if (options & srFromCurrent) {
    index = RecNo() - 1 + (backward ? -1 : 1);
  } else if (backward || (options & srFromEnd)) {
    FetchAll();
    index = store_->RecordCount() - 1;
  } else {
    index = store_->BlockOffset();
  }
  for (;;) {
    if (index < store_->BlockOffset()) return -1;
    if (index >= store_->RecordCount()) {
      if (backward || !QueryRecord()) return -1;
      continue;
    }
    if (RecordMatches(store_->View(index, probe_), slots, values, options)) return index;
    index += backward ? -1 : 1;
  }
}

bool TOracleDataSet::SearchRecord(const String& fields, const std::vector<OraVariant>& values,
                                  unsigned options) {
  CheckBrowseMode();
  int index = FindRecord(fields, values, options);
  if (index < 0) return false;
  TBookmark bookmark(sizeof(int32_t));
  int32_t b = Header(store_->PeekAt(index)).Bookmark;
  std::memcpy(bookmark.data(), &b, sizeof b);
  GotoBookmark(bookmark);
  return true;
}

bool TOracleDataSet::Locate(const String& fields, const std::vector<OraVariant>& values,
                            unsigned options) {
  unsigned search = srForward | srFromBeginning;
  if (options & loCaseInsensitive) search |= srIgnoreCase;
  if (options & loPartialKey) search |= srPartialMatch;
  return SearchRecord(fields, values, search);
}

OraVariant TOracleDataSet::Lookup(const String& fields, const std::vector<OraVariant>& values,
                                  const String& result_fields) {
  CheckBrowseMode();
  int index = FindRecord(fields, values, srForward | srFromBeginning);
  if (index < 0) return OraVariant();
  const uint8_t* record = store_->View(index, probe_);
  std::vector<OraVariant> result;
  for (const String& name : SplitFieldNames(result_fields)) {
    if (SameText(name, u"ROWID") && FindField(name) == nullptr) {
      result.push_back(OraVariant(RecordRowId(record)));
      continue;
    }
    const Slot* s = SlotOf(&FieldByName(name));
    result.push_back(s == nullptr ? OraVariant() : ValueIn(record, *s));
  }
  if (result.size() == 1) return result[0];
  return OraVariant::Array(std::move(result));
}

}  // namespace kavo
