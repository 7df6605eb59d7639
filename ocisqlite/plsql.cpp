// The anonymous PL/SQL blocks a client sends: nested BEGIN ... EXCEPTION WHEN
// ... END blocks, assignments to bind variables, SELECT ... INTO, DML, IF,
// COMMIT/ROLLBACK/SAVEPOINT, NULL and RAISE_APPLICATION_ERROR. Anything else
// fails with PLS-00103 as a real server would for an unknown construct.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "statement.h"

namespace kavo::ocisqlite {

namespace {

// Nesting past the limit: no exception handler of the block may take it, so it
// is not an OraError until it leaves the block.
struct TooDeep {
  OraError error;
};

// One level of BEGIN or IF for as long as it is parsed.
class Level {
 public:
  Level(int& depth, const Token& at) : depth_(depth) {
    if (++depth_ > kMaxNesting) {
      --depth_;
      throw TooDeep{At(MakeError(600, NestingLimitText()), at)};
    }
  }
  ~Level() { --depth_; }
  Level(const Level&) = delete;
  Level& operator=(const Level&) = delete;

 private:
  int& depth_;
};

class Plsql {
 public:
  Plsql(Stmt& s, Connection& c) : s_(s), c_(c), t_(s.toks), match_(MatchParens(s.toks)) {}

  void Run() {
    bool had_tx = c_.in_transaction();
    long serial = c_.transaction_serial();
    if (had_tx) c_.Exec("SAVEPOINT ora_block");
    // The block's savepoint lives as long as the transaction it was set in: a COMMIT
    // or ROLLBACK inside the block ends both.
    auto same_tx = [&] { return had_tx && c_.in_transaction() && c_.transaction_serial() == serial; };
    try {
      size_t i = 0;
      if (t_[i].Is("DECLARE")) Fail(t_[i]);
      i = Block(i, true);
      if (t_[i].kind != Tok::kEnd) Fail(t_[i]);
      if (same_tx()) c_.Exec("RELEASE ora_block");
    } catch (...) {
      // Undo what the block did in the transaction that is open now.
      if (same_tx()) sqlite3_exec(c_.db(), "ROLLBACK TO ora_block; RELEASE ora_block", nullptr, nullptr, nullptr);
      else c_.Rollback();
      throw;
    }
  }

 private:
  [[noreturn]] void Fail(const Token& t) {
    // Line and column of the offending token, counted like the PL/SQL compiler does.
    int line = 1, col = 1;
    for (size_t k = 0; k < t.pos && k < s_.text.size(); ++k) {
      if (s_.text[k] == '\n') ++line, col = 1;
      else ++col;
    }
    std::string sym = t.kind == Tok::kEnd ? "end-of-file" : s_.text.substr(t.pos, t.len);
    throw At(MakeError(6550, std::to_string(line), std::to_string(col), sym), t);
  }

  void Expect(size_t i, const char* word) {
    if (!t_[i].Is(word) && !t_[i].IsSym(word)) Fail(t_[i]);
  }

  // The token after i, or after the parenthesis that opens at i; an unclosed one
  // runs to the end of the text.
  size_t Next(size_t i) const { return t_[i].IsSym("(") ? std::min(match_[i] + 1, t_.size() - 1) : i + 1; }

  size_t StatementEnd(size_t i) {
    while (t_[i].kind != Tok::kEnd && !t_[i].IsSym(";")) i = Next(i);
    if (t_[i].kind == Tok::kEnd) Fail(t_[i]);
    return i;
  }

  std::vector<Token> Slice(size_t b, size_t e) {
    std::vector<Token> v(t_.begin() + static_cast<long>(b), t_.begin() + static_cast<long>(e));
    Token end;
    end.pos = t_[e].pos;
    v.push_back(end);
    return v;
  }

