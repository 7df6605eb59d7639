// Date and date-time texts read with the user's format settings.
#ifndef KAVO_RTL_STR_TO_DATE_TIME_H_
#define KAVO_RTL_STR_TO_DATE_TIME_H_

#include "rtl/datetime.h"
#include "rtl/format_settings.h"
#include "rtl/ustring.h"

namespace kavo {

// "<date>[ <time>]" or "<time>": the date's day, month and year stand in the
// order of the short date pattern, separated by its date separator (two-digit
// years below 50 are 20xx); the time is read as StrToTime reads it.
bool TryStrToDateTime(StringView text, TDateTime& value, const TFormatSettings& fs);
// The date alone, read as above (blanks around it are skipped).
bool TryStrToDate(StringView text, TDateTime& value, const TFormatSettings& fs);
// Raises EConvertError "'<text>' is not a valid date and time".
TDateTime StrToDateTime(StringView text, const TFormatSettings& fs);
// Raises EConvertError "'<text>' is not a valid date".
TDateTime StrToDate(StringView text, const TFormatSettings& fs);

}  // namespace kavo

#endif  // KAVO_RTL_STR_TO_DATE_TIME_H_
