// TField: one typed column of a record set's current record.
//
// A field holds no value of its own. Reading asks its record set for the
// current record's value (GetData), writing hands a value to the record set
// (SetData). Values travel either in the kind's native form (the table in
// each kind's header) or, with native = false, in the outside form that the
// record set converts (TDataSet::DataConvert): a TDateTime for the date and
// time kinds, a String for the wide string kind.
//
// Errors raised for a field of a record set carry the record set's name as
// prefix; those for a field without one carry the text alone.
#ifndef KAVO_RECORDSET_FIELD_H_
#define KAVO_RECORDSET_FIELD_H_

#include <cstdint>
#include <functional>
#include <string>

#include "recordset/db_types.h"
#include "recordset/variant.h"
#include "rtl/component.h"
#include "rtl/datetime.h"
#include "rtl/ustring.h"

namespace kavo {

class TDataSet;

class TField : public TComponent {
 public:
  using TFieldNotifyEvent = std::function<void(TField&)>;

  explicit TField(TComponent* owner);
  ~TField() override;

  const String& FieldName() const { return field_name_; }
  void SetFieldName(const String& name);  // only while the record set is closed
  // The column number, set when the record set opens; 0 while closed.
  int FieldNo() const { return GetFieldNo(); }
  TFieldType DataType() const { return data_type_; }
  // Characters for the text kinds, 0 for the others.
  int Size() const { return GetSize(); }
  virtual void SetSize(int size);  // only while the record set is closed
  TFieldKind FieldKind() const { return field_kind_; }
  virtual void SetFieldKind(TFieldKind kind);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value) { read_only_ = value; }
  bool Required() const { return required_; }
  void SetRequired(bool value) { required_ = value; }
  bool Visible() const { return visible_; }
  void SetVisible(bool value) { visible_ = value; }
  unsigned ProviderFlags() const { return provider_flags_; }
  void SetProviderFlags(unsigned flags) { provider_flags_ = flags; }
  const String& Origin() const { return origin_; }
  void SetOrigin(const String& origin) { origin_ = origin; }
  bool IsIndexField() const { return false; }

  TDataSet* DataSet() const { return dataset_; }
  // Moves the field to another record set's field list (or none); neither
  // record set may be open.
  virtual void SetDataSet(TDataSet* dataset);

  TFieldNotifyEvent OnValidate;
  TFieldNotifyEvent OnChange;

  // Raw exchange with the record set. GetData with a null buffer only tells
  // whether there is a value. SetData with a null buffer stores NULL.
  bool GetData(void* buffer, bool native = true) const;
  void SetData(const void* buffer, bool native = true);
  // Bytes of the native form.
  virtual int GetDataSize() const { return 0; }

  bool IsNull() const { return GetIsNull(); }
  // NULL for data and internally calculated fields; others stay as they are.
  virtual void Clear();

  // Calls OnValidate with the pending native value (null: NULL) visible
  // through the field's accessors.
  void Validate(const void* buffer);
  virtual void Change();

  // Accessors. Each kind overrides the ones it supports; the rest raise
  // "Cannot access field '%s' as type %s".
  String AsString() const { return GetAsString(); }
  String AsWideString() const { return GetAsWideString(); }
  std::string AsAnsiString() const { return GetAsAnsiString(); }  // ANSI code page
  double AsFloat() const { return GetAsFloat(); }
  TDateTime AsDateTime() const { return GetAsDateTime(); }
  int32_t AsInteger() const { return GetAsInteger(); }
  int64_t AsLargeInt() const { return GetAsLargeInt(); }
  bool AsBoolean() const { return GetAsBoolean(); }
  OraVariant AsVariant() const { return GetAsVariant(); }
  // The value before the current edit: read with the record set in
  // dsOldValue, where it answers the record as stored (base: the current one).
  OraVariant OldValue() const;

  virtual bool GetAsBoolean() const;
  virtual TDateTime GetAsDateTime() const;
  virtual double GetAsFloat() const;
  virtual int32_t GetAsInteger() const;
  virtual int64_t GetAsLargeInt() const;
  // Base: the class description.
  virtual String GetAsString() const;
  // Base: GetAsString.
  virtual String GetAsWideString() const;
  // Base: GetAsString in the ANSI code page.
  virtual std::string GetAsAnsiString() const;
  // NULL is a null variant; otherwise by DataType: text as a String,
  // integers as integers (a large one beyond 32 bits, and the decimal kinds,
  // as an exact decimal), floating as doubles, dates and times as dates, booleans.
  virtual OraVariant GetAsVariant() const;

  virtual void SetAsBoolean(bool value);
  virtual void SetAsDateTime(TDateTime value);
  virtual void SetAsFloat(double value);
  virtual void SetAsInteger(int32_t value);
  virtual void SetAsLargeInt(int64_t value);
  virtual void SetAsString(const String& value);
  // Base: SetAsString.
  virtual void SetAsWideString(const String& value);
  // Base: widened from the ANSI code page, then SetAsString.
  virtual void SetAsAnsiString(const std::string& value);
  // Null and empty clear the field; otherwise the accessor of the variant's
  // kind (a byte array only where a kind takes bytes).
  virtual void SetAsVariant(const OraVariant& value);

  // The text shown to a user (through a kind's display format, when it has
  // one) and the text to edit; SetText reads what a user typed.
  String DisplayText() const { return GetText(true); }
  String Text() const { return GetText(false); }
  // Base: AsString either way.
  virtual String GetText(bool display) const;
  // Base: SetAsString.
  virtual void SetText(const String& value) { SetAsString(value); }

  // "(" + type name + ")", what a field without a text form reads as.
  virtual String GetClassDesc() const;
  virtual bool GetCanModify() const;
  bool CanModify() const { return GetCanModify(); }
  virtual bool IsBlob() const { return false; }

  // Called by the record set when it binds (true) or unbinds its fields.
  virtual void Bind(bool binding);
  // Refuses a size the kind cannot have (EDatabaseError).
  virtual void CheckTypeSize(int size) const;
  virtual void FreeBuffers() {}

 protected:
  // Kinds fix their type in their constructor.
  void SetDataTypeInternal(TFieldType type) { data_type_ = type; }
  void SetSizeInternal(int size) { size_ = size; }
  virtual int GetFieldNo() const { return field_no_; }
  virtual int GetSize() const { return size_; }
  virtual bool GetIsNull() const;

  [[noreturn]] void AccessError(StringView type_name) const;
  // The record set, or "Field '%s' has no dataset".
  TDataSet& CheckDataSet() const {
    if (!dataset_) NoDataSet();
    return *dataset_;
  }

 private:
  friend class TDataSet;

  [[noreturn]] void NoDataSet() const;

  String field_name_;
  TFieldType data_type_ = ftUnknown;
  int size_ = 0;
  int field_no_ = 0;
  TFieldKind field_kind_ = fkData;
  bool read_only_ = false;
  bool required_ = false;
  bool visible_ = true;
  unsigned provider_flags_ = pfInUpdate | pfInWhere;
  String origin_;
  TDataSet* dataset_ = nullptr;
  // The pending native value while OnValidate runs.
  const void* validating_ = nullptr;
  bool validating_null_ = false;
};

}  // namespace kavo

#endif  // KAVO_RECORDSET_FIELD_H_
