// The two commands an operator runs by hand beside the resident service:
// /CHECK tries every step of a cycle that reads, and changes nothing;
// /ONCE runs one real cycle in the foreground.
#ifndef KAVO_SERVICE_OPERATOR_COMMANDS_H_
#define KAVO_SERVICE_OPERATOR_COMMANDS_H_

#include <functional>

#include "rtl/ustring.h"

namespace kavo {

class TKavoServicoIntegrador;

// Where the commands' lines go (one line each, without its line end).
using OutputLine = std::function<void(const String&)>;

// Reads the INI beside the executable, logs on to Oracle, opens the
// interface table's pending rows, attaches the Firebird database and
// prepares the stored insert; one line per step, "OK   " or "FAIL " first
// ("SKIP " for a step whose ground failed). Writes no log line, no row.
// Returns 0 when every step passed, else 1.
int RunCheck(TKavoServicoIntegrador& module, const OutputLine& out);

// The checks of RunCheck, silently; when one fails, its lines go to `err`
// and nothing else happens (1). Else one cycle as a tick runs it (the INI
// read, then Integrar), each log line echoed to `out`: 0 once the cycle
// ended, 1 when it raised (the message goes to `err` and to the event log).
int RunOnce(TKavoServicoIntegrador& module, const OutputLine& out, const OutputLine& err);

}  // namespace kavo

#endif  // KAVO_SERVICE_OPERATOR_COMMANDS_H_
