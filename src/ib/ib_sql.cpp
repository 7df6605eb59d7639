#include "ib/ib_sql.h"

#include <cstring>
#include <random>

#include "ib/ib_database.h"
#include "ib/ib_errors.h"
#include "ib/ib_intf.h"
#include "ib/ib_sql_parser.h"
#include "ib/ib_trace_hook.h"
#include "ib/ib_transaction.h"
#include "rtl/code_page.h"

namespace kavo {

namespace {

// A new GUID in its braced text form: one cursor name per statement object.
std::string NewCursorName() {
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  unsigned char b[16];
  for (int i = 0; i < 16; i += 8) {
    uint64_t v = rng();
    std::memcpy(b + i, &v, 8);
  }
  b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);
  b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);
  static const char* hex = "0123456789ABCDEF";
  std::string s = "{";
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) s += '-';
    s += hex[b[i] >> 4];
    s += hex[b[i] & 15];
  }
  return s + "}";
}

long InfoValue(const IGDSLibrary& lib, const char* p, int& length) {
  length = static_cast<short>(lib.isc_vax_integer(p, 2));
  return lib.isc_vax_integer(p + 2, static_cast<short>(length));
}

}  // namespace

TIBSQL::TIBSQL(TComponent* owner)
    : TComponent(owner),
      base_(this),
      params_(std::make_unique<TIBXSQLDA>(this, true)),
      record_(std::make_unique<TIBXSQLDA>(this, false)),
      cursor_(NewCursorName()) {
  sql_.OnChanging = [this](const TStringList& proposed) {
    if (proposed.Text() == sql_.Text()) return;
    if (OnSQLChanging) OnSQLChanging(this);
    if (prepared_ || handle_ != 0) {
      CloseCursor(false);
      ReleaseHandle(false);
    }
  };
  base_.OnBeforeDatabaseDisconnect = [this] {
    CloseCursor(true);
    ReleaseHandle(true);
  };
  base_.OnBeforeTransactionEnd = [this] { CloseCursor(true); };
  base_.OnDatabaseFree = [this] {
    CloseCursor(false);
    ReleaseHandle(false);
  };
  base_.OnTransactionFree = [this] { CloseCursor(false); };
}

TIBSQL::~TIBSQL() {
  try {
    CloseCursor(false);
    ReleaseHandle(false);
  } catch (...) {
  }
}

void TIBSQL::SetDatabase(TIBDatabase* db) {
  if (db == base_.Database()) return;
  if (prepared_ || handle_ != 0) FreeHandle();
  base_.SetDatabase(db);
}

void TIBSQL::SetTransaction(TIBTransaction* tr) {
  if (tr == base_.Transaction()) return;
  if (prepared_) FreeHandle();
  base_.SetTransaction(tr);
}

IGDSLibrary& TIBSQL::Library() const {
  base_.CheckDatabase();
  return base_.Database()->GDSLibrary();
}

int TIBSQL::Dialect() const {
  return base_.Database() != nullptr ? base_.Database()->SQLDialect() : 3;
}

ISC_STATUS TIBSQL::Call(ISC_STATUS status, bool raise) {
  if (base_.Transaction() != nullptr) return base_.Transaction()->Call(status, raise);
  if (raise && status > 0) {
    IGDSLibrary& lib = Library();  // checks the database first
    IBDataBaseError(lib, &base_.Database()->CharacterSetInfo());
  }
  return 0;
}

void TIBSQL::CheckOpen() const {
  if (!open_) IBError(ibceSQLClosed);
}

void TIBSQL::CheckClosed() const {
  if (open_) IBError(ibceSQLOpen);
}

void TIBSQL::CheckValidStatement() const {
  if (handle_ == 0) IBError(ibceInvalidStatementHandle);
}

std::string TIBSQL::EncodedSQL() const {
  return EncodeText(processed_sql_, base_.Database()->CharacterSetInfo());
}

