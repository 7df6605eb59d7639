#include "recordset/date_time_fields.h"

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

void TDateTimeField::SetAsString(const String& value) {
  if (value.empty()) {
    Clear();
    return;
  }
  AccessError(u"String");
}

TDateField::TDateField(TComponent* owner) : TDateTimeField(owner) {
  SetDataTypeInternal(ftDate);
}

String TDateField::ValueText(TDateTime value) const {
  return FormatDateTime(FormatSettings().ShortDateFormat, value, FormatSettings());
}

TTimeField::TTimeField(TComponent* owner) : TDateTimeField(owner) {
  SetDataTypeInternal(ftTime);
}

String TTimeField::ValueText(TDateTime value) const {
  return FormatDateTime(FormatSettings().LongTimeFormat, value, FormatSettings());
}

void TTimeField::SetAsString(const String& value) {
  if (value.empty()) {
    Clear();
    return;
  }
  SetAsDateTime(StrToTime(value));
}

}  // namespace kavo
