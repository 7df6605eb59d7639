// The translator behind translate.h, shared by the files that each handle one
// part of a statement: translate.cpp (output and entry), translate_select.cpp
// (queries and FROM lists), translate_dml.cpp (INSERT, UPDATE, DELETE and
// RETURNING), translate_expression.cpp (operators, functions, ROWID, ROWNUM)
// and translate_hint.cpp (what an expression's shape tells about its type).
// Internal to the translation: nothing outside those files includes it.
#ifndef OCISQLITE_TRANSLATOR_H
#define OCISQLITE_TRANSLATOR_H

#include <cstdint>
#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "lexer.h"
#include "translate.h"

namespace kavo::ocisqlite {

// Words that end a table reference instead of naming its alias.
const std::set<std::string>& AliasStop();

// The type an Oracle function (or pseudo-column) yields, kUnknown if it depends.
Hint FunctionHint(const std::string& f);

class Translator {
 public:
  Translator(const std::vector<Token>& toks, Resolver& res)
      : t_(toks), match_(MatchParens(toks)), res_(res) {}

  Translation Statement(size_t b, size_t e);
  std::string Expression(size_t b, size_t e);

 private:
  struct Scope {
    std::map<std::string, ObjectRef> aliases;
    std::vector<std::pair<std::string, ObjectRef>> tables;  // alias, table
    Scope* parent = nullptr;
    bool bare_rowid = false;  // inside RETURNING: the row is the target row itself
  };

  // Output (translate.cpp)
  void Emit(const std::string& s, size_t src);
  size_t Skip(size_t i) const;
  size_t Find(size_t b, size_t e, std::initializer_list<const char*> words) const;
  bool Lookup(Scope& scope, const std::string& alias, ObjectRef* out);

  // Queries (translate_select.cpp)
  void Query(size_t b, size_t e, Scope* parent, bool top);
  void SimpleSelect(size_t b, size_t e, Scope* parent, bool top);
  void SelectList(size_t b, size_t e, Scope& scope, bool top);
  void Item(size_t b, size_t e, Scope& scope, bool top);
  void FromList(size_t b, size_t e, Scope& scope, bool emit);
  size_t TableRef(size_t i, size_t e, Scope& scope, bool emit);
  size_t ParseObjectName(size_t i, size_t e, ObjectRef* ref);

  // Types (translate_hint.cpp)
  Hint ExprHint(size_t b, size_t e, Scope& scope);
  Hint ColumnHint(Scope& scope, const std::string& alias, const std::string& name);

  // DML (translate_dml.cpp)
  void Returning(size_t b, size_t e, Scope& scope);
  size_t Target(size_t i, size_t e, Scope& scope);
  std::string Converter(const std::string& column) const;
  void Value(size_t b, size_t e, const std::string& column, Scope& scope);
  void Insert(size_t b, size_t e);
  void Update(size_t b, size_t e);
  void Delete(size_t b, size_t e);
  void Implicit();

  // Expressions (translate_expression.cpp)
  std::string RowidExpr(Scope& scope, const std::string& alias, const Token& at);
  std::string RowidColumn(Scope& scope, const std::string& alias, const Token& at, uint32_t* obj);
  bool StartsCondition(size_t i, size_t b) const;
  static bool Boundary(const Token& t);
  static bool EndsOperand(const Token& t);
  bool OperatorChain(size_t& i, size_t e, Scope& scope);
  bool RownumLimit(size_t& i, size_t b, size_t e, long* limit);
  void Parenthesis(size_t& i, size_t b, size_t e, Scope& scope, long* limit);
  void QualifiedName(size_t& i, size_t e, Scope& scope);
  void FunctionName(size_t& i, Scope& scope);
  void Identifier(size_t& i, size_t e, Scope& scope);
  void Expr(size_t b, size_t e, Scope& scope, long* limit, bool chains = true);
  static bool Keyword(const std::string& s);
  static std::string Name(const Token& t);
  static std::string Operand(const Token& t);

  const std::vector<Token>& t_;
  std::vector<size_t> match_;
  Resolver& res_;
  Translation tr_;
  std::vector<ColumnInfo> columns_;  // of the DML target
};

}  // namespace kavo::ocisqlite

#endif
