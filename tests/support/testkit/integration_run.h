// The service run as the service manager runs it, with real databases on
// both sides: a stand-in store with the interface table
// v9norvelo."INTERFACE_ORCL" (found through ORACLE_HOME, the stand-in home),
// a Firebird database with the staging table TMP_INTEGRACAO (embedded, or
// served on 127.0.0.1:3050), and the INI naming both.
#ifndef KAVO_TESTKIT_INTEGRATION_RUN_H_
#define KAVO_TESTKIT_INTEGRATION_RUN_H_

#include <chrono>
#include <initializer_list>
#include <string>
#include <vector>

#include "rtl/ustring.h"
#include "testkit/ib_support.h"
#include "testkit/oracle_standin.h"
#include "testkit/service_process.h"

namespace kavo::test {

class IntegrationRun {
 public:
  enum class Firebird { kEmbedded, kServer };
  explicit IntegrationRun(Firebird firebird = Firebird::kEmbedded);

  // --- the Oracle side ---
  // Pending rows CODIGO first .. first + count - 1, each with `hora`, TIPO
  // `tipo`, DADOS "dados <CODIGO>" and DT_H_GRAV 2026-12-08.
  void AddPendingRows(int first, int count, const std::string& hora = "10:11:12",
                      const std::string& tipo = "PEDIDO");
  const std::string& OracleStore() const { return oracle_.Store(); }
  // Runs a script as the table's owner; fails the test when it fails.
  void OracleSql(const std::string& script);
  // One column of the row with that CODIGO as the admin tool prints it
  // (NULL as nothing; line breaks as they are).
  std::string Column(const std::string& column, int codigo);
  int Count(const std::string& where);

  // --- the Firebird side ---
  // The name the INI gives: a local path, or "127.0.0.1:" + path.
  const String& FirebirdName() const { return firebird_name_; }
  // Runs statements in a transaction of their own and commits.
  void FirebirdSql(std::initializer_list<const Char*> sql);
  // The rows of TMP_INTEGRACAO in NRECNO order, each as
  // "ACAO|DADOS|DATA|HORA|TIPO|VERSAO|STATUS|ERRO|STATUS_INTEGRACAO|ERRO_INTEGRACAO|NRECNO"
  // with NULL as "<null>", DATA as yyyy-mm-dd and HORA as hh:mm:ss.
  std::vector<std::string> StagedRows();

  // --- the service ---
  ServiceProcess& Process() { return process_; }
  // Writes the INI naming both databases, with MINUTOS=1 and the lines
  // `extra_ini` (each ending in CR LF).
  void WriteIni(const std::string& extra_ini = "");
  // Starts it with that INI and a minute of `minute_ms`.
  void Start(int minute_ms, const std::string& extra_ini = "");
  // Waits until `cycles` cycles have logged " Processo Encerrado ".
  bool WaitForCycles(int cycles, std::chrono::milliseconds timeout);
  // Waits until the event file holds `events` lines.
  bool WaitForEvents(size_t events, std::chrono::milliseconds timeout);
  // Stops it with SIGTERM; its exit code.
  int Stop();
  // The activity log with every date-time written as "<DT>".
  std::vector<std::string> Log() const;

 private:
  // The one value a query selects, as the admin tool prints it.
  std::string Value(const std::string& select);

  // In memory: every row's commit would otherwise wait for the disk.
  StandIn oracle_{"/dev/shm/kavo-oracle-"};
  DatabaseDir firebird_dir_;
  std::string firebird_path_;
  String firebird_name_;
  ServiceProcess process_;
};

// The lines of `log` from the `n`th " Iniciado integracao " (from 1) to the
// " Processo Encerrado " that ends it, both included; empty when missing.
std::vector<std::string> Cycle(const std::vector<std::string>& log, int n);

}  // namespace kavo::test

#endif  // KAVO_TESTKIT_INTEGRATION_RUN_H_
