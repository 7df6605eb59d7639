// Running statements: classification at prepare time, execution with binds,
// describe of the select list, and fetching rows into defined buffers.
#ifndef OCISQLITE_STATEMENT_H
#define OCISQLITE_STATEMENT_H

#include <functional>

#include "handles.h"
#include "values.h"

namespace kavo::ocisqlite {

Kind Classify(const std::vector<Token>& toks, ub2* fncode);
ub2 StatementType(Kind kind);

// Both return an OCI status and leave Oracle's error on err.
sword Execute(Stmt& s, SvcCtx& svc, ErrorHandle& err, ub4 iters, ub4 rowoff, ub4 mode);
sword Fetch(Stmt& s, ErrorHandle& err, ub4 nrows);

// The select list of the statement prepared on s.st, as Oracle types it (s.cols).
void Describe(Stmt& s);

// Runs translated SQL with the statement's binds; calls on_row for each result row.
// Used by PL/SQL blocks and DML. Returns the rows changed.
int64_t RunTranslated(Stmt& s, Connection& conn, const std::string& sql,
                      const std::function<void(sqlite3_stmt*)>& on_row, ub4 element);

// Finds the bind for a placeholder name (upper-cased, without colon).
Bind* FindBind(Stmt& s, const std::string& name, int position);

// OPEN :cursor FOR query in a PL/SQL block: the query runs on the client's
// statement handle bound as SQLT_RSET, with the block's binds it names.
void OpenRefCursor(Stmt& block, Stmt& cursor, const std::string& query);

// EXECUTE IMMEDIATE of a text in a PL/SQL block: the text runs as a statement
// of its own on the block's session, without binds.
void ExecuteImmediate(Stmt& block, const std::string& text);

void ExecuteDdl(Stmt& s, Connection& conn);
void ExecutePlsql(Stmt& s, Connection& conn);

}  // namespace kavo::ocisqlite

#endif
