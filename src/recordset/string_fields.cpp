#include "recordset/string_fields.h"

#include <cstring>
#include <vector>

#include "recordset/database_error.h"
#include "recordset/dataset.h"
#include "rtl/code_page.h"
#include "rtl/float_text.h"
#include "rtl/format.h"
#include "rtl/int64_text.h"

namespace kavo {

// ---- TStringField ------------------------------------------------------------

TStringField::TStringField(TComponent* owner) : TField(owner) {
  SetDataTypeInternal(ftString);
  SetSizeInternal(20);
}

void TStringField::CheckTypeSize(int size) const {
  if (size < 0) DatabaseError(u"Invalid field size", DataSet());
}

std::string TStringField::GetAsAnsiString() const {
  std::vector<char> buf(GetDataSize() + 1, 0);
  if (!GetData(buf.data())) return {};
  std::string text(buf.data(), strnlen(buf.data(), buf.size() - 1));
  if (transliterate_) text = CheckDataSet().Translate(text, false);
  return text;
}

String TStringField::GetAsString() const { return AnsiToString(GetAsAnsiString()); }

double TStringField::GetAsFloat() const {
  String s = GetAsString();
  return StrToFloat(s, FormatSettings());
}

int32_t TStringField::GetAsInteger() const {
  int64_t v = GetAsLargeInt();
  if (v < INT32_MIN || v > INT32_MAX)
    throw EConvertError(Format(u"'%s' is not a valid integer value", {GetAsString()}));
  return static_cast<int32_t>(v);
}

int64_t TStringField::GetAsLargeInt() const { return StrToInt64(GetAsString()); }

void TStringField::SetAsAnsiString(const std::string& value) {
  std::string text = CutWholeCharacters(value, static_cast<size_t>(Size()), AnsiCodePage());
  if (transliterate_) text = CheckDataSet().Translate(text, true);
  text.resize(std::min(text.size(), static_cast<size_t>(Size())));
  // The native form is the whole data size, zero-padded: a record set (and
  // validation) may read all of it.
  std::vector<char> native(static_cast<size_t>(GetDataSize()), 0);
  std::memcpy(native.data(), text.data(), text.size());
  SetData(native.data());
}

void TStringField::SetAsString(const String& value) { SetAsAnsiString(StringToAnsi(value)); }

void TStringField::SetAsFloat(double value) { SetAsString(FloatToStr(value)); }
void TStringField::SetAsInteger(int32_t value) { SetAsString(IntToStr(value)); }
void TStringField::SetAsLargeInt(int64_t value) { SetAsString(IntToStr(value)); }

// ---- TWideStringField ----------------------------------------------------------

TWideStringField::TWideStringField(TComponent* owner) : TField(owner) {
  SetDataTypeInternal(ftWideString);
  SetSizeInternal(20);
}

void TWideStringField::CheckTypeSize(int size) const {
  if (size < 0) DatabaseError(u"Invalid field size", DataSet());
}

String TWideStringField::GetAsString() const {
  String value;
  if (!GetData(&value, false)) return {};
  return value;
}

std::string TWideStringField::GetAsAnsiString() const { return StringToAnsi(GetAsString()); }

double TWideStringField::GetAsFloat() const { return StrToFloat(GetAsString(), FormatSettings()); }

void TWideStringField::SetAsString(const String& value) { SetData(&value, false); }

void TWideStringField::SetAsAnsiString(const std::string& value) {
  SetAsString(AnsiToString(value));
}

void TWideStringField::SetAsFloat(double value) { SetAsString(FloatToStr(value)); }

}  // namespace kavo
