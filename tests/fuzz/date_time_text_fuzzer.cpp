// Date, time and number texts: rtl's StrToTime, StrToDateTime, StrToFloat,
// StrToInt64 and TryStrToInt, the Oracle values' own date-time grammar, and
// FormatDateTime with the text as its pattern.
// Input: one byte choosing the format settings, then the text (UTF-8).
#include <cmath>
#include <iterator>

#include "fuzz_input.h"
#include "recordset/variant.h"
#include "rtl/datetime.h"
#include "rtl/exceptions.h"
#include "rtl/float_text.h"
#include "rtl/format_settings.h"
#include "rtl/int64_text.h"
#include "rtl/str_to_date_time.h"
#include "rtl/str_to_time.h"

namespace {

using kavo::TFormatSettings;

// Locales the service meets, and settings where separators collide.
const TFormatSettings kSettings[] = {
    {},  // en-US
    {u"dd/mm/yyyy", u"hh:nn:ss", u'/', u':', u',', u'.', u"", u""},          // pt-BR
    {u"dd.mm.yyyy", u"hh:nn:ss", u'.', u':', u',', u'.', u"vorm.", u"nachm."},  // de-DE
    {u"yyyy-mm-dd", u"hh.nn.ss", u'-', u'.', u'.', u' ', u"a.m.", u"p.m."},
    {u"d/m/yy", u"h:nn:ss AMPM", u'/', u':', u':', u',', u"AM", u"PM"},  // time = decimal
    {u"yy mm dd", u"hh:nn", u' ', u' ', u'.', u',', u"1", u"2"},         // blank separators
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const TFormatSettings& fs = kSettings[data[0] % std::size(kSettings)];
  kavo::FormatSettings() = fs;
  kavo::String text = kavo::Utf8ToString(
      std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));

  kavo::TDateTime value = -1;
  if (kavo::TryStrToTime(text, value, fs)) FUZZ_CHECK(value >= 0 && value < 1);
  if (kavo::TryStrToDateTime(text, value, fs)) FUZZ_CHECK(std::isfinite(value));
  try {
    FUZZ_CHECK(std::isfinite(kavo::StrToDateTime(text)));  // the Oracle values' grammar
  } catch (const kavo::EConvertError&) {
  }
  try {
    kavo::StrToTime(text, fs);
  } catch (const kavo::EConvertError&) {
  }
  double number = 0;
  kavo::TryStrToFloat(text, number, fs);
  int64_t big = 0;
  kavo::TryStrToInt64(text, big);
  int32_t small = 0;
  kavo::TryStrToInt(text, small);

  // The text as a pattern, on a value with every field set.
  try {
    kavo::FormatDateTime(text, 45678.5123456, fs);
  } catch (const kavo::Exception&) {
  }
  return 0;
}
