// Oracle's extended ROWID text (18 base-64 digits: object, file, block, row) over
// SQLite's integer row ids. The object number tells the table, the other three
// are derived from the SQLite row id, which never changes while the row lives.
#ifndef OCISQLITE_ROWID_H
#define OCISQLITE_ROWID_H

#include <cstdint>
#include <string>
#include <string_view>

namespace kavo::ocisqlite {

struct RowidParts {
  uint32_t object = 0;
  uint32_t file = 0;
  uint32_t block = 0;
  uint32_t row = 0;
};

inline constexpr uint32_t kRowidFile = 4;

RowidParts RowidFromRowNumber(uint32_t object, int64_t rownum);
int64_t RowNumberFromRowid(const RowidParts& parts);
std::string RowidText(const RowidParts& parts);
// False when the text is not an 18-character extended ROWID.
bool ParseRowid(std::string_view text, RowidParts* out);

}  // namespace kavo::ocisqlite

#endif
