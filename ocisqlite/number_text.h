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

}  // namespace kavo::ocisqlite

#endif