  // Evaluates a SQL expression through SQLite; the callback reads the one row.
  void Evaluate(size_t b, size_t e, const std::function<void(sqlite3_stmt*)>& row) {
    std::string expr = TranslateExpression(t_, b, e, c_);
    RunTranslated(s_, c_, "SELECT " + expr, row, 0);
  }

  // Oracle's type of result column j where SQLite's value cannot tell a DATE from text.
  static ub2 ResultType(sqlite3_stmt* st, int j, Hint hint) {
    const char* decl = sqlite3_column_decltype(st, j);
    return (decl && std::strncmp(decl, "DATE", 4) == 0) || hint == Hint::kDate ? SQLT_DAT : 0;
  }

  void Assign(const std::string& bind, const Cell& c, const Token& at, ub2 ora_type = 0) {
    Bind* b = FindBind(s_, bind, -1);
    if (!b) {
      throw At(MakeError(1008), at);
    }
    ub2 type = ora_type ? ora_type : c.type == SQLITE_INTEGER || c.type == SQLITE_FLOAT ? SQLT_NUM : SQLT_CHR;
    // A LOB variable takes any value as a new temporary LOB, as Oracle's
    // implicit conversion gives it.
    const bool lob = !ora_type && (b->t.dty == SQLT_CLOB || b->t.dty == SQLT_BLOB);
    if (lob) type = b->t.dty;
    if (WriteCell(c, type, b->t, 0, c_) == 1406) throw MakeError(6502);
    if (lob && c.type != SQLITE_NULL) (*reinterpret_cast<LobDesc**>(b->t.ValueAt(0)))->temporary = true;
    if (b->curele) *b->curele = 1;
  }

  size_t Block(size_t i, bool exec) {
    Level level(depth_, t_[i]);
    Expect(i, "BEGIN");
    std::optional<OraError> pending;
    i = List(i + 1, exec, &pending, {"EXCEPTION", "END"});
    if (t_[i].Is("EXCEPTION")) {
      bool handled = false;
      ++i;
      while (t_[i].Is("WHEN")) {
        bool match = false;
        ++i;
        for (;;) {
          const Token& name = t_[i];
          if (name.kind != Tok::kIdent) Fail(name);
          if (pending && !handled) {
            int code = pending->code();
            match |= name.Is("OTHERS") || (name.Is("NO_DATA_FOUND") && code == 1403) ||
                     (name.Is("TOO_MANY_ROWS") && code == 1422) ||
                     (name.Is("DUP_VAL_ON_INDEX") && code == 1) ||
                     (name.Is("VALUE_ERROR") && code == 6502) ||
                     (name.Is("ZERO_DIVIDE") && code == 1476);
          }
          ++i;
          if (!t_[i].Is("OR")) break;
          ++i;
        }
        Expect(i, "THEN");
        bool run = exec && match && !handled;
        if (run) handled = true;
        std::optional<OraError> inner;
        i = List(i + 1, run, &inner, {"WHEN", "END"});
        if (inner) throw *inner;
      }
      if (handled) pending.reset();
    }
    Expect(i, "END");
    ++i;
    if (t_[i].kind == Tok::kIdent) ++i;  // block label
    Expect(i, ";");
    if (pending) throw *pending;
    return i + 1;
  }

  size_t List(size_t i, bool exec, std::optional<OraError>* pending,
              std::initializer_list<const char*> stop) {
    for (;;) {
      for (const char* w : stop)
        if (t_[i].Is(w)) return i;
      if (t_[i].kind == Tok::kEnd) Fail(t_[i]);
      bool run = exec && !*pending;
      try {
        i = Statement(i, run);
      } catch (OraError& e) {
        if (!run || e.code() == 6550) throw;
        *pending = e;
        i = Statement(i, false);
      }
    }
  }

