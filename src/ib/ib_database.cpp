#include "ib/ib_database.h"

#include <algorithm>
#include <vector>

#include "ib/ib_base.h"
#include "ib/ib_dataset.h"
#include "ib/ib_errors.h"
#include "ib/ib_param_blocks.h"
#include "ib/ib_transaction.h"
#include "rtl/code_page.h"

namespace kavo {

namespace {

const Char* const kLoginDialogMissing =
    u"Can not find default login prompt dialog.  Please add DBLogDlg to the uses section of "
    u"your main file.";

// Reads one info item from a reply laid out as item, 2-byte length, value.
bool ReadInfoValue(const IGDSLibrary& lib, const char* reply, char item, long& value) {
  if (reply[0] != item) return false;
  short length = static_cast<short>(lib.isc_vax_integer(reply + 1, 2));
  value = lib.isc_vax_integer(reply + 3, length);
  return true;
}

}  // namespace

TIBDatabase::TIBDatabase(TComponent* owner) : TComponent(owner) {
  params_.OnChanging = [this](const TStringList&) { CheckInactive(); };
  params_.OnChange = [this] { db_params_changed_ = true; };
  character_set_ = CharacterSetFor(u"NONE");
  internal_transaction_ = new TIBTransaction(nullptr);
  internal_transaction_->SetDefaultDatabase(this);
}

TIBDatabase::~TIBDatabase() {
  try {
    if (internal_transaction_->Active()) internal_transaction_->Rollback();
  } catch (...) {
  }
  idle_timer_.Stop();
  if (Connected()) {
    try {
      Close();
    } catch (...) {
      ForceClose();
    }
  }
  delete internal_transaction_;
  internal_transaction_ = nullptr;
  for (TIBBase* obj : sql_objects_.Snapshot()) obj->DoDatabaseFree();
  sql_objects_.Clear();
  for (TIBTransaction* tr : transactions_.Snapshot()) {
    try {
      tr->RemoveDatabase(this);
    } catch (...) {
    }
  }
  transactions_.Clear();
}

void TIBDatabase::EnsureServerType() {
  if (server_type_.empty()) SetServerType(u"IBServer");
}

IGDSLibrary& TIBDatabase::GDSLibrary() {
  EnsureServerType();
  return *gds_library_;
}

void TIBDatabase::SetServerType(const String& value) {
  if (value.empty()) {
    gds_library_.reset();
    server_type_.clear();
    return;
  }
  if (value == server_type_) return;
  if (Connected()) throw Exception(u"ServerType can not be changed on an active connection");
  String name = value;
  IGDSLibraryPtr library = GetGDSLibrary(name);
  library->CheckIBLoaded();
  gds_library_ = std::move(library);
  server_type_ = name;
}

void TIBDatabase::SetConnected(bool value) {
  if (Loading()) {
    streamed_connected_ = value;
    return;
  }
  if (value == Connected()) return;
  if (value) {
    Fire(BeforeConnect);
    DoConnect();
    Fire(AfterConnect);
  } else {
    Fire(BeforeDisconnect);
    DoDisconnect();
    Fire(AfterDisconnect);
  }
}

void TIBDatabase::SetDatabaseName(const String& value) {
  if (value == db_name_) return;
  CheckInactive();
  db_name_ = value;
  schema_.Clear();
}

void TIBDatabase::SetSQLDialect(int value) {
  if (value < 1 || (Connected() && value > db_sql_dialect_)) IBError(ibceSQLDialectInvalid);
  sql_dialect_ = value;
}

void TIBDatabase::SetIdleTimer(int milliseconds) { idle_timer_.SetInterval(milliseconds); }

void TIBDatabase::IdleTimerTick() {
  if (!Connected()) return;
  if (can_timeout_) {
    ForceClose();
    Fire(OnIdleTimer);
  } else {
    can_timeout_ = true;
  }
}

void TIBDatabase::CheckActive() {
  if (streamed_connected_ && !Connected()) Loaded();
  if (!Connected()) IBError(ibceDatabaseClosed);
}

void TIBDatabase::CheckInactive() const {
  if (Connected()) IBError(ibceDatabaseOpen);
}

void TIBDatabase::CheckDatabaseName() const {
  if (db_name_.empty()) IBError(ibceDatabaseNameMissing);
}

void TIBDatabase::Login() {
  if (!OnLogin) {
    ReportError(kLoginDialogMissing, *this);
    throw EIBError(0, kLoginDialogMissing);
  }
  TStringList copy;
  copy.Assign(params_.List());
  if (!OnLogin(*this, copy)) IBError(ibceOperationCancelled);
  params_.Assign(copy);
  for (int i = 0; i < params_.Count(); ++i) {
    const String& line = params_[i];
    size_t eq = line.find(u'=');
    String name = LowerCase(Trim(eq == String::npos ? line : line.substr(0, eq)));
    if (name.starts_with(u"password")) {
      hidden_password_ = eq == String::npos ? String() : line.substr(eq + 1);
      params_.Delete(i);
      break;
    }
  }
}

void TIBDatabase::BuildDPBIfChanged() {
  if (!db_params_changed_) return;
  character_set_ = CharacterSetFor(u"NONE");
  TStringList list;
  list.Assign(params_.List());
  if (login_prompt_ && !hidden_password_.empty()) list.Add(u"password=" + hidden_password_);
  TDPBResult built = BuildDPB(list);
  if (built.has_character_set) character_set_ = CharacterSetFor(built.character_set);
  dpb_ = std::move(built.bytes);
  // Cleared only now: a list that failed to build must not leave the previous
  // buffer to be reused silently by the next attempt.
  db_params_changed_ = false;
}

void TIBDatabase::DoConnect() {
  EnsureServerType();
  CheckInactive();
  CheckDatabaseName();
  if (!login_prompt_ && !hidden_password_.empty()) {
    hidden_password_.clear();
    db_params_changed_ = true;
  }
  if (login_prompt_) Login();
  BuildDPBIfChanged();
  IGDSLibrary& lib = GDSLibrary();
  std::string name = StringToAnsi(db_name_);
  ISC_STATUS* status = StatusVector();
  if (lib.isc_attach_database(status, static_cast<short>(name.size()), name.c_str(), &handle_,
                              static_cast<short>(dpb_.size()), dpb_.data()) != 0) {
    handle_ = 0;
    IBDataBaseError(lib);
  }
  ReadDBSQLDialect();
  if (db_sql_dialect_ < sql_dialect_) {
    sql_dialect_ = db_sql_dialect_;
    Fire(OnDialectDowngradeWarning);
  }
  ReportToHook([&](IIBSQLMonitorHook& h) { h.DBConnect(*this); });
}

void TIBDatabase::ReadDBSQLDialect() {
  long value = DatabaseInfoInt(isc_info_db_sql_dialect);
  db_sql_dialect_ = value < 0 ? 1 : static_cast<int>(value);
}

long TIBDatabase::DatabaseInfoInt(char item) {
  CheckActive();
  IGDSLibrary& lib = GDSLibrary();
  char reply[512] = {};
  Call(lib.isc_database_info(StatusVector(), &handle_, 1, &item, sizeof reply, reply), true);
  long value = 0;
  return ReadInfoValue(lib, reply, item, value) ? value : -1;
}

bool TIBDatabase::IsReadOnly() {
  return DatabaseInfoInt(isc_info_ods_version) > 9 && DatabaseInfoInt(isc_info_db_read_only) == 1;
}

void TIBDatabase::DoDisconnect() {
  if (Connected()) {
    try {
      InternalClose(false);
    } catch (...) {
      ForceClose();
      db_sql_dialect_ = 1;  // closed all the same
      throw;
    }
  }
  db_sql_dialect_ = 1;
}

void TIBDatabase::ForceClose() {
  if (!Connected()) return;
  Fire(BeforeDisconnect);
  InternalClose(true);
  Fire(AfterDisconnect);
}

void TIBDatabase::BeforeDisconnectNotify(bool force) {
  for (TIBBase* obj : sql_objects_.Snapshot()) {
    try {
      obj->DoBeforeDatabaseDisconnect();
    } catch (...) {
      if (!force) throw;
    }
  }
  for (TIBTransaction* tr : transactions_.Snapshot()) {
    if (FindTransaction(tr) < 0 || !tr->Active()) continue;
    try {
      switch (tr->DefaultAction()) {
        case TACommit:
        case TACommitRetaining:
          tr->EndTransaction(TACommit, true);
          break;
        case TARollback:
        case TARollbackRetaining:
          tr->EndTransaction(TARollback, true);
          break;
      }
    } catch (...) {
      if (!force) throw;
    }
  }
}

void TIBDatabase::InternalClose(bool force) {
  CheckActive();
  isc_db_handle saved = handle_;
  // Forced: the connection looks closed to the statements and transactions,
  // so they make no server calls on it.
  if (force) handle_ = 0;
  auto restore = [&] {
    if (force) handle_ = saved;
  };
  try {
    BeforeDisconnectNotify(force);
  } catch (...) {
    restore();
    throw;
  }
  restore();
  if (!handle_is_shared_) {
    IGDSLibrary& lib = GDSLibrary();
    if (lib.isc_detach_database(StatusVector(), &handle_) != 0 && !force)
      IBDataBaseError(lib, &character_set_);
  }
  handle_ = 0;
  handle_is_shared_ = false;
  ReportToHook([&](IIBSQLMonitorHook& h) { h.DBDisconnect(*this); });
  for (TIBBase* obj : sql_objects_.Snapshot()) obj->DoAfterDatabaseDisconnect();
}

ISC_STATUS TIBDatabase::Call(ISC_STATUS status, bool raise) {
  EnsureServerType();
  can_timeout_ = false;
  if (raise && status != 0 && StatusIsLostConnection()) {
    // The text is taken before the forced close makes calls of its own.
    TIBServerError e = BuildServerError(GDSLibrary(), &character_set_);
    ForceClose();
    ReportError(IntToStr(e.sql_code) + u" " + IntToStr(e.error_code) + u" " + e.message, *this);
    throw EIBInterBaseError(e.sql_code, e.error_code, e.message);
  }
  if (raise && status > 0) IBDataBaseError(GDSLibrary(), &character_set_);
  return status;
}

bool TIBDatabase::TestConnected() {
  if (!Connected()) return false;
  try {
    IGDSLibrary& lib = GDSLibrary();
    char item = isc_info_base_level;
    char reply[512] = {};
    Call(lib.isc_database_info(StatusVector(), &handle_, 1, &item, sizeof reply, reply), true);
  } catch (...) {
    ForceClose();
    return false;
  }
  return Connected();
}

void TIBDatabase::Loaded() {
  TComponent::Loaded();
  try {
    EnsureServerType();
    if (!allow_streamed_connected_) {
      streamed_connected_ = false;
      for (TIBTransaction* tr : transactions_) tr->ClearStreamedActive();
      return;
    }
    if (streamed_connected_ && !Connected()) {
      Open();
      for (TIBTransaction* tr : transactions_.Snapshot()) {
        if (!tr->Active() && tr->StreamedActive()) {
          tr->ClearStreamedActive();
          tr->StartTransaction();
        }
      }
      TIBTransaction* def = default_transaction_;
      if (def != nullptr && def->StreamedActive() && !def->Active()) {
        def->ClearStreamedActive();
        def->StartTransaction();
      }
      streamed_connected_ = false;
    }
  } catch (const std::exception&) {
    // A stored connection that cannot be made is not an error at run time.
  }
}

int TIBDatabase::AddTransaction(TIBTransaction* tr) {
  int i = FindTransaction(tr);
  if (i >= 0) return i;
  i = transactions_.Add(tr);
  tr->AddDatabase(this);
  return i;
}

void TIBDatabase::RemoveTransaction(int index) { RemoveTransaction(transactions_[index]); }

void TIBDatabase::RemoveTransaction(TIBTransaction* tr) {
  if (!transactions_.Remove(tr)) return;
  if (default_transaction_ == tr) default_transaction_ = nullptr;
  tr->RemoveDatabase(this);
}

int TIBDatabase::FindTransaction(const TIBTransaction* tr) const {
  return transactions_.IndexOf(tr);
}

TIBTransaction* TIBDatabase::FindDefaultTransaction() const {
  if (default_transaction_ != nullptr) return default_transaction_;
  for (TIBTransaction* tr : transactions_)
    if (tr != internal_transaction_ && tr->DefaultDatabase() == this) return tr;
  return nullptr;
}

void TIBDatabase::SetDefaultTransaction(TIBTransaction* tr) {
  TIBTransaction* old = default_transaction_;
  if (old != nullptr && old != tr && FindTransaction(old) >= 0 && old->DefaultDatabase() != this) {
    default_transaction_ = nullptr;
    RemoveTransaction(old);
  }
  if (tr != nullptr && tr != old) AddTransaction(tr);
  default_transaction_ = tr;
}

int TIBDatabase::AddSQLObject(TIBBase* obj) { return sql_objects_.Add(obj); }

void TIBDatabase::RemoveSQLObject(TIBBase* obj) { sql_objects_.Remove(obj); }

void TIBDatabase::ApplyUpdates(const std::vector<TIBCustomDataSet*>& datasets) {
  if (datasets.empty()) return;
  TIBTransaction* tr = datasets.front()->AssignedTransaction();
  for (const TIBCustomDataSet* ds : datasets) {
    if (ds->Database() != this) IBError(ibceUpdateWrongDB);
    if (ds->AssignedTransaction() != tr) IBError(ibceUpdateWrongTR);
  }
  if (tr == nullptr) IBError(ibceTransactionNotAssigned);
  tr->CheckInTransaction();
  for (TIBCustomDataSet* ds : datasets) ds->ApplyUpdates();
  tr->CommitRetaining();
}

void TIBDatabase::CloseDataSets() {
  for (TIBBase* obj : sql_objects_.Snapshot())
    if (obj->OnCloseDataSet) obj->OnCloseDataSet();
}

int TIBDatabase::IndexOfDBConst(const String& name) const {
  String wanted = LowerCase(name);
  for (int i = 0; i < params_.Count(); ++i) {
    String line = LowerCase(params_[i]);
    size_t pos = line.find(wanted);
    if (pos == 0 || pos == 8) return i;
  }
  return -1;
}

String TIBDatabase::GetDBParamByDPB(int code) const {
  if (code < 1 || code > static_cast<int>(DPBConstantNames().size())) return String();
  int i = IndexOfDBConst(DPBConstantNames()[code - 1]);
  if (i < 0) return String();
  const String& line = params_[i];
  size_t eq = line.find(u'=');
  return eq == String::npos ? String() : line.substr(eq + 1);
}

void TIBDatabase::SetDBParamByDPB(int code, const String& value) {
  if (code < 1 || code > static_cast<int>(DPBConstantNames().size())) return;
  const String& name = DPBConstantNames()[code - 1];
  int i = IndexOfDBConst(name);
  if (value.empty()) {
    if (i >= 0) params_.Delete(i);
  } else if (i >= 0) {
    params_.SetStrings(i, name + u"=" + value);
  } else {
    params_.Add(name + u"=" + value);
  }
}

void TIBDatabase::CreateDatabase() {
  EnsureServerType();
  CheckInactive();
  IGDSLibrary& lib = GDSLibrary();
  std::string sql =
      StringToAnsi(u"CREATE DATABASE '" + db_name_ + u"' " + params_.Text());
  isc_tr_handle tr = 0;
  if (lib.isc_dsql_execute_immediate(StatusVector(), &handle_, &tr, 0, sql.c_str(),
                                     static_cast<unsigned short>(sql_dialect_), nullptr) != 0) {
    handle_ = 0;
    IBDataBaseError(lib);
  }
  ReadDBSQLDialect();
}

void TIBDatabase::DropDatabase() {
  CheckActive();
  BeforeDisconnectNotify(false);
  IGDSLibrary& lib = GDSLibrary();
  Call(lib.isc_drop_database(StatusVector(), &handle_), true);
  handle_ = 0;
  for (TIBBase* obj : sql_objects_.Snapshot()) obj->DoAfterDatabaseDisconnect();
}

}  // namespace kavo
