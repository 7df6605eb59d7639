#include "record_printer.h"

#include "ib/ib_trace_channel.h"
#include "monitor_options.h"
#include "rtl/format_settings.h"

namespace kavo {

namespace {

constexpr StringView kRecordStart = u"\r\n[Application: ";

std::string TimeText(TDateTime value, const char16_t* pattern) {
  static const TFormatSettings plain;
  return StringToUtf8(FormatDateTime(pattern, value, plain));
}

}  // namespace

std::string JsonString(StringView text) {
  std::string utf8 = StringToUtf8(text);
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

void RecordPrinter::Add(const String& chunk, TDateTime time_stamp, int kind) {
  // A chunk cut short of a surrogate pair holds one character less.
  bool continues = open_ && last_chunk_ + 1 >= static_cast<size_t>(kTraceChunkChars) &&
                   time_stamp == time_stamp_ && kind == kind_ &&
                   !StringView(chunk).starts_with(kRecordStart);
  if (continues) {
    text_ += chunk;
  } else {
    Flush();
    open_ = true;
    text_ = chunk;
    time_stamp_ = time_stamp;
    kind_ = kind;
  }
  last_chunk_ = chunk.size();
  if (last_chunk_ + 1 < static_cast<size_t>(kTraceChunkChars)) Flush();
}

void RecordPrinter::Flush() {
  if (!open_) return;
  open_ = false;
  Print();
  text_.clear();
}

void RecordPrinter::Print() {
  std::string out;
  if (json_) {
    out = "{\"time\":\"" + TimeText(time_stamp_, u"yyyy-mm-dd\"T\"hh:nn:ss.zzz") +
          "\",\"kind\":\"" + TraceKindName(kind_) + "\",\"text\":" + JsonString(text_) + "}\n";
  } else {
    String text = ReplaceAll(text_, u"\r\n", u"\n");
    if (text.starts_with(u'\n')) text.erase(0, 1);
    out = TimeText(time_stamp_, u"yyyy-mm-dd hh:nn:ss.zzz") + " " + TraceKindName(kind_) + "\n" +
          StringToUtf8(text) + "\n\n";
  }
  std::fwrite(out.data(), 1, out.size(), out_);
  std::fflush(out_);
}

}  // namespace kavo
