// One integration cycle: copies the pending Oracle interface rows into the
// Firebird staging table and marks each Oracle row, logging every step.
//
// The service module's Integrar() is this function applied to its
// components, its configuration fields, its Logar and the log's date-time
// text.
#ifndef KAVO_SERVICE_INTEGRATION_CYCLE_H_
#define KAVO_SERVICE_INTEGRATION_CYCLE_H_

#include <functional>

#include "recordset/roles.h"
#include "rtl/ustring.h"

namespace kavo {

// The module's components by their names. IBTransaction is reached as
// FB_TMP_INTEGRACAO.Transaction(), the transaction the record set runs in.
struct IntegrationComponents {
  roles::OracleSession& OracleSession;
  roles::OracleDataSet& OracleDataSet;
  roles::IBDatabase& IBDatabase;
  roles::IBDataSet& FB_TMP_INTEGRACAO;
};

// The module's configuration fields, as loaded before the cycle.
struct IntegrationSettings {
  String CAMINHO_ORACLE;
  String USUARIO_ORACLE;
  String SENHA_ORACLE;
  String CAMINHO_FIREBIRD;
};

// Logar: appends one line to the activity log (may raise).
// DateTimeText: the current date-time text of the log, built each time a
// line needs it.
using LogarFunction = std::function<void(const String&)>;
using DateTimeTextFunction = std::function<String()>;
// Writes one error event (the service's event log).
using EventFunction = std::function<void(const String&)>;

class ExactlyOnceDelivery;

// Each row is put in edit (checked against the server and locked) before it
// is copied, so a row another session holds or has changed is never copied;
// the copy is committed in Firebird before the Oracle row's post, and a
// failure between the two (the process dies, the post fails) is the one way
// a row can be copied twice.
//
// With `delivery` (exactly-once mode, service/exactly_once.h) the cycle
// resolves the limbo transactions left behind before the Firebird record set
// opens, prepares each row's Firebird transaction instead of committing it,
// and commits it only once the Oracle row's "X" is committed; a failed
// Oracle post leaves it in limbo and ends the cycle. Without, the cycle is
// the plain one.
//
// Runs one cycle. Two handlers exist, both for Exception and its kin: one
// around the opening of both sides, which only logs; one around the copy of
// each row, which undoes the row's Firebird work (a pending insert is
// cancelled, and once a post was tried without a commit following, the
// transaction is rolled back retaining) and writes the error
// into the Oracle row's ERRO, cut to the column by whole characters. When
// that write fails too, its failure is logged and reported as an event, the
// row's edit is cancelled (the row stays pending) and the cycle goes on with
// the next row. Everything else escapes to the caller with the record sets
// and connections as they are; among it a failure to undo a row's Firebird
// work, a row another session holds, and the closed-dataset error of the
// record count when the Oracle side did not open.
void RunIntegrationCycle(const IntegrationComponents& components,
                         const IntegrationSettings& settings, const LogarFunction& Logar,
                         const DateTimeTextFunction& DT, const EventFunction& ReportEvent = {},
                         ExactlyOnceDelivery* delivery = nullptr);

}  // namespace kavo

#endif  // KAVO_SERVICE_INTEGRATION_CYCLE_H_
