// Oracle's default text form of a NUMBER (TO_CHAR without a format, and the
// conversion OCI applies when a number is fetched or bound as text).
#ifndef OCISQLITE_NUMBER_TEXT_H
#define OCISQLITE_NUMBER_TEXT_H

#include <cstdint>
#include <string>
#include <string_view>

namespace kavo::ocisqlite {

std::string NumberText(double v);
std::string NumberText(int64_t v);
// Parses Oracle number text (leading/trailing blanks allowed); false when invalid.
bool ParseNumber(std::string_view text, double* out);
// v rounded to `scale` decimals (scale >= 0), half away from zero as Oracle rounds.
// A double is taken as the shortest decimal that reads back as the same double, so
// a value held just below a half (1.005) still rounds up and a whole value stays
// whole, at any magnitude.
double RoundNumber(double v, int scale);
// The same for number text, rounded on its own digits; false when it is not a number.
bool RoundNumber(std::string_view text, int scale, double* out);

// TO_CHAR(number, format) for the format elements 9, 0, "," or G, "." or D and
// the FM prefix; throws OraError 1481 for any other model.
std::string FormatNumber(double v, std::string_view format);

}  // namespace kavo::ocisqlite

#endif
