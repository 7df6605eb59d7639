// Reading values from an INI file.
//
// Rules: section and key names match without regard to case; the value is the
// text after the first '=' with surrounding blanks removed and one pair of
// enclosing quotes ("..." or '...') removed; a missing file, section or key
// gives the default; a value is cut to 2047 characters.
//
// Finer rules chosen here: a line whose first non-blank character is ';' or
// '#' is a comment; a line without '=' outside a section header is ignored;
// when a key appears more than once the first one wins, also across repeated
// sections of the same name; there is no line continuation. Lines may end with
// CR LF, LF or CR alone. The file is read in the ANSI code page unless it
// starts with a byte-order mark: UTF-8, or UTF-16 in either byte order.
#ifndef KAVO_PLATFORM_INI_FILE_H_
#define KAVO_PLATFORM_INI_FILE_H_

#include "rtl/ustring.h"

namespace kavo {

class IniFile {
 public:
  static constexpr size_t kMaxValueLength = 2047;

  // Opening reads nothing and never fails; every read opens the file anew.
  explicit IniFile(String path) : path_(std::move(path)) {}

  const String& FileName() const { return path_; }
  String ReadString(StringView section, StringView key, StringView default_value) const;

  // Parses `content` (already decoded) with the rules above.
  static String ReadFromText(StringView content, StringView section, StringView key,
                             StringView default_value);

 private:
  String path_;
};

}  // namespace kavo

#endif  // KAVO_PLATFORM_INI_FILE_H_
