// The descriptor areas of a statement: its parameters and its result row.
//
// TIBXSQLDA owns one block of memory in the API's XSQLDA layout and one
// TIBXSQLVAR per entry. Both only grow. A TIBXSQLVAR converts between the
// program's values and the server's forms; assigning a value writes it into
// every entry of the area with the same name, in the value's native type (the
// server converts to the declared one).
#ifndef KAVO_IB_IB_XSQLDA_H_
#define KAVO_IB_IB_XSQLDA_H_

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ib/ib_header.h"
#include "ib/ib_sqlvar.h"
#include "recordset/variant.h"
#include "rtl/bcd.h"
#include "rtl/datetime.h"
#include "rtl/ustring.h"

namespace kavo {

class TIBSQL;
class TIBXSQLDA;

class TIBXSQLVAR {
 public:
  TIBXSQLVAR(TIBXSQLDA* parent, std::unique_ptr<TSQLVAR> sqlvar);

  int Index() const { return index_; }
  const String& Name() const { return name_; }
  bool Modified() const { return modified_; }
  int MaxLen() const { return max_len_; }

  // The entry as described, then as assigned.
  short SQLType() const { return sqlvar_->SqlType() & ~1; }
  short SQLScale() const { return sqlvar_->SqlScale(); }
  short SQLSubtype() const { return sqlvar_->SqlSubtype(); }
  short SQLPrecision() const { return sqlvar_->SqlPrecision(); }
  int Size() const { return sqlvar_->SqlLen(); }
  bool IsNullable() const { return (sqlvar_->SqlType() & 1) != 0; }
  String SqlName() const;
  String RelName() const;
  String AliasName() const;
  TSQLVAR& Data() { return *sqlvar_; }
  const TSQLVAR& Data() const { return *sqlvar_; }

  // --- reading ---
  bool IsNull() const;
  String AsString() const;
  int32_t AsInteger() const { return static_cast<int32_t>(AsInt64()); }
  int32_t AsLong() const { return AsInteger(); }
  int16_t AsShort() const { return static_cast<int16_t>(AsInt64()); }
  int64_t AsInt64() const;
  double AsDouble() const;
  float AsFloat() const { return static_cast<float>(AsDouble()); }
  // Ten-thousandths, the currency form of scaled numbers.
  int64_t AsCurrency() const;
  TDateTime AsDateTime() const;
  bool AsBoolean() const;
  ISC_QUAD AsQuad() const;
  // The raw bytes of the value (blob contents for blobs).
  std::string AsBytes() const;
  // Of a text entry's character set, in the numbering of the loaded client.
  int BytesPerCharacter() const;

  // --- writing ---
  void SetIsNull(bool value);
  void Clear() { SetIsNull(true); }
  void SetAsString(StringView value);
  void SetAsInteger(int32_t value);
  void SetAsLong(int32_t value) { SetAsInteger(value); }
  void SetAsShort(int16_t value);
  void SetAsInt64(int64_t value);
  void SetAsCurrency(int64_t ten_thousandths);
  // A 64-bit integer scaled by the number's own places (fewer when trailing
  // zeros must go for it to fit); "Invalid data conversion" beyond 64 bits.
  void SetAsBCD(const TBcd& value);
  // Raw bytes: a new blob for a blob entry, else text the server takes as
  // it is (no character set conversion on the program's side).
  void SetAsBytes(std::string_view bytes);
  // By the value's kind: empty and null set NULL, then as AsInteger,
  // AsDouble, AsDateTime, AsString, AsBoolean or AsBytes; an array of values
  // raises ibceNotSupported.
  void SetAsVariant(const OraVariant& value);
  void SetAsDouble(double value);
  void SetAsFloat(float value);
  void SetAsDateTime(TDateTime value);
  void SetAsDate(TDateTime value);
  void SetAsTime(TDateTime value);
  // The server's own forms, to the ten-thousandth of a second: a value read
  // from the server goes back as it was, fractions included.
  void SetAsServerTimeStamp(const ISC_TIMESTAMP& value);
  void SetAsServerTime(ISC_TIME value);
  void SetAsServerDate(ISC_DATE value);
  void SetAsBoolean(bool value);
  void SetAsQuad(const ISC_QUAD& value);

 private:
  friend class TIBXSQLDA;

