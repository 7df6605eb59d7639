#include "ib/ib_sql_parser.h"

#include <utility>

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

// One pass over the text, a step per state: markers become "?" and their
// names are collected; comments and quoted texts pass unchanged.
class SqlScanner {
 public:
  SqlScanner(StringView sql, bool generate_param_names)
      : sql_(sql), generate_param_names_(generate_param_names) {}

  TProcessedSQL Run() {
    while (i_ < sql_.size()) {
      const Char c = sql_[i_];
      const Char next = i_ + 1 < sql_.size() ? sql_[i_ + 1] : Char(0);
      switch (state_) {
        case kDefault: Default(c, next); break;
        case kComment: Comment(c, next); break;
        case kLineComment: LineComment(c); break;
        case kQuoted: Quoted(c, next); break;
        case kParameter: Parameter(c); break;
      }
    }
    if (state_ == kParameter) EndParameter();  // a marker at the very end of the text
    return std::move(out_);
  }

 private:
  enum State { kDefault, kComment, kLineComment, kQuoted, kParameter };

  bool Last() const { return i_ == sql_.size() - 1; }

  void Default(Char c, Char next) {
    if (c == u'\'' || c == u'"') {
      quote_ = c;
      state_ = kQuoted;
      out_.text += c;
    } else if (c == u'/' && next == u'*') {
      out_.text += u"/*";
      state_ = kComment;
      ++i_;
    } else if (c == u'-' && next == u'-') {
      out_.text += u"--";
      state_ = kLineComment;
      ++i_;
    } else if (c == u':' || c == u'?') {
      out_.text += u'?';
      state_ = kParameter;
      name_.clear();
      quoted_name_ = next == u'"';
      if (quoted_name_) ++i_;  // the opening quote is not part of the name
    } else {
      out_.text += c;
    }
    ++i_;
  }

  void Comment(Char c, Char next) {
    if (Last()) ParseError(ibceEOFInComment);
    if (c == u'*' && next == u'/') {
      out_.text += u"*/";
      state_ = kDefault;
      i_ += 2;
    } else {
      out_.text += c;
      ++i_;
    }
  }

  void LineComment(Char c) {
    if (c == u'\r' || c == u'\n') state_ = kDefault;
    out_.text += c;
    ++i_;
  }

  void Quoted(Char c, Char next) {
    if (Last()) ParseError(ibceEOFInString);
    out_.text += c;
    if (c == quote_ && next == quote_) {
      out_.text += next;
      i_ += 2;
    } else {
      if (c == quote_) state_ = kDefault;
      ++i_;
    }
  }

  void Parameter(Char c) {
    if (quoted_name_) {
      ++i_;
      // The closing quote ends the parameter and is dropped.
      if (c == u'"')
        EndParameter();
      else
        name_ += c;
    } else if (IsNameChar(c)) {
      name_ += c;
      ++i_;
    } else {
      EndParameter();  // this character is handled in the default state
    }
  }

  // A marker without a name is named IBParam<n> when asked, else an error.
  void EndParameter() {
    if (name_.empty() && !quoted_name_) {
      if (!generate_param_names_) ParseError(ibceParamNameExpected);
      name_ = u"IBParam" + IntToStr(generated_++);
    }
    out_.names.push_back(name_);
    state_ = kDefault;
  }

  StringView sql_;
  bool generate_param_names_;
  size_t i_ = 0;
  State state_ = kDefault;
  Char quote_ = 0;
  String name_;
  bool quoted_name_ = false;
  int generated_ = 0;
  TProcessedSQL out_;
};

}  // namespace

TProcessedSQL PreprocessSQL(StringView sql, bool generate_param_names) {
  return SqlScanner(sql, generate_param_names).Run();
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
