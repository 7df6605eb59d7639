// DT: the date-time text of the log lines. The date in the short date
// pattern, then, unless the time of day is exactly 00:00:00.000, one blank
// and the time in the long time pattern, both from the process-wide format
// settings.
#ifndef KAVO_SERVICE_DATE_TIME_TEXT_H_
#define KAVO_SERVICE_DATE_TIME_TEXT_H_

#include "rtl/datetime.h"
#include "rtl/format_settings.h"
#include "rtl/ustring.h"

namespace kavo {

String DT();  // now, in the process-wide settings
String DT(TDateTime value, const TFormatSettings& settings);

}  // namespace kavo

#endif  // KAVO_SERVICE_DATE_TIME_TEXT_H_
