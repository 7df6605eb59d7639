// TIBCustomDataSet: searching the records by field values.
#include <cstring>

#include "ib/ib_dataset.h"
#include "recordset/database_error.h"

namespace kavo {

OraVariant TIBCustomDataSet::StoredValue(TField* field, int position) {
  search_record_ = store_.At(position);
  struct Restore {
    uint8_t*& record;
    ~Restore() { record = nullptr; }
  } restore{search_record_};
  if (field->IsNull()) return OraVariant::Null();
  switch (field->DataType()) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftFixedWideChar:
    case ftMemo:
    case ftWideMemo: return OraVariant(field->AsString());
    case ftBlob: return field->AsVariant();
    case ftDate:
    case ftTime:
    case ftDateTime:
    case ftTimeStamp: return OraVariant::Date(field->AsDateTime());
    // Numbers by kind (exact decimals exact), and booleans.
    default: return field->AsVariant();
  }
}

int TIBCustomDataSet::FindRecord(const String& fields, const std::vector<OraVariant>& values,
                                 unsigned options) {
  CheckActive();
  std::vector<String> names = SplitFieldNames(fields);
  if (names.size() != values.size())
    DatabaseError(u"Number of key fields and values do not match", this);
  std::vector<TField*> keys;
  for (const String& name : names) keys.push_back(&FieldByName(name));
  for (int position = 0;; ++position) {
    if (position >= store_.Count() && !FetchRow()) return -1;
    if (!Visible(position)) continue;
    bool match = true;
    for (size_t i = 0; match && i < keys.size(); ++i)
      match = KeyValueMatches(StoredValue(keys[i], position), values[i],
                              (options & loCaseInsensitive) != 0, (options & loPartialKey) != 0);
    if (match) return position;
  }
}

bool TIBCustomDataSet::Locate(const String& fields, const std::vector<OraVariant>& values,
                              unsigned options) {
  CheckBrowseMode();
  int position = FindRecord(fields, values, options);
  if (position < 0) return false;
  TBookmark bookmark(sizeof(int32_t));
  std::memcpy(bookmark.data(), &position, sizeof position);
  GotoBookmark(bookmark);
  return true;
}

OraVariant TIBCustomDataSet::Lookup(const String& fields, const std::vector<OraVariant>& values,
                                    const String& result_fields) {
  CheckBrowseMode();
  int position = FindRecord(fields, values, 0);
  if (position < 0) return OraVariant();
  std::vector<OraVariant> result;
  for (const String& name : SplitFieldNames(result_fields))
    result.push_back(StoredValue(&FieldByName(name), position));
  if (result.size() == 1) return result[0];
  return OraVariant::Array(std::move(result));
}

}  // namespace kavo
