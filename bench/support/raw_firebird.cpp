#include "raw_firebird.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace kavo::bench {
namespace {

std::vector<char> Dpb(const std::string& user, const std::string& password,
                      bool force_write_off) {
  std::vector<char> dpb = {isc_dpb_version1};
  auto text = [&](char code, const std::string& value) {
    dpb.push_back(code);
    dpb.push_back(static_cast<char>(value.size()));
    dpb.insert(dpb.end(), value.begin(), value.end());
  };
  text(isc_dpb_user_name, user);
  if (!password.empty()) text(isc_dpb_password, password);
  text(isc_dpb_lc_ctype, "ISO8859_1");
  if (force_write_off) {
    dpb.push_back(isc_dpb_force_write);
    dpb.push_back(1);
    dpb.push_back(0);
  }
  return dpb;
}

const char kTpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed,
                     isc_tpb_rec_version, isc_tpb_nowait};

}  // namespace

void Fail(const std::string& what, const ISC_STATUS* status) {
  char text[512] = "";
  if (status != nullptr) {
    const ISC_STATUS* p = status;
    fb_interpret(text, sizeof text, &p);
  }
  throw std::runtime_error(what + ": " + text);
}

void UseBenchLockDirectory() {
  if (std::getenv("FIREBIRD_LOCK") != nullptr) return;
  ::mkdir("/tmp/kavo-bench-lock", 0777);
  ::setenv("FIREBIRD_LOCK", "/tmp/kavo-bench-lock", 1);
}

void CreateDatabase(const std::string& create_sql) {
  ISC_STATUS_ARRAY status{};
  isc_db_handle db = 0;
  isc_tr_handle tr = 0;
  if (isc_dsql_execute_immediate(status, &db, &tr, 0, create_sql.c_str(), 3, nullptr))
    Fail("create database", status);
  isc_detach_database(status, &db);
}

RawConnection::RawConnection(const std::string& path, const std::string& user,
                             const std::string& password, bool force_write_off) {
  std::vector<char> dpb = Dpb(user, password, force_write_off);
  if (isc_attach_database(status, 0, path.c_str(), &db, static_cast<short>(dpb.size()),
                          dpb.data()))
    Fail("attach " + path, status);
}

RawConnection::~RawConnection() {
  if (tr != 0) isc_rollback_transaction(status, &tr);
  if (db != 0) isc_detach_database(status, &db);
}

void RawConnection::Start() {
  if (isc_start_transaction(status, &tr, 1, &db, sizeof kTpb, kTpb)) Fail("start", status);
}

void RawConnection::Commit() {
  if (isc_commit_transaction(status, &tr)) Fail("commit", status);
}

void RawConnection::Detach() {
  if (isc_detach_database(status, &db)) Fail("detach", status);
}

void RawConnection::Run(const std::string& sql) {
  Start();
  if (isc_dsql_execute_immediate(status, &db, &tr, 0, sql.c_str(), 3, nullptr)) Fail(sql, status);
  Commit();
}

RawSelect::RawSelect(RawConnection& c, const std::string& sql, int columns)
    : block(XSQLDA_LENGTH(columns)), data(columns), ind(columns) {
  out()->version = SQLDA_VERSION1;
  out()->sqln = static_cast<short>(columns);
  if (isc_dsql_alloc_statement2(c.status, &c.db, &stmt) ||
      isc_dsql_prepare(c.status, &c.tr, &stmt, 0, sql.c_str(), 3, out()))
    Fail(sql, c.status);
  if (out()->sqld > columns) throw std::runtime_error(sql + ": more columns than meant");
  for (int i = 0; i < out()->sqld; ++i) {
    XSQLVAR& v = out()->sqlvar[i];
    data[i].assign(static_cast<size_t>(v.sqllen) + 2, 0);
    v.sqldata = data[i].data();
    v.sqlind = &ind[i];
  }
}

void RawSelect::Execute(RawConnection& c) {
  if (isc_dsql_execute(c.status, &c.tr, &stmt, 3, nullptr)) Fail("execute", c.status);
}

bool RawSelect::Fetch(RawConnection& c) {
  const ISC_STATUS rc = isc_dsql_fetch(c.status, &stmt, 3, out());
  if (rc == 100) return false;
  if (rc != 0) Fail("fetch", c.status);
  return true;
}

std::string RawSelect::Varying(int i) const {
  uint16_t n;
  std::memcpy(&n, data[i].data(), 2);
  return std::string(data[i].data() + 2, n);
}

void RawSelect::Free(RawConnection& c) { isc_dsql_free_statement(c.status, &stmt, DSQL_drop); }

}  // namespace kavo::bench