int TIBSQL::ReadStatementType() {
  IGDSLibrary& lib = Library();
  char item = isc_info_sql_stmt_type;
  char reply[8] = {};
  Call(lib.isc_dsql_sql_info(StatusVector(), &handle_, 1, &item, sizeof reply, reply), true);
  if (reply[0] != item) IBError(ibceUnknownError);
  int length = 0;
  return static_cast<int>(InfoValue(lib, reply + 1, length));
}

void TIBSQL::Prepare() {
  CheckClosed();
  if (prepared_) return;
  base_.CheckDatabase();
  base_.Database()->CheckActive();
  base_.CheckTransaction();
  base_.Transaction()->CheckInTransaction();
  String text = sql_.Text();
  if (Trim(text).empty()) IBError(ibceEmptyQuery);
  if (param_check_) {
    TProcessedSQL processed = PreprocessSQL(text, generate_param_names_);
    processed_sql_ = processed.text;
    params_->SetCount(static_cast<int>(processed.names.size()));
    for (size_t i = 0; i < processed.names.size(); ++i)
      params_->AddName(processed.names[i], static_cast<int>(i));
  } else {
    processed_sql_ = text;
  }
  if (Trim(processed_sql_).empty()) IBError(ibceEmptyQuery);

  IGDSLibrary& lib = Library();
  ISC_STATUS* status = StatusVector();
  Call(lib.isc_dsql_alloc_statement2(status, base_.Database()->HandleAddress(), &handle_), true);
  try {
    std::string bytes = EncodedSQL();
    Call(lib.isc_dsql_prepare(status, base_.Transaction()->HandleAddress(), &handle_, 0,
                              bytes.c_str(), static_cast<unsigned short>(Dialect()), nullptr),
         true);
    int type = ReadStatementType();
    sql_type_ = static_cast<TIBSQLTypes>(type);
    if (type == SQLGetSegment || type == SQLPutSegment || type == SQLStartTransaction) {
      ReleaseHandle(true);
      IBError(ibceNotPermitted);
    }
    if (type >= SQLSelect && type <= SQLSetGenerator) {
      if (params_->Count() > 0 || param_check_) {
        Call(lib.isc_dsql_describe_bind(status, &handle_, static_cast<unsigned short>(Dialect()),
                                        params_->AsXSQLDA()),
             true);
      }
      // The server's count tells whether the scan read the text as it does;
      // otherwise values would go to other parameters than the caller named.
      if (param_check_ && params_->Sqld() != params_->Count())
        IBError(ibceSQLParseError,
                {Format(u"The text names %d parameters but the server counts %d",
                        {params_->Count(), static_cast<int>(params_->Sqld())})});
      params_->Initialize();
      if (type == SQLSelect || type == SQLExecProcedure || type == SQLSelectForUpdate) {
        DescribeResult();
      } else {
        record_->SetCount(0);
      }
    }
    prepared_ = true;
    ReportToHook([&](IIBSQLMonitorHook& h) { h.SQLPrepare(*this); });
  } catch (...) {
    try {
      ReleaseHandle(false);
    } catch (...) {
    }
    throw;
  }
}

void TIBSQL::DescribeResult() {
  IGDSLibrary& lib = Library();
  ISC_STATUS* status = StatusVector();
  const unsigned short dialect = static_cast<unsigned short>(Dialect());
  record_->SetCount(1);
  Call(lib.isc_dsql_describe(status, &handle_, dialect, record_->AsXSQLDA()), true);
  short needed = record_->Sqld();
  if (needed > record_->Sqln()) {
    record_->SetCount(needed);
    Call(lib.isc_dsql_describe(status, &handle_, dialect, record_->AsXSQLDA()), true);
  } else if (needed == 0) {
    record_->SetCount(0);
  }
  record_->Initialize();
}

