// Turns the chunks a monitor receives back into whole records and prints
// them: a block per record (time stamp and kind, the text, a blank line), or
// one JSON object per line.
//
// A record longer than one chunk arrives as consecutive chunks with the same
// time stamp and kind, every one but the last full; only the first starts
// with the "[Application: ...]" line. A record that fills its last chunk
// exactly is printed when the next record starts or at Flush.
#ifndef KAVO_SQLMONITOR_RECORD_PRINTER_H_
#define KAVO_SQLMONITOR_RECORD_PRINTER_H_

#include <cstdio>

#include "rtl/datetime.h"
#include "rtl/ustring.h"

namespace kavo {

class RecordPrinter {
 public:
  RecordPrinter(std::FILE* out, bool json) : out_(out), json_(json) {}

  void Add(const String& chunk, TDateTime time_stamp, int kind);
  void Flush();

 private:
  void Print();

  std::FILE* out_;
  bool json_;
  bool open_ = false;
  String text_;
  TDateTime time_stamp_ = 0;
  int kind_ = 0;
  size_t last_chunk_ = 0;
};

// `text` as a JSON string literal, quotes included.
std::string JsonString(StringView text);

}  // namespace kavo

#endif  // KAVO_SQLMONITOR_RECORD_PRINTER_H_
