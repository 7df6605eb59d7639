// The pieces of the whole-cycle benchmark that call the client libraries
// directly (the stand-in's oci.h and ibase.h; the layer's own OCI
// declarations cannot meet oci.h in one file): the two databases, their
// reset and read-back between passes, and the cycle done by hand.
#ifndef KAVO_BENCH_SERVICE_RAW_CYCLE_H_
#define KAVO_BENCH_SERVICE_RAW_CYCLE_H_

#include <memory>
#include <string>
#include <vector>

namespace kavo::bench {

// The interface table's owner, as the service's INI names it.
inline constexpr const char* kOracleUser = "v9norvelo";
inline constexpr const char* kOraclePassword = "secret";
// The staging database's user, as the module's connection is stored.
inline constexpr const char* kFirebirdUser = "VAVAVOR";

// One pending row of the interface table; texts in UTF-8.
struct PendingRow {
  int codigo = 0;
  std::string acao, dados, hora, tipo, versao;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;  // DT_H_GRAV
  // The staged row as ReadStaged gives it, in ISO8859_1.
  std::string Staged() const;
};
std::vector<PendingRow> MakeRows(int count);

// What a pass left behind: the interface table's rows by state, and the
// staging table's rows in NRECNO order as
// "ACAO|DADOS|DATA|HORA|TIPO|VERSAO|STATUS|ERRO|STATUS_INTEGRACAO|ERRO_INTEGRACAO|numbered".
struct PassResult {
  long marked = 0;    // STATUS 'X', ERRO null
  long pending = 0;   // STATUS 'A'
  long total = 0;
  std::vector<std::string> staged;
};

// The stand-in store: a new one at `path` with the owner and the interface
// table (the admin tool `tool` creates it), and its rows reset to `rows`,
// all pending.
void CreateStore(const std::string& tool, const std::string& path);
void ResetStore(const std::string& path, const std::vector<PendingRow>& rows);

// The staging database: a new one (forced writes off) with TMP_INTEGRACAO
// numbered by its trigger, and the table made anew before a pass.
void CreateStagingDatabase(const std::string& path);
void ResetStaging(const std::string& path);

PassResult ReadResult(const std::string& store, const std::string& database);

// The cycle through the client APIs alone; with `parse_each_execution` every
// Oracle statement is prepared anew for each execution, as the module's
// record set has the server parse them.
class RawCycle {
 public:
  virtual ~RawCycle() = default;
  virtual void Pass() = 0;
};
std::unique_ptr<RawCycle> MakeRawCycle(const std::string& store, const std::string& database,
                                       bool parse_each_execution);

}  // namespace kavo::bench

#endif  // KAVO_BENCH_SERVICE_RAW_CYCLE_H_
