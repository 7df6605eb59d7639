#include "oracle/sql_scan.h"

#include <algorithm>

namespace kavo {

namespace {
bool IsNameChar(Char c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
         c == u'_' || c == u'#' || c == u'$' || c >= 0x80;
}
}  // namespace

std::vector<TFoundVariable> FindVariables(const String& source, bool allow_duplicates) {
  enum { kScanning, kName, kQuoted, kComment } state = kScanning;
  String text = source + u"\r\n";
  Char quote = 0;
  std::vector<TFoundVariable> found;
  String name;
  int colon = 0;
  String comment_end;
  for (size_t i = 0; i < text.size(); ++i) {
    Char c = text[i];
    switch (state) {
      case kScanning:
        if (c == u':') {
          state = kName;
          name.clear();
          colon = static_cast<int>(i) + 1;
        } else if (c == u'\'' || c == u'"') {
          // A literal, or a quoted name, which may hold anything else.
          state = kQuoted;
          quote = c;
        } else if (c == u'/' && i + 1 < text.size() && text[i + 1] == u'*') {
          state = kComment;
          comment_end = u"*/";
          ++i;
        } else if (c == u'-' && i + 1 < text.size() && text[i + 1] == u'-') {
          state = kComment;
          comment_end = u"\r\n";
          ++i;
        }
        break;
      case kName:
        if (IsNameChar(c)) {
          name += c;
        } else {
          // The character that ends a name is consumed unexamined, except
          // the double quote of a quoted name, which would else open a
          // quoted name that never closes.
          if (c == u'"') --i;
          name = UpperCase(name);
          bool dup = std::any_of(found.begin(), found.end(),
                                 [&](const TFoundVariable& f) { return f.name == name; });
          if (!name.empty() && (allow_duplicates || !dup)) found.push_back({name, colon});
          state = kScanning;
        }
        break;
      case kQuoted:
        if (c == quote) state = kScanning;
        break;
      case kComment:
        // The marker's second character is examined again in Scanning.
        if (c == comment_end[0] && i + 1 < text.size() && text[i + 1] == comment_end[1])
          state = kScanning;
        break;
    }
  }
  return found;
}

String RemoveSQLComment(const String& text, bool keep_hints) {
  enum { kNormal, kQuoted, kBlock, kLine } state = kNormal;
  String out;
  Char quote = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    Char c = text[i];
    Char next = i + 1 < text.size() ? text[i + 1] : 0;
    Char third = i + 2 < text.size() ? text[i + 2] : 0;
    switch (state) {
      case kNormal:
        if (c == u'\'' || c == u'"') {
          state = kQuoted;
          quote = c;
          out += c;
        } else if (((c == u'/' && next == u'*') || (c == u'-' && next == u'-')) &&
                   !(keep_hints && third == u'+')) {
          // A blank in its place, so that the words on either side stay apart.
          out += u' ';
          state = c == u'/' ? kBlock : kLine;
          ++i;
        } else {
          out += c;
        }
        break;
      case kQuoted:
        if (c == quote) state = kNormal;
        out += c;
        break;
      case kBlock:
        if (c == u'*' && next == u'/') {
          state = kNormal;
          ++i;
        }
        break;
      case kLine:
        // LF, CR or CR LF ends the comment, whichever the text uses.
        if (c == u'\n' || c == u'\r') {
          state = kNormal;
          if (c == u'\r' && next == u'\n') ++i;
        }
        break;
    }
  }
  return Trim(out);
}

}  // namespace kavo