  size_t Statement(size_t i, bool exec) {
    const Token& t = t_[i];
    if (t.Is("BEGIN")) return Block(i, exec);
    if (t.Is("NULL")) { Expect(i + 1, ";"); return i + 2; }
    if (t.Is("IF")) return If(i, exec);
    size_t end = StatementEnd(i);
    if (!exec) return end + 1;
    if (t.kind == Tok::kBind && t_[i + 1].IsSym(":=")) {
      if (i + 2 >= end) Fail(t_[end]);
      std::string target = t.text;
      Hint hint = LeadingHint(t_[i + 2]);
      Evaluate(i + 2, end, [&](sqlite3_stmt* st) { Assign(target, Cell::Column(st, 0), t, ResultType(st, 0, hint)); });
    } else if (t.Is("SELECT")) {
      SelectInto(i, end);
    } else if (t.Is("INSERT") || t.Is("UPDATE") || t.Is("DELETE")) {
      std::vector<Token> part = Slice(i, end);
      Translation tr = Translate(part, 0, part.size() - 1, c_);
      c_.BeginWrite(false);
      RunTranslated(s_, c_, tr.sql, [&](sqlite3_stmt* st) {
        for (size_t j = 0; j < tr.into_binds.size(); ++j) {
          bool date = j < tr.into_hints.size() && tr.into_hints[j] == Hint::kDate;
          Assign(tr.into_binds[j], Cell::Column(st, static_cast<int>(j)), t, date ? SQLT_DAT : 0);
        }
      }, 0);
    } else if (t.Is("COMMIT")) {
      c_.Commit();
    } else if (t.Is("ROLLBACK")) {
      if (t_[i + 1].Is("TO")) {
        size_t n = t_[i + 2].Is("SAVEPOINT") ? i + 3 : i + 2;
        c_.Exec("ROLLBACK TO " + QuoteIdent(t_[n].text));
      } else {
        c_.Rollback();
      }
    } else if (t.Is("SAVEPOINT")) {
      c_.BeginWrite(false);
      c_.Exec("SAVEPOINT " + QuoteIdent(t_[i + 1].text));
    } else if (t.Is("RAISE_APPLICATION_ERROR") && t_[i + 1].IsSym("(")) {
      size_t comma = i + 2;
      while (comma < end && !t_[comma].IsSym(",")) ++comma;
      long code = 0;
      std::string msg;
      Evaluate(i + 2, comma, [&](sqlite3_stmt* st) { code = static_cast<long>(sqlite3_column_int64(st, 0)); });
      Evaluate(comma + 1, match_[i + 1], [&](sqlite3_stmt* st) {
        const unsigned char* p = sqlite3_column_text(st, 0);
        msg = p ? reinterpret_cast<const char*>(p) : "";
      });
      if (code > -20000 || code < -20999) throw MakeError(21000, std::to_string(code));
      char prefix[32];
      std::snprintf(prefix, sizeof prefix, "ORA-%05d: ", static_cast<int>(-code));
      int line = 1;
      for (size_t k = 0; k < t.pos; ++k) line += s_.text[k] == '\n';
      throw OraError(static_cast<int>(-code), prefix + msg + "\nORA-06512: at line " + std::to_string(line) + "\n");
    } else if (t.Is("OPEN") && t_[i + 1].kind == Tok::kBind && t_[i + 2].Is("FOR") && i + 3 < end) {
      Bind* b = FindBind(s_, t_[i + 1].text, -1);
      if (!b) throw MakeError(1008);
      if (b->t.dty != SQLT_RSET || !b->t.value) throw At(MakeError(932, "REF CURSOR", "CHAR"), t_[i + 1]);
      auto* cursor = *static_cast<Stmt**>(b->t.value);
      if (!IsHandle(cursor, OCI_HTYPE_STMT) || cursor == &s_) throw MakeError(600, "cursor handle");
      const size_t from = t_[i + 3].pos;
      OpenRefCursor(s_, *cursor, s_.text.substr(from, t_[end].pos - from));
      if (sb2* ind = b->t.IndAt(0)) *ind = 0;
    } else if (t.Is("EXECUTE") && t_[i + 1].Is("IMMEDIATE") && i + 2 < end) {
      if (t_[i + 2].kind != Tok::kString && t_[i + 2].kind != Tok::kBind) Fail(t_[i + 2]);
      std::string text;
      Evaluate(i + 2, end, [&](sqlite3_stmt* st) {
        const unsigned char* p = sqlite3_column_text(st, 0);
        text = p ? reinterpret_cast<const char*>(p) : "";
      });
      ExecuteImmediate(s_, text);
    } else if (t.Is("DBMS_OUTPUT")) {
      // output is not collected
    } else {
      Fail(t);
    }
    return end + 1;
  }

