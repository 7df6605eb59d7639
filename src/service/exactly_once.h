// Exactly-once delivery (INI key ENTREGA_UNICA): no row copied twice, also
// when the process dies between the Firebird and the Oracle commit.
//
// Per row: the Oracle row is locked (as always), the Firebird row inserted
// and its transaction prepared (two-phase) with a description naming the
// Oracle row; then the Oracle row is marked "X" and committed; then the
// Firebird transaction is committed. The Oracle commit is the decision: a
// prepared transaction left behind (the process died, a connection dropped)
// is committed when its Oracle row is "X" and rolled back when it is still
// pending, by the recovery at the start of the next cycle. An Oracle post or
// commit that failed is never guessed at: the Firebird transaction stays in
// limbo for the recovery, which reads what Oracle holds.
//
// Two services on the same tables: the Firebird server lists a prepared
// transaction as in limbo only once its owner's attachment is gone (the
// listing waits while the owner lives), and the recovery decides with the
// Oracle row locked (FOR UPDATE NOWAIT): a row another session holds keeps
// its limbo transaction for a later cycle, and two recoveries never
// resolve the same one.
#ifndef KAVO_SERVICE_EXACTLY_ONCE_H_
#define KAVO_SERVICE_EXACTLY_ONCE_H_

#include <cstdint>
#include <optional>

#include "service/integration_cycle.h"

namespace kavo {

class TIBDatabase;
class TIBDataSet;
class TOracleSession;
class TOracleDataSet;

// What the cycle asks of the delivery, at the points where the plain cycle
// commits the Firebird row.
class ExactlyOnceDelivery {
 public:
  virtual ~ExactlyOnceDelivery() = default;
  // Both sides open (the Firebird connection attached here when it is not),
  // before the Firebird record set opens: a limbo record would fail its
  // select. Resolves this service's limbo transactions, one log line each.
  virtual void ResolveLimbo() = 0;
  // The row posted in Firebird, its Oracle row locked: prepares the
  // Firebird transaction. A limbo transaction naming the same Oracle row
  // (left by a process that died after this cycle's recovery) is rolled
  // back first: the row is pending and held by this session.
  virtual void PrepareRow() = 0;
  // The Oracle row's "X" is committed: commits the Firebird row.
  virtual void CommitRow() = 0;
  // The Oracle post or commit failed: leaves the prepared Firebird
  // transaction in limbo (the connection is closed without ending it).
  // Raises nothing.
  virtual void LeaveRowInLimbo() = 0;
};

// The INI value of ENTREGA_UNICA: empty or missing is off; 1, S, SIM, Y,
// YES, TRUE are on; 0, N, NAO, NO, FALSE off (any case). Anything else is
// nullopt: the caller says so and keeps the delivery on, the side that
// copies no row twice.
std::optional<bool> EntregaUnicaFromText(StringView text);

// The description of a row's prepared transaction, and its reading back;
// nullopt for a description this service did not write.
struct LimboRow {
  String rowid;
  String codigo;
};
String LimboDescription(const LimboRow& row, const String& owner);
std::optional<LimboRow> ParseLimboDescription(StringView description);

// The delivery over the module's real components.
class TExactlyOnceDelivery : public ExactlyOnceDelivery {
 public:
  TExactlyOnceDelivery(TIBDatabase& database, TIBDataSet& target, TOracleSession& session,
                       TOracleDataSet& source, LogarFunction logar, DateTimeTextFunction dt);

  void ResolveLimbo() override;
  void PrepareRow() override;
  void CommitRow() override;
  void LeaveRowInLimbo() override;

 private:
  // Ends limbo transaction `id` by commit or rollback; its log line.
  String Resolve(int64_t id, const String& description, bool commit);

  TIBDatabase& database_;
  TIBDataSet& target_;
  TOracleSession& session_;
  TOracleDataSet& source_;
  LogarFunction Logar;
  DateTimeTextFunction DT;
};

}  // namespace kavo

#endif  // KAVO_SERVICE_EXACTLY_ONCE_H_
