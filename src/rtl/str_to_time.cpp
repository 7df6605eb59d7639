#include "rtl/str_to_time.h"

#include "rtl/exceptions.h"
#include "rtl/format.h"

namespace kavo {

namespace {

class TimeScanner {
 public:
  explicit TimeScanner(StringView text) : s_(text) {}

  void SkipBlanks() {
    while (pos_ < s_.size() && s_[pos_] == u' ') ++pos_;
  }

  bool AtEnd() {
    SkipBlanks();
    return pos_ == s_.size();
  }

  bool Char(Char c) {
    SkipBlanks();
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  // One to four digits.
  bool Number(int& value) {
    SkipBlanks();
    size_t start = pos_;
    value = 0;
    while (pos_ < s_.size() && pos_ - start < 4 && s_[pos_] >= u'0' && s_[pos_] <= u'9')
      value = value * 10 + (s_[pos_++] - u'0');
    return pos_ > start;
  }

  // The locale's AM text, "AM", the locale's PM text, "PM", in that order;
  // an empty designator never matches. `offset` becomes 0 or 12.
  bool Designator(const TFormatSettings& fs, int& offset) {
    SkipBlanks();
    const StringView candidates[] = {fs.TimeAMString, u"AM", fs.TimePMString, u"PM"};
    for (int i = 0; i < 4; ++i) {
      StringView d = candidates[i];
      if (d.empty() || s_.size() - pos_ < d.size()) continue;
      if (SameText(s_.substr(pos_, d.size()), d)) {
        pos_ += d.size();
        offset = i < 2 ? 0 : 12;
        return true;
      }
    }
    return false;
  }

 private:
  StringView s_;
  size_t pos_ = 0;
};

}  // namespace

bool TryStrToTime(StringView text, TDateTime& value, const TFormatSettings& fs) {
  TimeScanner scan(text);
  int offset = -1;
  if (!scan.Designator(fs, offset)) offset = -1;
  int hour = 0, min = 0, sec = 0, msec = 0;
  if (!scan.Number(hour)) return false;
  if (scan.Char(fs.TimeSeparator)) {
    if (!scan.Number(min)) return false;
    if (scan.Char(fs.TimeSeparator)) {
      if (!scan.Number(sec)) return false;
      if (scan.Char(fs.DecimalSeparator) && !scan.Number(msec)) return false;
    }
  }
  if (offset < 0 && !scan.Designator(fs, offset)) offset = -1;
  if (offset >= 0) {
    if (hour < 1 || hour > 12) return false;
    if (hour == 12) hour = 0;
    hour += offset;
  }
  if (!scan.AtEnd()) return false;
  return TryEncodeTime(hour, min, sec, msec, value);
}

TDateTime StrToTime(StringView text, const TFormatSettings& fs) {
  TDateTime value;
  if (!TryStrToTime(text, value, fs))
    throw EConvertError(Format(u"''%s'' is not a valid time", {String(text)}));
  return value;
}

TDateTime StrToTime(StringView text) { return StrToTime(text, FormatSettings()); }

}  // namespace kavo
