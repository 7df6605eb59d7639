#include <sqlite3.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "raw_oci.h"
#include "read_ways.h"

namespace kavo::bench {
namespace {

// The store's owner logged on; its environment freed with it.
struct RawSession {
  OciEnv oci;
  OciLogon logon;
  OCIEnv* env = oci.env;
  OCIError* err = oci.err;
  OCISvcCtx* svc = logon.svc;
  explicit RawSession(const std::string& store) : logon(oci, store, "system", "manager") {}
  void Run(const std::string& sql) {
    OCIStmt* st = nullptr;
    OCIHandleAlloc(env, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
    OCIStmtPrepare(st, err, reinterpret_cast<const OraText*>(sql.c_str()),
                   static_cast<ub4>(sql.size()), OCI_NTV_SYNTAX, OCI_DEFAULT);
    Check(OCIStmtExecute(svc, st, err, 1, 0, nullptr, nullptr, OCI_COMMIT_ON_SUCCESS), err,
          sql.c_str());
    OCIHandleFree(st, OCI_HTYPE_STMT);
  }
};

// Column texts in UTF-8, as the stand-in's AL32UTF8 database holds them:
// accents in one row of four, a line break
// (already CR LF, as the layer would send it) in one of ten, ERRO null in
// nine of ten.
void Fill(RawSession& s, int rows) {
  s.Run("create table bench (id number(9) primary key, nrecno number(12), acao varchar2(3), "
        "dados varchar2(500), data date, hora date, tipo varchar2(50), versao varchar2(10), "
        "status varchar2(10), erro varchar2(200), amount number(12,2), qty number(9), "
        "note varchar2(100), city varchar2(30))");
  const char* sql =
      "insert into bench values (:id, :nrecno, :acao, :dados, "
      "to_date(:data, 'yyyy-mm-dd'), to_date(:hora, 'yyyy-mm-dd hh24:mi:ss'), :tipo, :versao, "
      "'A', :erro, :amount, :qty, :note, :city)";
  OCIStmt* st = nullptr;
  OCIHandleAlloc(s.env, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
  OCIStmtPrepare(st, s.err, reinterpret_cast<const OraText*>(sql),
                 static_cast<ub4>(std::strlen(sql)), OCI_NTV_SYNTAX, OCI_DEFAULT);
  constexpr int kChunk = 1000;
  std::vector<int> id(kChunk), qty(kChunk);
  std::vector<double> nrecno(kChunk), amount(kChunk);
  std::vector<char> acao(kChunk * 4), dados(kChunk * 501), data(kChunk * 11), hora(kChunk * 20),
      tipo(kChunk * 51), versao(kChunk * 11), erro(kChunk * 201), note(kChunk * 101),
      city(kChunk * 31);
  std::vector<sb2> erro_ind(kChunk);
  struct Bind {
    const char* name;
    void* buf;
    sb4 size;
    ub2 type;
    sb2* ind;
  } binds[] = {{":id", id.data(), 4, SQLT_INT, nullptr},
               {":nrecno", nrecno.data(), 8, SQLT_FLT, nullptr},
               {":acao", acao.data(), 4, SQLT_STR, nullptr},
               {":dados", dados.data(), 501, SQLT_STR, nullptr},
               {":data", data.data(), 11, SQLT_STR, nullptr},
               {":hora", hora.data(), 20, SQLT_STR, nullptr},
               {":tipo", tipo.data(), 51, SQLT_STR, nullptr},
               {":versao", versao.data(), 11, SQLT_STR, nullptr},
               {":erro", erro.data(), 201, SQLT_STR, erro_ind.data()},
               {":amount", amount.data(), 8, SQLT_FLT, nullptr},
               {":qty", qty.data(), 4, SQLT_INT, nullptr},
               {":note", note.data(), 101, SQLT_STR, nullptr},
               {":city", city.data(), 31, SQLT_STR, nullptr}};
  for (const Bind& b : binds) {
    OCIBind* bh = nullptr;
    Check(OCIBindByName(st, &bh, s.err, reinterpret_cast<const OraText*>(b.name), -1, b.buf,
                        b.size, b.type, b.ind, nullptr, nullptr, 0, nullptr, OCI_DEFAULT),
          s.err, b.name);
  }
  for (int base = 0; base < rows; base += kChunk) {
    const int n = std::min(kChunk, rows - base);
    for (int i = 0; i < n; ++i) {
      const int r = base + i + 1;
      id[i] = r;
      nrecno[i] = 1e9 + r;
      qty[i] = r % 1000;
      amount[i] = (r % 100000) / 4.0;
      std::snprintf(&acao[i * 4], 4, "%s", r % 3 == 0 ? "A" : "I");
      std::snprintf(&dados[i * 501], 501,
                    r % 4 == 0 ? "Pedido %d do cliente Jo\xc3\xa3o Concei\xc3\xa7\xc3\xa3o, entrega "
                                 "na pra\xc3\xa7" "a, pagamento \xc3\xa0 vista, observa\xc3\xa7\xc3\xb5"
                                 "es do vendedor"
                               : "Pedido %d do cliente Joao Silva, entrega na loja, pagamento a "
                                 "prazo, sem observacoes do vendedor",
                    r);
      std::snprintf(&data[i * 11], 11, "2026-%02d-%02d", 1 + r % 12, 1 + r % 28);
      std::snprintf(&hora[i * 20], 20, "2026-12-09 %02d:%02d:%02d", r / 3600 % 24, r / 60 % 60,
                    r % 60);
      std::snprintf(&tipo[i * 51], 51, "%s", r % 2 == 0 ? "PEDIDO" : "CLIENTE");
      std::snprintf(&versao[i * 11], 11, "1.%d", r % 10);
      erro_ind[i] = r % 10 == 0 ? 0 : -1;
      std::snprintf(&erro[i * 201], 201, "Falha %d ao integrar", r);
      std::snprintf(&note[i * 101], 101,
                    r % 10 == 0 ? "Linha um %d\r\nLinha dois" : "Registro pendente %d", r);
      std::snprintf(&city[i * 31], 31, "%s", r % 5 == 0 ? "S\xc3\xa3o Paulo" : "Curitiba");
    }
    Check(OCIStmtExecute(s.svc, st, s.err, static_cast<ub4>(n), 0, nullptr, nullptr,
                         OCI_COMMIT_ON_SUCCESS),
          s.err, "fill");
  }
  OCIHandleFree(st, OCI_HTYPE_STMT);
}

// Characters of UTF-8 text: the bytes that start one.
long long Characters(const std::string& utf8) {
  long long n = 0;
  for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
  return n;
}

// Days since 1899-12-30 of an Oracle 7-byte date, as a C program would
// compute them.
double OracleDays(const unsigned char* b) {
  const int year = (b[0] - 100) * 100 + (b[1] - 100);
  const int month = b[2], day = b[3];
  // Days from civil (proleptic Gregorian), then shifted to the 1899-12-30 epoch.
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long days = era * 146097L + doe - 719468L + 25569L;
  return static_cast<double>(days) + ((b[4] - 1) * 3600 + (b[5] - 1) * 60 + (b[6] - 1)) / 86400.0;
}

class RawWay : public Way {
 public:
  explicit RawWay(const std::string& store) : s_(store) {}
  Digest Pass() override {
    Digest d;
    OCIStmt* st = nullptr;
    OCIHandleAlloc(s_.env, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
    const char* sql = "select * from bench";
    OCIStmtPrepare(st, s_.err, reinterpret_cast<const OraText*>(sql),
                   static_cast<ub4>(std::strlen(sql)), OCI_NTV_SYNTAX, OCI_DEFAULT);
    ub4 zero = 0;
    OCIAttrSet(st, OCI_HTYPE_STMT, &zero, sizeof zero, OCI_ATTR_PREFETCH_ROWS, s_.err);
    Check(OCIStmtExecute(s_.svc, st, s_.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), s_.err,
          "execute");
    // The buffer types the layer chooses for these columns.
    struct Column {
      ub2 type;
      sb4 size;
    } columns[kColumns] = {{SQLT_INT, 4},   {SQLT_FLT, 8},  {SQLT_STR, 4},   {SQLT_STR, 501},
                           {SQLT_DAT, 7},   {SQLT_DAT, 7},  {SQLT_STR, 51},  {SQLT_STR, 11},
                           {SQLT_STR, 11},  {SQLT_STR, 201}, {SQLT_FLT, 8},  {SQLT_INT, 4},
                           {SQLT_STR, 101}, {SQLT_STR, 31}};
    for (int c = 0; c < kColumns; ++c) {
      buf_[c].assign(static_cast<size_t>(columns[c].size) * kBatch, 0);
      OCIDefine* def = nullptr;
      Check(OCIDefineByPos(st, &def, s_.err, c + 1, buf_[c].data(), columns[c].size,
                           columns[c].type, ind_[c], len_[c], nullptr, OCI_DEFAULT),
            s_.err, "define");
    }
    ub4 total = 0;
    for (;;) {
      const sword rc = OCIStmtFetch2(st, s_.err, kBatch, OCI_FETCH_NEXT, 0, OCI_DEFAULT);
      if (rc != OCI_SUCCESS && rc != OCI_NO_DATA) Check(rc, s_.err, "fetch");
      ub4 now = 0;
      OCIAttrGet(st, OCI_HTYPE_STMT, &now, nullptr, OCI_ATTR_ROW_COUNT, s_.err);
      for (ub4 r = 0; r < now - total; ++r) {
        for (int c = 0; c < kColumns; ++c) {
          if (ind_[c][r] == -1) {
            ++d.nulls;
            continue;
          }
          const unsigned char* p = buf_[c].data() + r * columns[c].size;
          switch (columns[c].type) {
            case SQLT_INT: {
              int32_t v;
              std::memcpy(&v, p, 4);
              d.integers += v;
              break;
            }
            case SQLT_FLT: {
              double v;
              std::memcpy(&v, p, 8);
              d.floats += v;
              break;
            }
            case SQLT_DAT: d.days += OracleDays(p); break;
            default: {
              // Out of the buffer before the next fetch overwrites it.
              std::string text(reinterpret_cast<const char*>(p), len_[c][r]);
              d.text += Characters(text);
              benchmark::DoNotOptimize(text.data());
            }
          }
        }
        ++d.rows;
      }
      total = now;
      if (rc == OCI_NO_DATA) break;
    }
    OCIHandleFree(st, OCI_HTYPE_STMT);
    return d;
  }

 private:
  RawSession s_;
  std::vector<unsigned char> buf_[kColumns];
  sb2 ind_[kColumns][kBatch];
  ub2 len_[kColumns][kBatch];
};

class SqliteWay : public Way {
 public:
  explicit SqliteWay(const std::string& store) {
    if (sqlite3_open_v2(store.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
      throw std::runtime_error("sqlite3_open_v2");
  }
  ~SqliteWay() override { sqlite3_close(db_); }
  Digest Pass() override {
    Digest d;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, "SELECT * FROM \"SYSTEM.BENCH\"", -1, &st, nullptr) != SQLITE_OK)
      throw std::runtime_error(sqlite3_errmsg(db_));
    while (sqlite3_step(st) == SQLITE_ROW) {
      for (int c = 0; c < kColumns; ++c) {
        switch (sqlite3_column_type(st, c)) {
          case SQLITE_NULL: ++d.nulls; break;
          case SQLITE_INTEGER: d.integers += sqlite3_column_int64(st, c); break;
          case SQLITE_FLOAT: d.floats += sqlite3_column_double(st, c); break;
          default: {
            const char* p = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
            std::string text(p, static_cast<size_t>(sqlite3_column_bytes(st, c)));
            d.text += Characters(text);
            benchmark::DoNotOptimize(text.data());
          }
        }
      }
      ++d.rows;
    }
    sqlite3_finalize(st);
    return d;
  }

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace

void CreateStore(const std::string& path, int rows) {
  RawSession s(path);
  Fill(s, rows);
}

std::unique_ptr<Way> MakeRawWay(const std::string& store) { return std::make_unique<RawWay>(store); }
std::unique_ptr<Way> MakeSqliteWay(const std::string& store) {
  return std::make_unique<SqliteWay>(store);
}

}  // namespace kavo::bench
