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
  // "" clears. Otherwise the text is read under the process-wide format
  // settings: a date and an optional time here, a date alone for a date field,
  // a time for a time field; text that does not read raises EConvertError.
  void SetAsString(const String& value) override;

  // A FormatDateTime pattern for DisplayText; empty shows AsString.
  const String& DisplayFormat() const { return display_format_; }
  void SetDisplayFormat(const String& value) { display_format_ = value; }
  String GetText(bool display) const override;

 protected:
  // The text of a value in the process-wide settings.
  virtual String ValueText(TDateTime value) const;
  virtual TDateTime ReadText(const String& value) const;

 private:
  String display_format_;
};

class TDateField : public TDateTimeField {
 public:
  explicit TDateField(TComponent* owner);
  int GetDataSize() const override { return 4; }

 protected:
  String ValueText(TDateTime value) const override;  // short date
  TDateTime ReadText(const String& value) const override;
};

class TTimeField : public TDateTimeField {
 public:
  explicit TTimeField(TComponent* owner);
  int GetDataSize() const override { return 4; }

 protected:
  String ValueText(TDateTime value) const override;  // long time
  TDateTime ReadText(const String& value) const override;
};

}  // namespace kavo

#endif  // KAVO_RECORDSET_DATE_TIME_FIELDS_H_
