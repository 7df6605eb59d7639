// Floating-point values as text, with the settings' decimal separator.
// Independent of the C library's numeric locale.
#ifndef KAVO_RTL_FLOAT_TEXT_H_
#define KAVO_RTL_FLOAT_TEXT_H_

#include "rtl/format_settings.h"
#include "rtl/ustring.h"

namespace kavo {

// General format with at most `digits` significant digits (1 to 17) and no
// trailing zeros: 12345, 2,5, 0.001. Values whose exponent is below -4 or
// reaches `digits` are written as mantissa "E" exponent (1E20, 1.5E-7).
// NaN and the infinities are "NAN", "INF" and "-INF".
String FloatToStr(double value, const TFormatSettings& fs, int digits = 15);
String FloatToStr(double value);  // process-wide settings, 15 digits

// Optional blanks and sign, digits with at most one decimal separator (the
// settings' one only), an optional exponent, blanks. False on anything else.
bool TryStrToFloat(StringView text, double& value, const TFormatSettings& fs);
// Raises EConvertError "'<text>' is not a valid floating point value".
double StrToFloat(StringView text, const TFormatSettings& fs);

}  // namespace kavo

#endif  // KAVO_RTL_FLOAT_TEXT_H_
