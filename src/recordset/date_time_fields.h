// The date and time field kinds. Their outside form is a TDateTime; the
// record set keeps the native form:
//
//   kind             DataType     native form                           bytes
//   TDateTimeField   ftDateTime   double: day number * 86400000 + ms    8
//   TDateField       ftDate       int32 day number (0001-01-01 is 1)    4
//   TTimeField       ftTime       int32 milliseconds since midnight     4
//
// So a date field keeps only the date part of what it is given, and a time
// field only the time of day, to the millisecond. NULL reads as 0, which is
// 1899-12-30 00:00:00.
#ifndef KAVO_RECORDSET_DATE_TIME_FIELDS_H_
#define KAVO_RECORDSET_DATE_TIME_FIELDS_H_

#include "recordset/field.h"

namespace kavo {

class TDateTimeField : public TField {
 public:
  explicit TDateTimeField(TComponent* owner);

  int GetDataSize() const override { return 8; }
  TDateTime GetAsDateTime() const override;
  double GetAsFloat() const override { return GetAsDateTime(); }
  // The short date and, for a date-time with a time of day, the long time;
  // NULL reads as "".
  String GetAsString() const override;
  void SetAsDateTime(TDateTime value) override;
  void SetAsFloat(double value) override { SetAsDateTime(value); }
  // "" clears. A time field reads the text with StrToTime; the date kinds
  // take no text (access error).
  void SetAsString(const String& value) override;

 protected:
  // The text of a value in the process-wide settings.
  virtual String ValueText(TDateTime value) const;
};

class TDateField : public TDateTimeField {
 public:
  explicit TDateField(TComponent* owner);
  int GetDataSize() const override { return 4; }

 protected:
  String ValueText(TDateTime value) const override;  // short date
};

class TTimeField : public TDateTimeField {
 public:
  explicit TTimeField(TComponent* owner);
  int GetDataSize() const override { return 4; }
  void SetAsString(const String& value) override;

 protected:
  String ValueText(TDateTime value) const override;  // long time
};

}  // namespace kavo

#endif  // KAVO_RECORDSET_DATE_TIME_FIELDS_H_