void TIBSQL::ExecQuery() {
  CheckClosed();
  if (!prepared_) Prepare();
  base_.CheckTransaction();
  base_.Transaction()->CheckInTransaction();
  CheckValidStatement();
  ReportToHook([&](IIBSQLMonitorHook& h) { h.SQLExecute(*this); });
  IGDSLibrary& lib = Library();
  ISC_STATUS* status = StatusVector();
  isc_tr_handle* tr = base_.Transaction()->HandleAddress();
  const unsigned short dialect = static_cast<unsigned short>(Dialect());
  XSQLDA* in = params_->Count() > 0 ? params_->AsXSQLDA() : nullptr;
  switch (sql_type_) {
    case SQLSelect:
      Call(lib.isc_dsql_execute2(status, tr, &handle_, dialect, in, nullptr), true);
      Call(lib.isc_dsql_set_cursor_name(status, &handle_, cursor_.c_str(), 0), true);
      open_ = true;
      bof_ = true;
      eof_ = false;
      record_count_ = 0;
      if (go_to_first_) Next();
      break;
    case SQLExecProcedure: {
      XSQLDA* out = record_->Count() > 0 ? record_->AsXSQLDA() : nullptr;
      ISC_STATUS st = lib.isc_dsql_execute2(status, tr, &handle_, dialect, in, out);
      if (st != 0 && CheckStatusVector({isc_bad_stmt_handle})) {
        std::string bytes = EncodedSQL();
        // A failed prepare is the error to report, not the execute's after it.
        st = lib.isc_dsql_prepare(status, tr, &handle_, 0, bytes.c_str(), dialect, nullptr);
        if (st == 0) st = lib.isc_dsql_execute2(status, tr, &handle_, dialect, in, out);
      }
      Call(st, true);
      break;
    }
    default:
      Call(lib.isc_dsql_execute(status, tr, &handle_, dialect, in), true);
  }
}

TIBXSQLDA* TIBSQL::Next() {
  if (eof_) return nullptr;
  CheckOpen();
  IGDSLibrary& lib = Library();
  ISC_STATUS* status = StatusVector();
  ISC_STATUS st = lib.isc_dsql_fetch(status, &handle_, static_cast<unsigned short>(Dialect()),
                                     record_->AsXSQLDA());
  TIBXSQLDA* result = nullptr;
  if (st == 100 || (st != 0 && CheckStatusVector({isc_dsql_cursor_err}))) {
    eof_ = true;
  } else if (st != 0) {
    KeepingStatusVector([this] {
      try {
        CloseCursor(false);
      } catch (...) {
      }
    });
    Call(st, true);
  } else {
    ++record_count_;
    bof_ = false;
    result = record_.get();
  }
  ReportToHook([&](IIBSQLMonitorHook& h) { h.SQLFetch(*this); });
  return result;
}

void TIBSQL::Close() { CloseCursor(true); }

void TIBSQL::CloseCursor(bool force) {
  struct Reset {
    TIBSQL* q;
    ~Reset() {
      q->eof_ = false;
      q->bof_ = false;
      q->open_ = false;
      q->record_count_ = 0;
    }
  } reset{this};
  TIBDatabase* db = base_.Database();
  if (handle_ == 0 || sql_type_ != SQLSelect || !open_ || db == nullptr || !db->Connected())
    return;
  IGDSLibrary& lib = Library();
  ISC_STATUS st = lib.isc_dsql_free_statement(StatusVector(), &handle_, DSQL_close);
  if (st == 0 || !force) return;
  if (CheckStatusVector({isc_bad_stmt_handle, isc_dsql_cursor_close_err})) return;
  if (StatusIsLostConnection()) {
    db->Call(st, true);
    return;
  }
  Call(st, true);
}

void TIBSQL::FreeHandle() { ReleaseHandle(true); }

