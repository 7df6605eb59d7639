// The text field kinds.
//
//   kind               DataType      native form                          bytes
//   TStringField       ftString      ANSI text, <= Size bytes, 0-ended    Size + 1
//   TWideStringField   ftWideString  UTF-16 text, <= Size chars, 0-ended  2*Size + 2
#ifndef KAVO_RECORDSET_STRING_FIELDS_H_
#define KAVO_RECORDSET_STRING_FIELDS_H_

#include <string>

#include "recordset/field.h"

namespace kavo {

class TStringField : public TField {
 public:
  explicit TStringField(TComponent* owner);  // Size 20, Transliterate true

  bool Transliterate() const { return transliterate_; }
  void SetTransliterate(bool value) { transliterate_ = value; }

  int GetDataSize() const override { return Size() + 1; }

  // The stored 8-bit text through the record set's Translate; NULL is "".
  std::string GetAsAnsiString() const override;
  String GetAsString() const override;  // GetAsAnsiString widened
  String GetAsWideString() const override { return GetAsString(); }
  double GetAsFloat() const override;
  int32_t GetAsInteger() const override;
  int64_t GetAsLargeInt() const override;
  // At most Size bytes are kept (never an error); a multi-byte character is
  // not split.
  void SetAsAnsiString(const std::string& value) override;
  // Narrowed to the ANSI code page (unmappable characters become '?').
  void SetAsString(const String& value) override;
  void SetAsWideString(const String& value) override { SetAsString(value); }
  void SetAsFloat(double value) override;
  void SetAsInteger(int32_t value) override;
  void SetAsLargeInt(int64_t value) override;
  void CheckTypeSize(int size) const override;

 private:
  bool transliterate_ = true;
};

class TWideStringField : public TField {
 public:
  explicit TWideStringField(TComponent* owner);  // Size 20

  int GetDataSize() const override { return 2 * Size() + 2; }

  String GetAsString() const override;  // NULL is ""
  String GetAsWideString() const override { return GetAsString(); }
  std::string GetAsAnsiString() const override;
  double GetAsFloat() const override;
  // Handed to the record set in outside form; it converts and stores.
  void SetAsString(const String& value) override;
  void SetAsWideString(const String& value) override { SetAsString(value); }
  void SetAsAnsiString(const std::string& value) override;
  void SetAsFloat(double value) override;
  void CheckTypeSize(int size) const override;
};

}  // namespace kavo

#endif  // KAVO_RECORDSET_STRING_FIELDS_H_
