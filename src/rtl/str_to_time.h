// Time-of-day text to a date-time value, under the given format settings.
#ifndef KAVO_RTL_STR_TO_TIME_H_
#define KAVO_RTL_STR_TO_TIME_H_

#include "rtl/datetime.h"
#include "rtl/format_settings.h"
#include "rtl/ustring.h"

namespace kavo {

// Reads "[ampm] h[:m[:s[.ms]]] [ampm]": blanks (spaces only) may stand before
// every element and at the end; the separators are the settings' time and
// decimal separators; the designator is the settings' AM/PM text or "AM"/"PM",
// without regard to case, and then the hour must be 1 to 12. The result is
// the time of day on 1899-12-30 (whole part 0).
bool TryStrToTime(StringView text, TDateTime& value, const TFormatSettings& fs);

// As TryStrToTime; a text it cannot read raises EConvertError
// "''<text>'' is not a valid time".
TDateTime StrToTime(StringView text, const TFormatSettings& fs);
TDateTime StrToTime(StringView text);  // with the process-wide settings

}  // namespace kavo

#endif  // KAVO_RTL_STR_TO_TIME_H_
