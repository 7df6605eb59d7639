#include "service/date_time_text.h"

namespace kavo {

String DT(TDateTime value, const TFormatSettings& settings) {
  return DateTimeToStr(value, settings);
}

String DT() { return DT(Now(), FormatSettings()); }

}  // namespace kavo
