#include "recordset/date_time_fields.h"

#include "rtl/str_to_date_time.h"
#include "rtl/str_to_time.h"

namespace kavo {

TDateTimeField::TDateTimeField(TComponent* owner) : TField(owner) {
  SetDataTypeInternal(ftDateTime);
}

TDateTime TDateTimeField::GetAsDateTime() const {
  TDateTime value = 0;
  return GetData(&value, false) ? value : 0;
}

String TDateTimeField::GetAsString() const {
  TDateTime value = 0;
  if (!GetData(&value, false)) return {};
  return ValueText(value);
}

String TDateTimeField::ValueText(TDateTime value) const {
  return DateTimeToStr(value, FormatSettings());
}

void TDateTimeField::SetAsDateTime(TDateTime value) { SetData(&value, false); }

String TDateTimeField::GetText(bool display) const {
  TDateTime value = 0;
  if (!GetData(&value, false)) return {};
  if (display && !display_format_.empty())
    return FormatDateTime(display_format_, value, FormatSettings());
  return ValueText(value);
}

void TDateTimeField::SetAsString(const String& value) {
  if (value.empty()) {
    Clear();
    return;
  }
  SetAsDateTime(ReadText(value));
}

TDateTime TDateTimeField::ReadText(const String& value) const {
  return StrToDateTime(value, FormatSettings());
}

TDateField::TDateField(TComponent* owner) : TDateTimeField(owner) {
  SetDataTypeInternal(ftDate);
}

String TDateField::ValueText(TDateTime value) const {
  return FormatDateTime(FormatSettings().ShortDateFormat, value, FormatSettings());
}

TDateTime TDateField::ReadText(const String& value) const {
  return StrToDate(value, FormatSettings());
}

TTimeField::TTimeField(TComponent* owner) : TDateTimeField(owner) {
  SetDataTypeInternal(ftTime);
}

String TTimeField::ValueText(TDateTime value) const {
  return FormatDateTime(FormatSettings().LongTimeFormat, value, FormatSettings());
}

TDateTime TTimeField::ReadText(const String& value) const { return StrToTime(value); }

}  // namespace kavo
