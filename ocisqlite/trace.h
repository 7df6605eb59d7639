// A trace of what the stand-in is asked to do, for tests: when the
// environment variable OCISQLITE_TRACE names a file, every executed
// statement (not describe-only ones) and every commit and rollback of a
// session's transaction is appended to it, one record per line: the
// statement text with its line breaks written as "\n" and trailing blanks
// dropped, or "commit" / "rollback".
#ifndef OCISQLITE_TRACE_H
#define OCISQLITE_TRACE_H

#include <string>

namespace kavo::ocisqlite {

void TraceRecord(const std::string& text);

}  // namespace kavo::ocisqlite

#endif
