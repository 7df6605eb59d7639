#include "ib/ib_transaction.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "ib/ib_base.h"
#include "ib/ib_character_set.h"
#include "ib/ib_database.h"
#include "ib/ib_errors.h"
#include "ib/ib_intf.h"
#include "ib/ib_param_blocks.h"
#include "ib/ib_trace_hook.h"
#include "rtl/code_page.h"

namespace kavo {

namespace {

// One entry of the transaction existence block.
struct TransactionEntry {
  isc_db_handle* database;
  ISC_LONG tpb_length;
  const char* tpb;
};

TIBTransactionAction ForcedEnd(TIBTransactionAction action) {
  return action == TACommit || action == TACommitRetaining ? TACommit : TARollback;
}

}  // namespace

TIBTransaction::TIBTransaction(TComponent* owner) : TComponent(owner) {
  params_.OnChanging = [this](const TStringList&) { CheckNotInTransaction(); };
  params_.OnChange = [this] { tr_params_changed_ = true; };
}

TIBTransaction::~TIBTransaction() {
  idle_timer_.Stop();
  if (Active()) {
    try {
      EndTransaction(ForcedEnd(default_action_), true);
    } catch (...) {
    }
  }
  for (TIBBase* obj : sql_objects_.Snapshot()) obj->DoTransactionFree();
  sql_objects_.Clear();
  try {
    RemoveDatabases();
  } catch (...) {
  }
}

void TIBTransaction::Loaded() { TComponent::Loaded(); }

void TIBTransaction::SetActive(bool value) {
  if (Loading()) {
    streamed_active_ = value;
    return;
  }
  if (value && !Active())
    StartTransaction();
  else if (!value && Active())
    Rollback();
}

void TIBTransaction::CheckInTransaction() {
  if (!Active()) IBError(ibceNotInTransaction);
}

void TIBTransaction::CheckNotInTransaction() const {
  if (Active()) IBError(ibceInTransaction);
}

void TIBTransaction::CheckDatabasesInList() const {
  if (databases_.Empty()) IBError(ibceNoDatabasesInTransaction);
}

void TIBTransaction::StartTransaction() {
  CheckNotInTransaction();
  CheckDatabasesInList();
  for (TIBDatabase* db : databases_) {
    if (db->Connected()) continue;
    if (!db->StreamedConnected()) IBError(ibceDatabaseClosed);
    db->Open();
    db->ClearStreamedConnected();
  }
  if (tr_params_changed_) {
    std::string built = BuildTPB(params_.List());
    tpb_length_ = static_cast<int>(built.size());
    if (!built.empty()) tpb_ = std::move(built);
    // Cleared only after a successful build, so a bad list is never skipped.
    tr_params_changed_ = false;
  }
  std::vector<TransactionEntry> block(databases_.Count());
  std::memset(block.data(), 0, block.size() * sizeof(TransactionEntry));
  for (int i = 0; i < databases_.Count(); ++i) {
    block[i].database = databases_[i]->HandleAddress();
    block[i].tpb_length = tpb_length_;
    block[i].tpb = tpb_length_ > 0 ? tpb_.data() : nullptr;
  }
  IGDSLibrary& lib = databases_.Front()->GDSLibrary();
  ISC_STATUS st = lib.isc_start_multiple(StatusVector(), &handle_,
                                         static_cast<short>(block.size()), block.data());
  if (st != 0) {
    handle_ = 0;
    Call(st, true);  // a lost connection closes itself first
    IBDataBaseError(lib, MessageCharacterSet());
  }
  ReportToHook([&](IIBSQLMonitorHook& h) { h.TRStart(*this); });
}

IGDSLibrary& TIBTransaction::EndLibrary() {
  if (default_database_ != nullptr) return default_database_->GDSLibrary();
  CheckDatabasesInList();
  return databases_.Front()->GDSLibrary();
}

const TIBCharacterSet* TIBTransaction::MessageCharacterSet() const {
  TIBDatabase* primary = default_database_ != nullptr ? default_database_
                         : databases_.Empty()         ? nullptr
                                                      : databases_.Front();
  return primary != nullptr ? &primary->CharacterSetInfo() : nullptr;
}

void TIBTransaction::EndTransaction(TIBTransactionAction action, bool force) {
  CheckInTransaction();
  IGDSLibrary& lib = EndLibrary();
  ISC_STATUS* status = StatusVector();
  switch (action) {
    case TARollback:
    case TACommit: {
      if (handle_is_shared_ && action != default_action_ && !force)
        IBError(ibceCantEndSharedTransaction);
      TAutoStopAction held = auto_stop_action_;
      auto_stop_action_ = saNone;
      try {
        for (TIBBase* obj : sql_objects_.Snapshot()) {
          try {
            obj->DoBeforeTransactionEnd();
          } catch (...) {
            if (!force) throw;
          }
        }
      } catch (...) {
        auto_stop_action_ = held;
        throw;
      }
      auto_stop_action_ = held;
      if (Active()) {
        if (handle_is_shared_) {
          handle_ = 0;
          handle_is_shared_ = false;
        } else if (prepared_ && force) {
          // Left in limbo: the detach that follows keeps it there.
          handle_ = 0;
        } else {
          ISC_STATUS st = action == TACommit ? lib.isc_commit_transaction(status, &handle_)
                                             : lib.isc_rollback_transaction(status, &handle_);
          st = Call(st, false);
          // Forced: the handle goes either way; the commit's error stays the
          // one in the status vector.
          if (force && st != 0)
            KeepingStatusVector([&] { lib.isc_rollback_transaction(status, &handle_); });
          if (force) {
            handle_ = 0;
          } else if (st != 0) {
            TIBServerError e = BuildServerError(lib, MessageCharacterSet());
            if ((e.sql_code == -902 && e.error_code == isc_network_error) ||
                StatusIsLostConnection()) {
              TIBDatabase* primary = default_database_ != nullptr ? default_database_
                                                                  : databases_.Front();
              primary->ForceClose();
            }
            RaiseServerError(e);
          }
        }
        for (TIBBase* obj : sql_objects_.Snapshot()) obj->DoAfterTransactionEnd();
      }
      transaction_id_ = 0;
      if (!Active()) prepared_ = false;
      break;
    }
    case TARollbackRetaining:
      Call(lib.isc_rollback_retaining(status, &handle_), true);
      prepared_ = false;
      break;
    case TACommitRetaining:
      Call(lib.isc_commit_retaining(status, &handle_), true);
      // The retained context is a new transaction, not prepared (its cached
      // number stays, as for every retaining end).
      prepared_ = false;
      break;
  }
  ReportEnd(action);
  if (!Active()) auto_started_ = false;
}

void TIBTransaction::ReportEnd(TIBTransactionAction action) {
  ReportToHook([&](IIBSQLMonitorHook& h) {
    switch (action) {
      case TARollback: h.TRRollback(*this); break;
      case TACommit: h.TRCommit(*this); break;
      case TARollbackRetaining: h.TRRollbackRetaining(*this); break;
      case TACommitRetaining: h.TRCommitRetaining(*this); break;
    }
  });
}

void TIBTransaction::ClearCanTimeout() {
  can_timeout_ = false;
  for (TIBDatabase* db : databases_) db->ClearCanTimeout();
}

ISC_STATUS TIBTransaction::Call(ISC_STATUS status, bool raise) {
  ClearCanTimeout();
  // Firebird reports a vanished server as a read or write error and a killed
  // attachment as a shutdown rather than as a lost connection: all of them
  // make the connection close itself.
  if (status != 0 && !databases_.Empty() && StatusIsLostConnection()) {
    TIBDatabase* primary = default_database_ != nullptr ? default_database_ : databases_.Front();
    return primary->Call(status, raise);
  }
  if (raise && status > 0) IBDataBaseError(EndLibrary(), MessageCharacterSet());
  return status;
}

void TIBTransaction::AutoStartTransaction() {
  if (!allow_auto_start_) return;
  StartTransaction();
  auto_started_ = true;
}

void TIBTransaction::CheckAutoStop() {
  if (auto_stop_action_ == saNone || !Active() || !auto_started_) return;
  for (TIBBase* obj : sql_objects_)
    if (obj->IsOpenDataSet && obj->IsOpenDataSet()) return;
  switch (auto_stop_action_) {
    case saNone: break;
    case saRollback: EndTransaction(TARollback, false); break;
    case saCommit: EndTransaction(TACommit, false); break;
    case saRollbackRetaining: EndTransaction(TARollbackRetaining, false); break;
    case saCommitRetaining: EndTransaction(TACommitRetaining, false); break;
  }
}

void TIBTransaction::StartSavepoint(const String& name) {
  CheckInTransaction();
  std::string bytes = StringToAnsi(name);
  IGDSLibrary& lib = databases_.Front()->GDSLibrary();
  Call(lib.isc_start_savepoint(StatusVector(), &handle_, bytes.c_str()), false);
}

void TIBTransaction::ReleaseSavepoint(const String& name) {
  CheckInTransaction();
  std::string bytes = StringToAnsi(name);
  IGDSLibrary& lib = databases_.Front()->GDSLibrary();
  Call(lib.isc_release_savepoint(StatusVector(), &handle_, bytes.c_str()), false);
}

void TIBTransaction::RollbackSavepoint(const String& name) {
  CheckInTransaction();
  std::string bytes = StringToAnsi(name);
  IGDSLibrary& lib = databases_.Front()->GDSLibrary();
  Call(lib.isc_rollback_savepoint(StatusVector(), &handle_, bytes.c_str(), 0), false);
}

int64_t TIBTransaction::TransactionID() {
  CheckInTransaction();
  if (transaction_id_ == 0) {
    IGDSLibrary& lib = EndLibrary();
    char item = isc_info_tra_id;
    char reply[32] = {};
    Call(lib.isc_transaction_info(StatusVector(), &handle_, 1, &item, sizeof reply, reply), true);
    if (reply[0] == item) {
      int length = static_cast<short>(lib.isc_vax_integer(reply + 1, 2));
      if (length <= 4) {
        transaction_id_ = static_cast<uint32_t>(lib.isc_vax_integer(reply + 3, length));
      } else {
        // Wider numbers than the 4-byte decoder takes, little-endian.
        uint64_t v = 0;
        for (int i = std::min(length, 8) - 1; i >= 0; --i)
          v = (v << 8) | static_cast<unsigned char>(reply[3 + i]);
        transaction_id_ = static_cast<int64_t>(v);
      }
    }
  }
  return transaction_id_;
}

void TIBTransaction::Prepare(const String& description) {
  CheckInTransaction();
  IGDSLibrary& lib = EndLibrary();
  const TIBCharacterSet* cs = MessageCharacterSet();
  std::string bytes = cs != nullptr ? EncodeText(description, *cs) : StringToAnsi(description);
  // The server takes at most a 16-bit length.
  if (bytes.size() > 65535) bytes.resize(65535);
  Call(lib.isc_prepare_transaction2(StatusVector(), &handle_,
                                    static_cast<ISC_USHORT>(bytes.size()),
                                    reinterpret_cast<const ISC_UCHAR*>(bytes.data())),
       true);
  prepared_ = true;
}

void TIBTransaction::Reconnect(int64_t transaction_id) {
  CheckNotInTransaction();
  CheckDatabasesInList();
  TIBDatabase* db = databases_.Front();
  if (!db->Connected()) IBError(ibceDatabaseClosed);
  IGDSLibrary& lib = db->GDSLibrary();
  // The server reads the number as a little-endian integer of the given length.
  char id[8];
  uint64_t v = static_cast<uint64_t>(transaction_id);
  for (char& b : id) {
    b = static_cast<char>(v & 0xFF);
    v >>= 8;
  }
  short length = transaction_id >= 0 && transaction_id <= 0xFFFFFFFFLL ? 4 : 8;
  ISC_STATUS st = lib.isc_reconnect_transaction(StatusVector(), db->HandleAddress(), &handle_,
                                                length, id);
  if (st != 0) {
    handle_ = 0;
    Call(st, true);
    IBDataBaseError(lib, MessageCharacterSet());
  }
  prepared_ = true;
  transaction_id_ = transaction_id;
  ReportToHook([&](IIBSQLMonitorHook& h) { h.TRStart(*this); });
}

void TIBTransaction::SetDefaultDatabase(TIBDatabase* db) {
  TIBDatabase* old = default_database_;
  if (old != nullptr && old != db) {
    default_database_ = nullptr;
    old->RemoveTransaction(this);
  }
  if (db != nullptr && db != old) {
    db->AddTransaction(this);
    for (TIBBase* obj : sql_objects_.Snapshot())
      if (obj->Database() == nullptr) obj->SetDatabase(db);
  }
  default_database_ = db;
}

void TIBTransaction::SetDefaultAction(TIBTransactionAction action) {
  if (action == TARollbackRetaining) {
    double version;
    if (default_database_ != nullptr) {
      version = default_database_->GDSLibrary().GetIBClientVersion();
    } else {
      String server = u"IBServer";
      version = GetGDSLibrary(server)->GetIBClientVersion();
    }
    if (version < 6.0) IBError(ibceIB60feature, {u"isc_rollback_retaining"});
  }
  default_action_ = action;
}

void TIBTransaction::SetIdleTimer(int milliseconds) { idle_timer_.SetInterval(milliseconds); }

void TIBTransaction::IdleTimerTick() {
  if (!Active()) return;
  if (can_timeout_) {
    EndTransaction(default_action_, true);
    can_timeout_ = true;
    if (OnIdleTimer) OnIdleTimer(this);
  } else {
    can_timeout_ = true;
  }
}

int TIBTransaction::AddDatabase(TIBDatabase* db) {
  int i = FindDatabase(db);
  if (i >= 0) return i;
  i = databases_.Add(db);
  db->AddTransaction(this);
  return i;
}

void TIBTransaction::RemoveDatabase(int index) { RemoveDatabase(databases_[index]); }

void TIBTransaction::RemoveDatabase(TIBDatabase* db) {
  if (FindDatabase(db) < 0) return;
  if (Active() && databases_.Count() == 1) EndTransaction(ForcedEnd(default_action_), true);
  databases_.Remove(db);
  if (default_database_ == db) default_database_ = nullptr;
  db->RemoveTransaction(this);
}

void TIBTransaction::RemoveDatabases() {
  while (!databases_.Empty()) RemoveDatabase(databases_.Back());
}

int TIBTransaction::FindDatabase(const TIBDatabase* db) const { return databases_.IndexOf(db); }

TIBDatabase* TIBTransaction::FindDefaultDatabase() const {
  if (default_database_ != nullptr) return default_database_;
  for (TIBDatabase* db : databases_)
    if (db->DefaultTransaction() == this) return db;
  return nullptr;
}

int TIBTransaction::AddSQLObject(TIBBase* obj) { return sql_objects_.Add(obj); }

void TIBTransaction::RemoveSQLObject(TIBBase* obj) { sql_objects_.Remove(obj); }

}  // namespace kavo
