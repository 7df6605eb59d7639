#include "rtl/str_to_date_time.h"

#include <vector>

#include "rtl/exceptions.h"
#include "rtl/format.h"
#include "rtl/str_to_time.h"

namespace kavo {

namespace {

bool ReadDate(StringView text, const TFormatSettings& fs, TDateTime& value) {
  std::vector<int> parts;
  String field;
  for (Char c : text) {
    if (c == fs.DateSeparator) {
      if (field.empty()) return false;
      parts.push_back(0);
      if (!TryStrToInt(field, parts.back())) return false;
      field.clear();
    } else if (c >= u'0' && c <= u'9') {
      field += c;
    } else {
      return false;
    }
  }
  if (field.empty()) return false;
  parts.push_back(0);
  if (!TryStrToInt(field, parts.back()) || parts.size() != 3) return false;
  // The order of day, month and year in the short date pattern.
  String order;
  for (Char c : LowerCase(fs.ShortDateFormat))
    if ((c == u'd' || c == u'm' || c == u'y') && order.find(c) == String::npos) order += c;
  if (order.size() != 3) order = u"mdy";
  int day = 0, month = 0, year = 0;
  for (size_t i = 0; i < 3; ++i) {
    if (order[i] == u'd') day = parts[i];
    if (order[i] == u'm') month = parts[i];
    if (order[i] == u'y') year = parts[i];
  }
  if (year < 100) year += year < 50 ? 2000 : 1900;
  return TryEncodeDate(year, month, day, value);
}

}  // namespace

bool TryStrToDateTime(StringView text, TDateTime& value, const TFormatSettings& fs) {
  String s = Trim(text);
  if (s.empty()) return false;
  size_t blank = s.find(u' ');
  String date_part = blank == String::npos ? s : s.substr(0, blank);
  String time_part = blank == String::npos ? String() : Trim(s.substr(blank + 1));
  TDateTime date = 0;
  if (!ReadDate(date_part, fs, date)) {
    // A time alone.
    return blank == String::npos || date_part.find(fs.TimeSeparator) != String::npos
               ? TryStrToTime(s, value, fs)
               : false;
  }
  TDateTime time = 0;
  if (!time_part.empty() && !TryStrToTime(time_part, time, fs)) return false;
  value = CombineDateTime(date, time);
  return true;
}

bool TryStrToDate(StringView text, TDateTime& value, const TFormatSettings& fs) {
  return ReadDate(Trim(text), fs, value);
}

TDateTime StrToDate(StringView text, const TFormatSettings& fs) {
  TDateTime value = 0;
  if (!TryStrToDate(text, value, fs))
    throw EConvertError(Format(u"'%s' is not a valid date", {String(text)}));
  return value;
}

TDateTime StrToDateTime(StringView text, const TFormatSettings& fs) {
  TDateTime value = 0;
  if (!TryStrToDateTime(text, value, fs))
    throw EConvertError(Format(u"'%s' is not a valid date and time", {String(text)}));
  return value;
}

}  // namespace kavo
