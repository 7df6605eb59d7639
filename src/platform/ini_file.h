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
//
// Only a regular file of at most kMaxFileSize bytes is read, and opening it
// never waits: a FIFO, a device, a directory or a larger file reads as no
// file at all (every value its default). The service runs as root and
// reads its INI before every cycle; nothing at that name may stall it or
// fill its memory.
#ifndef KAVO_PLATFORM_INI_FILE_H_
#define KAVO_PLATFORM_INI_FILE_H_

#include "rtl/ustring.h"

namespace kavo {

class IniFile {
 public:
  static constexpr size_t kMaxValueLength = 2047;
  static constexpr size_t kMaxFileSize = 1024 * 1024;

  // Opening reads nothing and never fails; every read opens the file anew,
  // until Load.
  explicit IniFile(String path) : path_(std::move(path)) {}

  const String& FileName() const { return path_; }
  // Reads the file once; the reads after it answer from what was read.
  void Load();
  String ReadString(StringView section, StringView key, StringView default_value) const;

  // Parses `content` (already decoded) with the rules above.
  static String ReadFromText(StringView content, StringView section, StringView key,
                             StringView default_value);

 private:
  String path_;
  bool loaded_ = false;
  String content_;
};

}  // namespace kavo

#endif  // KAVO_PLATFORM_INI_FILE_H_