  void SelectInto(size_t i, size_t end) {
    size_t into = i;
    while (into < end && !t_[into].Is("INTO")) into = Next(into);
    if (into == end) {
      OraError e = MakeError(6550, "1", "1", "SELECT");
      throw e;
    }
    size_t from = into;
    std::vector<std::string> targets;
    for (++from; from < end && !t_[from].Is("FROM"); ++from)
      if (t_[from].kind == Tok::kBind) targets.push_back(t_[from].text);
    std::vector<Token> part(t_.begin() + static_cast<long>(i), t_.begin() + static_cast<long>(into));
    part.insert(part.end(), t_.begin() + static_cast<long>(from), t_.begin() + static_cast<long>(end));
    Token e;
    e.pos = t_[end].pos;
    part.push_back(e);
    Translation tr = Translate(part, 0, part.size() - 1, c_);
    int rows = 0;
    RunTranslated(s_, c_, tr.sql, [&](sqlite3_stmt* st) {
      if (++rows > 1) throw MakeError(1422);
      for (size_t j = 0; j < targets.size(); ++j) {
        int col = static_cast<int>(j);
        Hint hint = j < tr.items.size() ? tr.items[j].hint : Hint::kUnknown;
        Assign(targets[j], Cell::Column(st, col), t_[i], ResultType(st, col, hint));
      }
    }, 0);
    if (rows == 0) throw MakeError(1403);
  }

  size_t If(size_t i, bool exec) {
    Level level(depth_, t_[i]);
    bool taken = false;
    size_t k = i;
    for (;;) {
      // k at IF or ELSIF
      size_t then = k + 1;
      while (!t_[then].Is("THEN") && t_[then].kind != Tok::kEnd) then = Next(then);
      if (t_[then].kind == Tok::kEnd) Fail(t_[then]);
      bool cond = false;
      if (exec && !taken) {
        std::string expr = TranslateExpression(t_, k + 1, then, c_);
        RunTranslated(s_, c_, "SELECT CASE WHEN (" + expr + ") THEN 1 ELSE 0 END",
                      [&](sqlite3_stmt* st) { cond = sqlite3_column_int(st, 0) == 1; }, 0);
      }
      std::optional<OraError> inner;
      size_t next = List(then + 1, exec && cond && !taken, &inner, {"ELSIF", "ELSE", "END"});
      if (inner) throw *inner;
      taken |= cond;
      if (t_[next].Is("ELSIF")) { k = next; continue; }
      if (t_[next].Is("ELSE")) {
        std::optional<OraError> other;
        next = List(next + 1, exec && !taken, &other, {"END"});
        if (other) throw *other;
      }
      Expect(next, "END");
      Expect(next + 1, "IF");
      Expect(next + 2, ";");
      return next + 3;
    }
  }

  Stmt& s_;
  Connection& c_;
  const std::vector<Token>& t_;
  std::vector<size_t> match_;
  int depth_ = 0;  // of BEGIN and IF
};

}  // namespace

void ExecutePlsql(Stmt& s, Connection& conn) {
  try {
    Plsql(s, conn).Run();
  } catch (const TooDeep& deep) {
    throw deep.error;
  }
}

}  // namespace kavo::ocisqlite
