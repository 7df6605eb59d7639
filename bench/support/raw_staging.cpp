#include "raw_staging.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace kavo::bench {
namespace {

const char* const kColumns[] = {"ACAO",   "DADOS",  "DATA",
                                "ERRO",   "ERRO_INTEGRACAO", "HORA",
                                "NRECNO", "STATUS", "STATUS_INTEGRACAO",
                                "TIPO",   "VERSAO"};
constexpr short kParams = sizeof kColumns / sizeof kColumns[0];

}  // namespace

void MakeStagingTable(RawConnection& c, const std::string& suffix) {
  const std::string table = "TMP_" + suffix;
  c.Run("RECREATE TABLE " + table +
        " (NRECNO BIGINT, ACAO VARCHAR(3), DADOS VARCHAR(500), DATA DATE, HORA TIME, "
        "TIPO VARCHAR(50), VERSAO VARCHAR(10), STATUS VARCHAR(10), ERRO VARCHAR(200), "
        "STATUS_INTEGRACAO VARCHAR(10), ERRO_INTEGRACAO VARCHAR(200))");
  c.Run("CREATE TRIGGER " + table + "_BI FOR " + table +
        " BEFORE INSERT AS BEGIN IF (NEW.NRECNO IS NULL) THEN "
        "NEW.NRECNO = GEN_ID(GEN_TMP_INTEGRACAO, 1); END");
}

std::string StagingInsertSql(const std::string& suffix, bool named) {
  std::string names, markers;
  for (const char* c : kColumns) {
    names += std::string(names.empty() ? "" : ", ") + c;
    markers += std::string(markers.empty() ? "" : ", ") + (named ? ":" + std::string(c) : "?");
  }
  return "insert into TMP_" + suffix + " (" + names + ") values (" + markers + ")";
}

std::string StagingReadBackSql(const std::string& suffix, bool whole_seconds) {
  const std::string hora = whole_seconds ? "substring(cast(HORA as varchar(13)) from 1 for 8)"
                                         : "cast(HORA as varchar(13))";
  return "select coalesce(ACAO,'~')||'|'||coalesce(DADOS,'~')||'|'||"
         "coalesce(cast(DATA as varchar(10)),'~')||'|'||coalesce(" + hora + ",'~')||"
         "'|'||coalesce(TIPO,'~')||'|'||coalesce(VERSAO,'~')||'|'||coalesce(STATUS,'~')||'|'||"
         "coalesce(ERRO,'~')||'|'||coalesce(STATUS_INTEGRACAO,'~')||'|'||"
         "coalesce(ERRO_INTEGRACAO,'~')||'|'||trim(iif(NRECNO is null,'unnumbered','numbered')) "
         "from TMP_" + suffix + " order by NRECNO";
}

StagingInsertParams::StagingInsertParams() : block_(XSQLDA_LENGTH(kParams)) {
  XSQLDA* in = In();
  in->version = SQLDA_VERSION1;
  in->sqln = in->sqld = kParams;
  auto set = [&](int i, short type, void* data, short* indicator, short len) {
    XSQLVAR& v = in->sqlvar[i];
    v.sqltype = static_cast<short>(type + 1);  // nullable
    v.sqlscale = 0;
    v.sqlsubtype = 0;
    v.sqllen = len;
    v.sqldata = static_cast<char*>(data);
    v.sqlind = indicator;
  };
  set(0, SQL_VARYING, acao_.buffer.data(), &present_, 0);
  set(1, SQL_VARYING, dados_.buffer.data(), &present_, 0);
  set(2, SQL_TYPE_DATE, &date_, &present_, sizeof date_);
  set(3, SQL_VARYING, nothing_, &null_, 0);
  set(4, SQL_VARYING, nothing_, &null_, 0);
  set(5, SQL_TYPE_TIME, &time_, &present_, sizeof time_);
  set(6, SQL_INT64, nothing_, &null_, 8);
  set(7, SQL_VARYING, status_.buffer.data(), &present_, 0);
  set(8, SQL_VARYING, nothing_, &null_, 0);
  set(9, SQL_VARYING, tipo_.buffer.data(), &present_, 0);
  set(10, SQL_VARYING, versao_.buffer.data(), &present_, 0);
}

void StagingInsertParams::Varying::Set(const std::string& bytes, XSQLVAR& var) {
  const uint16_t n = static_cast<uint16_t>(std::min(bytes.size(), buffer.size() - 2));
  std::memcpy(buffer.data(), &n, 2);
  std::memcpy(buffer.data() + 2, bytes.data(), n);
  var.sqllen = static_cast<short>(n);
}

void StagingInsertParams::Set(const std::string& acao, const std::string& dados, std::tm date,
                              std::tm time, const std::string& tipo, const std::string& versao) {
  static const std::string kProcessar = "PROCESSAR";
  XSQLDA* in = In();
  acao_.Set(acao, in->sqlvar[0]);
  dados_.Set(dados, in->sqlvar[1]);
  isc_encode_sql_date(&date, &date_);
  isc_encode_sql_time(&time, &time_);
  status_.Set(kProcessar, in->sqlvar[7]);
  tipo_.Set(tipo, in->sqlvar[9]);
  versao_.Set(versao, in->sqlvar[10]);
}

}  // namespace kavo::bench
