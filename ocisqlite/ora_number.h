// Oracle's own NUMBER bytes (SQLT_NUM, SQLT_VNU and OCINumber): an exponent
// byte and up to 20 base-100 digits, negative numbers complemented and ended
// by 102 when there is room.
#ifndef OCISQLITE_ORA_NUMBER_H
#define OCISQLITE_ORA_NUMBER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kavo::ocisqlite {

// Writes the number of text (as NumberText writes it, or any decimal form
// strtod reads) into out (at most 21 bytes); returns the byte count, 0 when
// the text is not a number. Digits past 40 are rounded, half away from zero;
// magnitudes past Oracle's range fail with ORA-01426.
size_t EncodeOraNumber(std::string_view text, unsigned char out[21]);
// Encodes a double (15 significant digits, as the store holds it) or an integer.
size_t EncodeOraNumber(double v, unsigned char out[21]);
size_t EncodeOraNumber(int64_t v, unsigned char out[21]);

// The decimal text of n bytes; false when they are not a valid NUMBER.
bool DecodeOraNumber(const unsigned char* in, size_t n, std::string* text);

}  // namespace kavo::ocisqlite

#endif
