#include "ib/ib_sql_parser.h"

#include "ib/ib_errors.h"

namespace kavo {

namespace {

bool IsNameChar(Char c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
         c == u'_' || c == u'$';
}

[[noreturn]] void ParseError(TIBClientError detail) {
  IBError(ibceSQLParseError, {IBErrorMessage(detail)});
}

}  // namespace

TProcessedSQL PreprocessSQL(StringView sql, bool generate_param_names) {
  enum State { kDefault, kComment, kLineComment, kQuoted, kParameter };
  TProcessedSQL out;
  State state = kDefault;
  Char quote = 0;
  String name;
  bool quoted_name = false;
  int generated = 0;
  // A marker without a name is named IBParam<n> when asked, else an error.
  auto end_parameter = [&] {
    if (name.empty() && !quoted_name) {
      if (!generate_param_names) ParseError(ibceParamNameExpected);
      name = u"IBParam" + IntToStr(generated++);
    }
    out.names.push_back(name);
    state = kDefault;
  };
  const size_t n = sql.size();
  size_t i = 0;
  while (i < n) {
    Char c = sql[i];
    Char next = i + 1 < n ? sql[i + 1] : Char(0);
    switch (state) {
      case kDefault:
        if (c == u'\'' || c == u'"') {
          quote = c;
          state = kQuoted;
          out.text += c;
        } else if (c == u'/' && next == u'*') {
          out.text += u"/*";
          state = kComment;
          ++i;
        } else if (c == u'-' && next == u'-') {
          out.text += u"--";
          state = kLineComment;
          ++i;
        } else if (c == u':' || c == u'?') {
          out.text += u'?';
          state = kParameter;
          name.clear();
          quoted_name = next == u'"';
          if (quoted_name) ++i;  // the opening quote is not part of the name
        } else {
          out.text += c;
        }
        ++i;
        break;
      case kComment:
        if (i == n - 1) ParseError(ibceEOFInComment);
        if (c == u'*' && next == u'/') {
          out.text += u"*/";
          state = kDefault;
          i += 2;
        } else {
          out.text += c;
          ++i;
        }
        break;
      case kLineComment:
        if (c == u'\r' || c == u'\n') state = kDefault;
        out.text += c;
        ++i;
        break;
      case kQuoted:
        if (i == n - 1) ParseError(ibceEOFInString);
        out.text += c;
        if (c == quote && next == quote) {
          out.text += next;
          i += 2;
        } else {
          if (c == quote) state = kDefault;
          ++i;
        }
        break;
      case kParameter: {
        bool ended = false;
        if (quoted_name) {
          if (c == u'"') {
            ended = true;
            ++i;  // the closing quote ends the parameter and is dropped
          } else {
            name += c;
            ++i;
          }
        } else if (IsNameChar(c)) {
          name += c;
          ++i;
        } else {
          ended = true;  // this character is handled in the default state
        }
        if (ended) end_parameter();
        break;
      }
    }
  }
  if (state == kParameter) end_parameter();  // a marker at the very end of the text
  return out;
}

String FormatIdentifierValue(int dialect, StringView name) {
  String s = Trim(name);
  if (dialect == 1) return UpperCase(s);
  if (!s.empty() && s.front() == u'"') {
    s = s.size() >= 2 ? s.substr(1, s.size() - 2) : String();
    return ReplaceAll(s, u"\"\"", u"\"");
  }
  return UpperCase(s);
}

}  // namespace kavo