void TIBSQL::ReleaseHandle(bool force) {
  TIBDatabase* db = base_.Database();
  ISC_STATUS st = 0;
  if (handle_ != 0 && db != nullptr && db->Connected())
    st = Library().isc_dsql_free_statement(StatusVector(), &handle_, DSQL_drop);
  prepared_ = false;
  open_ = false;
  handle_ = 0;
  if (st != 0 && force && !CheckStatusVector({isc_bad_stmt_handle}) && !StatusIsLostConnection())
    Call(st, true);
}

TIBXSQLDA& TIBSQL::Params() {
  if (!prepared_) {
    TIBTransaction* tr = base_.Transaction();
    if (tr != nullptr && !tr->Active()) {
      tr->StartTransaction();
      try {
        Prepare();
      } catch (...) {
        tr->Commit();
        throw;
      }
      tr->Commit();
    } else {
      Prepare();
    }
  }
  return *params_;
}

TIBXSQLVAR& TIBSQL::PreparedParamByName(StringView name) {
  if (!prepared_) Prepare();
  TIBXSQLVAR* var = params_->ByName(name);
  if (var == nullptr) IBError(ibceFieldNotFound, {String(name)});
  return *var;
}

TIBXSQLVAR& TIBSQL::FieldByName(StringView name) {
  if (!prepared_) Prepare();
  TIBXSQLVAR* var = record_->ByName(name);
  if (var == nullptr) IBError(ibceFieldNotFound, {String(name)});
  return *var;
}

TIBXSQLVAR& TIBSQL::Fields(int index) {
  if (!prepared_) Prepare();
  if (index < 0 || index >= record_->Count()) IBError(ibceFieldNotFound, {IntToStr(index)});
  return record_->Vars(index);
}

int TIBSQL::RowsAffected() {
  if (!prepared_) return -1;
  int wanted;
  switch (sql_type_) {
    case SQLInsert: wanted = isc_info_req_insert_count; break;
    case SQLUpdate: wanted = isc_info_req_update_count; break;
    case SQLDelete: wanted = isc_info_req_delete_count; break;
    default: return -1;
  }
  IGDSLibrary& lib = Library();
  char item = isc_info_sql_records;
  std::vector<char> reply(1049, 0);
  Call(lib.isc_dsql_sql_info(StatusVector(), &handle_, 1, &item,
                             static_cast<short>(reply.size()), reply.data()),
       true);
  if (reply[0] != item) return -1;
  // The counts follow as sub-items: code, 2-byte length, value.
  size_t pos = 3;
  while (pos + 3 <= reply.size() && reply[pos] != isc_info_end) {
    char code = reply[pos];
    int length = 0;
    long value = InfoValue(lib, reply.data() + pos + 1, length);
    if (code == wanted) return static_cast<int>(value);
    pos += 3 + static_cast<size_t>(std::max(length, 0));
  }
  return -1;
}

String TIBSQL::Plan() {
  if (!prepared_ || (sql_type_ != SQLSelect && sql_type_ != SQLUpdate && sql_type_ != SQLDelete &&
                     sql_type_ != SQLSelectForUpdate))
    return String();
  IGDSLibrary& lib = Library();
  char item = isc_info_sql_get_plan;
  std::vector<char> reply(16385, 0);
  Call(lib.isc_dsql_sql_info(StatusVector(), &handle_, 1, &item,
                             static_cast<short>(reply.size()), reply.data()),
       true);
  if (reply[0] != item) throw EIBPlanError(ibceUnknownPlan, IBErrorMessage(ibceUnknownPlan));
  int length = static_cast<short>(lib.isc_vax_integer(reply.data() + 1, 2));
  length = std::clamp(length, 0, static_cast<int>(reply.size()) - 3);
  return Trim(DecodeText(std::string_view(reply.data() + 3, length),
                         base_.Database()->CharacterSetInfo()));
}

const String& TIBSQL::UniqueRelationName() const { return record_->UniqueRelationName(); }

}  // namespace kavo