  // Called by the area after a describe.
  void Initialize();
  void Reset(void* entry);
  void SetData(short sqltype, short scale, const void* bytes, size_t size);
  template <typename T>
  void SetFixed(short sqltype, const T& value);
  void AllocData(size_t size);
  void SetIndicator(bool nullable);
  void StoreText(std::string_view bytes);
  // Writes `bytes` into a new blob of the statement's transaction.
  ISC_QUAD CreateBlob(std::string_view bytes);
  // The unscaled value of an integer entry; false for other types.
  bool RawInteger(int64_t& raw) const;
  void CheckNotUnknown() const;
  std::string EncodeForConnection(StringView text) const;
  void EncodeForConnection(StringView text, std::string& out) const;
  String DecodeFromConnection(std::string_view bytes) const;
  template <typename F>
  void ForEachSameName(F&& f);

  TIBXSQLDA* parent_;
  std::unique_ptr<TSQLVAR> sqlvar_;
  int index_ = 0;
  String name_;
  int max_len_ = 0;
  short described_type_ = 0;
  bool modified_ = false;
  std::vector<char> data_;
  std::vector<char> spare_;  // the next text's buffer, swapped with data_
  short indicator_ = 0;
};

class TIBXSQLDA {
 public:
  // `input`: the parameter area (names come from the parser).
  TIBXSQLDA(TIBSQL* sql, bool input);
  ~TIBXSQLDA();
  TIBXSQLDA(const TIBXSQLDA&) = delete;
  TIBXSQLDA& operator=(const TIBXSQLDA&) = delete;

  int Count() const { return count_; }
  // Grows the block and the entry objects as needed; clears the names.
  void SetCount(int count);
  TIBXSQLVAR& operator[](int index) {
    if (index < 0 || index >= count_) IndexOutOfRange();
    return *vars_[static_cast<size_t>(index)];
  }
  TIBXSQLVAR& Vars(int index) { return (*this)[index]; }
  // Null when no entry has the (normalised) name. Parameters are mostly set
  // in the order of the text, row after row: the entry after the last one
  // found is tried first, with the name as it is spelled when that entry's
  // name normalises to itself (then so does the spelling). A name that
  // several entries share is always found at its first entry.
  TIBXSQLVAR* ByName(StringView name) {
    const int next = next_lookup_ < count_ ? next_lookup_ : 0;
    if (next < count_ && normal_[next] && SameName(names_[next], name) && !HasSharedNames()) {
      next_lookup_ = next + 1;
      return vars_[next].get();
    }
    return SearchName(name);
  }
  const std::vector<String>& Names() const { return names_; }
  // Normalises and stores the name of entry `index`.
  void AddName(const String& name, int index);
  // Whether two entries share a name (a value then goes to each of them).
  bool HasSharedNames() const {
    if (shared_names_ < 0) FindSharedNames();
    return shared_names_ == 1;
  }
  const String& UniqueRelationName() const { return unique_relation_name_; }

  // After a describe: names (result rows), lengths, data buffers.
  void Initialize();

  XSQLDA* AsXSQLDA() { return reinterpret_cast<XSQLDA*>(block_.data()); }
  short Sqld() const;
  short Sqln() const;
  TIBSQL* SQL() const { return sql_; }
  // Where a text value is encoded before it is stored into its entries.
  std::string& TextScratch() { return text_scratch_; }
  bool IsInput() const { return input_; }

 private:
  std::unique_ptr<TSQLVAR> NewSQLVAR() const;
  void FindSharedNames() const;
  TIBXSQLVAR* SearchName(StringView name);
  [[noreturn]] static void IndexOutOfRange();
  static bool SameName(const String& stored, StringView name) {
    return stored.size() == name.size() &&
           std::memcmp(stored.data(), name.data(), name.size() * sizeof(Char)) == 0;
  }
  size_t HeaderSize() const;

  TIBSQL* sql_;
  bool input_;
  int count_ = 0;
  int size_ = 0;
  std::vector<std::max_align_t> block_;
  std::vector<std::unique_ptr<TIBXSQLVAR>> vars_;
  std::vector<String> names_;
  mutable int shared_names_ = -1;  // HasSharedNames, -1 until asked
  int next_lookup_ = 0;            // where ByName looks first: after the last one found
  std::vector<char> normal_;       // per entry: its name normalises to itself
  String unique_relation_name_;
  std::string text_scratch_;
};

}  // namespace kavo

#endif  // KAVO_IB_IB_XSQLDA_H_
