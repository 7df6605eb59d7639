// The stored settings of the module's Firebird connection IBDatabase and its
// transaction IBTransaction, and what becomes of their stored open state.
#ifndef KAVO_SERVICE_STORED_FIREBIRD_CONNECTION_H_
#define KAVO_SERVICE_STORED_FIREBIRD_CONNECTION_H_

#include "ib/ib_database.h"
#include "ib/ib_transaction.h"

namespace kavo {

// The design-time database the connection was stored with.
extern const Char* const kStoredDatabaseName;

// In the stored order: Connected true (only recorded while loading),
// DatabaseName, the three Params lines, LoginPrompt false, ServerType
// "IBServer", which loads the client library at once. DefaultTransaction is
// the module's to resolve once every component exists. A setting that fails
// raises "Error reading IBDatabase.<setting>: <message>".
void ApplyStoredSettings(TIBDatabase& db);

// Active true (only recorded while loading), DefaultDatabase `db` (which puts
// the transaction on the connection's list at once), the three Params lines.
void ApplyStoredSettings(TIBTransaction& tr, TIBDatabase& db);

// "E:\..." or "e:/...": a letter and a colon. The Firebird client here reads
// the letter as a host name.
bool IsDriveLetterPath(StringView path);

// Called before loading ends. A stored connection whose path is a drive-letter
// path is not attached after creation (no client call at all), so the stored
// user and password never go to whatever host answers to that letter: it ends
// as when the design-time database is absent, closed, with no transaction
// started. Any other path is left to the connection's own after-creation
// attach.
void DropUnreachableStoredAttach(TIBDatabase& db);

}  // namespace kavo

#endif  // KAVO_SERVICE_STORED_FIREBIRD_CONNECTION_H_
