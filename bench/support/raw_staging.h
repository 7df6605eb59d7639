// The staging table (TMP_INTEGRACAO's columns, numbered by a trigger from
// GEN_TMP_INTEGRACAO) as the benchmarks make it, fill it through ibase.h and
// read it back.
#ifndef KAVO_BENCH_RAW_STAGING_H_
#define KAVO_BENCH_RAW_STAGING_H_

#include <ibase.h>

#include <ctime>
#include <string>
#include <vector>

#include "raw_firebird.h"

namespace kavo::bench {

// TMP_<suffix> made anew, with its numbering trigger; the generator must
// exist.
void MakeStagingTable(RawConnection& c, const std::string& suffix);

// The service's insert into TMP_<suffix>: every column, in name order, as
// ":NAME" markers when `named`, else "?".
std::string StagingInsertSql(const std::string& suffix, bool named);

// One text column per row, in NRECNO order:
// "ACAO|DADOS|DATA|HORA|TIPO|VERSAO|STATUS|ERRO|STATUS_INTEGRACAO|ERRO_INTEGRACAO|numbered",
// nulls as '~', DATA as YYYY-MM-DD, HORA as HH:MM:SS.ffff (HH:MM:SS when
// `whole_seconds`).
std::string StagingReadBackSql(const std::string& suffix, bool whole_seconds = false);

// The insert's eleven parameters bound by hand in one XSQLDA, as a program
// written against the client API would: the texts as counted bytes in the
// connection's character set, the columns the service leaves null as nulls,
// and STATUS 'PROCESSAR'.
class StagingInsertParams {
 public:
  StagingInsertParams();
  StagingInsertParams(const StagingInsertParams&) = delete;
  StagingInsertParams& operator=(const StagingInsertParams&) = delete;

  // Texts longer than 2000 bytes are cut there.
  void Set(const std::string& acao, const std::string& dados, std::tm date, std::tm time,
           const std::string& tipo, const std::string& versao);
  XSQLDA* In() { return reinterpret_cast<XSQLDA*>(block_.data()); }

 private:
  struct Varying {
    std::vector<char> buffer = std::vector<char>(2 + 2000);
    void Set(const std::string& bytes, XSQLVAR& var);
  };
  std::vector<char> block_;
  Varying acao_, dados_, status_, tipo_, versao_;
  ISC_DATE date_ = 0;
  ISC_TIME time_ = 0;
  short present_ = 0, null_ = -1;
  alignas(8) char nothing_[8] = {};
};

}  // namespace kavo::bench

#endif  // KAVO_BENCH_RAW_STAGING_H_
