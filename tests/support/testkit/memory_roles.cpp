#include "testkit/memory_roles.h"

#include <algorithm>

#include "recordset/date_time_fields.h"
#include "recordset/numeric_fields.h"
#include "recordset/string_fields.h"

namespace kavo::test {

namespace {

bool IsPending(const OracleTable& t, const Row& row) {
  const Value& status = row.at(static_cast<size_t>(t.columns.IndexOf(u"STATUS")));
  return status && *status == "A";
}

std::string BoolText(bool value) { return value ? "true" : "false"; }

}  // namespace

// ---- recorded calls ---------------------------------------------------------------------

template <class Base>
void RecordedDataSet<Base>::CloseQuietly() {
  quiet_ = true;
  try {
    this->Close();
  } catch (...) {
    quiet_ = false;
    throw;
  }
  quiet_ = false;
}

template <class Base>
void RecordedDataSet<Base>::DoSetActive(bool value) {
  if (!quiet_) {
    Call(prefix_ + (value ? ".Open" : ".Close"));
    if (!value && this->Active() && on_close) on_close();
  }
  MemoryDataSetT<Base>::DoSetActive(value);
}

// First and Next both begin with the scroll hook (First then rewinds), and
// so do Insert and the Cancel of an insert, which are recorded as themselves.
template <class Base>
void RecordedDataSet<Base>::DoBeforeScroll() {
  if (this->State() == dsBrowse && !inserting_) Call(prefix_ + ".Next");
  inserting_ = false;
  MemoryDataSetT<Base>::DoBeforeScroll();
}

template <class Base>
void RecordedDataSet<Base>::InternalFirst() {
  if (calls && !calls->empty() && calls->back() == prefix_ + ".Next")
    calls->back() = prefix_ + ".First";
  MemoryDataSetT<Base>::InternalFirst();
}

template <class Base>
void RecordedDataSet<Base>::DoBeforeEdit() {
  Call(prefix_ + ".Edit");
  MemoryDataSetT<Base>::DoBeforeEdit();
}

template <class Base>
void RecordedDataSet<Base>::DoBeforeInsert() {
  Call(prefix_ + ".Insert");
  inserting_ = true;
  MemoryDataSetT<Base>::DoBeforeInsert();
}

template <class Base>
void RecordedDataSet<Base>::DoBeforePost() {
  Call(prefix_ + ".Post");
  MemoryDataSetT<Base>::DoBeforePost();
}

template <class Base>
void RecordedDataSet<Base>::DoBeforeCancel() {
  Call(prefix_ + ".Cancel");
  MemoryDataSetT<Base>::DoBeforeCancel();
}

template <class Base>
int RecordedDataSet<Base>::GetRecordCount() {
  Call(prefix_ + ".RecordCount");
  return MemoryDataSetT<Base>::GetRecordCount();
}

template <class Base>
void RecordedDataSet<Base>::SetFieldData(TField* field, const void* buffer) {
  std::string value = "<set>";
  if (!buffer)
    value = "<null>";
  else if (field->DataType() == ftString)
    value = static_cast<const char*>(buffer);
  else if (field->DataType() == ftWideString)
    value = StringToUtf8(static_cast<const Char*>(buffer));
  Call(prefix_ + "." + StringToUtf8(field->FieldName()) + ":=" + value);
  MemoryDataSetT<Base>::SetFieldData(field, buffer);
}

template class RecordedDataSet<roles::OracleDataSet>;
template class RecordedDataSet<roles::IBDataSet>;

// ---- Oracle -----------------------------------------------------------------------------

OracleTable::OracleTable() {
  columns.Add(u"ACAO", ftString, 1);
  columns.Add(u"CODIGO", ftFloat);
  columns.Add(u"DADOS", ftString, 500);
  columns.Add(u"DT_H_GRAV", ftDateTime);
  columns.Add(u"DT_H_PRI_P", ftDateTime);
  columns.Add(u"DT_H_ULT_P", ftDateTime);
  columns.Add(u"ERRO", ftString, 255);
  columns.Add(u"HORA", ftString, 8);
  columns.Add(u"ORDEM", ftFloat);
  columns.Add(u"STATUS", ftString, 1);
  columns.Add(u"TABELA", ftString, 20);
  columns.Add(u"TIPO", ftString, 50);
  columns.Add(u"VERSAO", ftString, 10);
}

int OracleTable::AddPending(double codigo, const std::string& hora, Value dt_h_grav) {
  Row row(static_cast<size_t>(columns.Count()));
  rows.push_back(row);
  int r = static_cast<int>(rows.size()) - 1;
  Set(r, u"ACAO", Text("I"));
  Set(r, u"CODIGO", Float(codigo));
  Set(r, u"DADOS", Text("dados " + std::to_string(r)));
  Set(r, u"DT_H_GRAV", dt_h_grav);
  Set(r, u"HORA", hora.empty() ? std::nullopt : Value(hora));
  Set(r, u"STATUS", Text("A"));
  Set(r, u"TIPO", Text("PEDIDO"));
  Set(r, u"VERSAO", Text("1.0"));
  return r;
}

const Value& OracleTable::At(int row, StringView column) const {
  return rows.at(row).at(static_cast<size_t>(columns.IndexOf(column)));
}

void OracleTable::Set(int row, StringView column, Value v) {
  rows.at(row).at(static_cast<size_t>(columns.IndexOf(column))) = std::move(v);
}

void MemOracleSession::SetLogonDatabase(const String& v) {
  Call("ora.LogonDatabase=" + StringToUtf8(v));
  database = v;
}

void MemOracleSession::SetLogonUsername(const String& v) {
  Call("ora.LogonUsername=" + StringToUtf8(v));
  username = v;
}

void MemOracleSession::SetLogonPassword(const String& v) {
  Call("ora.LogonPassword=" + StringToUtf8(v));
  password = v;
}

void MemOracleSession::SetConnected(bool value) {
  Call("ora.Connected=" + BoolText(value));
  if (value == connected_) return;
  if (!value) {
    for (MemOracleDataSet* ds : datasets) ds->CloseQuietly();
    connected_ = false;
    journal_.push_back("ora.logoff");
    return;
  }
  if (on_logon) on_logon();
  if (database != good_database || username != good_username || password != good_password)
    throw EOracleError(u"ORA-01017: invalid username/password; logon denied");
  connected_ = true;
  ++logons;
  journal_.push_back("ora.logon");
}

MemOracleDataSet::MemOracleDataSet(TComponent* owner, MemOracleSession& session,
                                   OracleTable& table, Journal& journal)
    : RecordedDataSet<roles::OracleDataSet>(owner, "ora"),
      session_(session),
      table_(table),
      journal_(journal) {
  session.datasets.push_back(this);
  for (int i = 0; i < table.columns.Count(); ++i) Columns().Add(table.columns[i]);
  on_open = [this] {
    if (!session_.Connected()) throw EOracleError(u"ORA-03114: not connected to ORACLE");
    Rows().clear();
    RowIds().clear();
    rowids_.clear();
    for (size_t i = 0; i < table_.rows.size() && rowids_.size() < 999; ++i) {
      if (!IsPending(table_, table_.rows[i])) continue;
      AddRow(table_.rows[i]);
      rowids_.push_back(static_cast<int>(i));
    }
    journal_.push_back("ora.open " + std::to_string(rowids_.size()));
  };
}

void MemOracleDataSet::CommitUpdates() {
  Call("ora.CommitUpdates");
  journal_.push_back("ora.commitupdates");
  DataEvent(deDataSetChange);
}

void MemOracleDataSet::InternalEdit() {
  journal_.push_back("ora.edit");
  RecordedDataSet::InternalEdit();
}

void MemOracleDataSet::InternalPost() {
  Row row = ActiveValues();
  if (on_write) on_write(row);
  int held = ActiveRowIndex();
  RecordedDataSet::InternalPost();
  table_.rows.at(rowids_.at(held)) = row;
  ++table_.commits;
  journal_.push_back("ora.post+commit");
}

void MemOracleDataSet::InternalCancel() {
  journal_.push_back("ora.cancel");
  RecordedDataSet::InternalCancel();
}

// ---- Firebird -----------------------------------------------------------------------------

FirebirdServer::FirebirdServer() {
  columns.Add(u"ACAO", ftWideString, 3);
  columns.Add(u"DADOS", ftWideString, 500);
  columns.Add(u"DATA", ftDate);
  columns.Add(u"HORA", ftTime);
  columns.Add(u"TIPO", ftWideString, 50);
  columns.Add(u"VERSAO", ftWideString, 10);
  columns.Add(u"STATUS", ftWideString, 10);
  columns.Add(u"ERRO", ftWideString, 200);
  columns.Add(u"STATUS_INTEGRACAO", ftWideString, 10);
  columns.Add(u"ERRO_INTEGRACAO", ftWideString, 200);
  columns.Add(u"NRECNO", ftLargeint);
}

std::vector<Row>* FirebirdServer::Find(const String& path) {
  for (auto& [name, rows] : databases)
    if (name == path) return &rows;
  return nullptr;
}

void MemIBTransaction::CheckActive() const {
  if (!active_) throw EIBError(u"Transaction is not active");
}

void MemIBTransaction::Start() {
  active_ = true;
  journal_.push_back("fb.start");
}

void MemIBTransaction::Commit() {
  CheckActive();
  for (Row& r : pending) db_.Committed().push_back(std::move(r));
  pending.clear();
  active_ = false;
  journal_.push_back("fb.commit");
}

void MemIBTransaction::CommitRetaining() {
  Call("tr.CommitRetaining");
  CheckActive();
  if (on_commit) on_commit();
  for (Row& r : pending) db_.Committed().push_back(std::move(r));
  pending.clear();
  journal_.push_back("fb.commitretaining");
}

void MemIBTransaction::RollbackRetaining() {
  Call("tr.RollbackRetaining");
  CheckActive();
  if (on_rollback) on_rollback();
  pending.clear();
  journal_.push_back("fb.rollbackretaining");
}

void MemIBDatabase::SetDatabaseName(const String& value) {
  Call("db.DatabaseName=" + StringToUtf8(value));
  if (Connected()) throw EIBError(u"Cannot change the database of a connected database");
  name_ = value;
}

void MemIBDatabase::Attach() {
  if (on_attach) on_attach();
  attached_ = server_.Find(name_);
  if (!attached_)
    throw EIBError(u"I/O error during \"open\" operation for file \"" + name_ + u"\"");
  journal_.push_back("fb.attach");
}

void MemIBDatabase::Close() {
  Call("db.Close");
  if (!Connected()) return;
  if (on_close) on_close();
  for (MemFbDataSet* ds : datasets) ds->CloseQuietly();
  if (transaction && transaction->Active()) transaction->Commit();
  attached_ = nullptr;
  journal_.push_back("fb.detach");
}

MemFbDataSet::MemFbDataSet(TComponent* owner, MemIBDatabase& db, MemIBTransaction& tr,
                           Journal& journal)
    : RecordedDataSet<roles::IBDataSet>(owner, "fb"), db_(db), tr_(tr), journal_(journal) {
  db.datasets.push_back(this);
  for (int i = 0; i < db.TableColumns().Count(); ++i) Columns().Add(db.TableColumns()[i]);
  on_open = [this] {
    if (!db_.Connected()) db_.Attach();
    if (!tr_.Active()) tr_.Start();
    // The stored select asks for NRECNO = 1, which the cycle never writes.
    Rows().clear();
    RowIds().clear();
  };
}

void MemFbDataSet::InternalPost() {
  if (State() == dsInsert) {
    Row row = ActiveValues();
    if (on_insert) on_insert(row);
    tr_.pending.push_back(row);
    journal_.push_back("fb.insert");
    if (on_refresh) on_refresh(row);
  }
  RecordedDataSet::InternalPost();
}

void MemFbDataSet::InternalCancel() {
  journal_.push_back("fb.cancel");
  RecordedDataSet::InternalCancel();
}

namespace {

template <class F>
F* AddField(TComponent& owner, TDataSet& ds, const Char* name, int size = 0) {
  auto* f = new F(&owner);
  f->SetFieldName(name);
  if (size) f->SetSize(size);
  f->SetDataSet(&ds);
  return f;
}

}  // namespace

void AddOracleFields(TComponent& owner, TDataSet& ds) {
  AddField<TStringField>(owner, ds, u"ACAO", 1);
  AddField<TFloatField>(owner, ds, u"CODIGO");
  AddField<TStringField>(owner, ds, u"DADOS", 500);
  AddField<TDateTimeField>(owner, ds, u"DT_H_GRAV");
  AddField<TDateTimeField>(owner, ds, u"DT_H_PRI_P");
  AddField<TDateTimeField>(owner, ds, u"DT_H_ULT_P");
  AddField<TStringField>(owner, ds, u"ERRO", 255);
  AddField<TStringField>(owner, ds, u"HORA", 8);
  AddField<TFloatField>(owner, ds, u"ORDEM");
  AddField<TStringField>(owner, ds, u"STATUS", 1);
  AddField<TStringField>(owner, ds, u"TABELA", 20);
  AddField<TStringField>(owner, ds, u"TIPO", 50);
  AddField<TStringField>(owner, ds, u"VERSAO", 10);
}

void AddFirebirdFields(TComponent& owner, TDataSet& ds) {
  AddField<TWideStringField>(owner, ds, u"ACAO", 3);
  AddField<TWideStringField>(owner, ds, u"DADOS", 500);
  AddField<TDateField>(owner, ds, u"DATA");
  AddField<TTimeField>(owner, ds, u"HORA");
  AddField<TWideStringField>(owner, ds, u"TIPO", 50);
  AddField<TWideStringField>(owner, ds, u"VERSAO", 10);
  AddField<TWideStringField>(owner, ds, u"STATUS", 10);
  AddField<TWideStringField>(owner, ds, u"ERRO", 200);
  AddField<TWideStringField>(owner, ds, u"STATUS_INTEGRACAO", 10);
  AddField<TWideStringField>(owner, ds, u"ERRO_INTEGRACAO", 200);
  AddField<TLargeintField>(owner, ds, u"NRECNO");
}

MemoryComponents::MemoryComponents() {
  session.calls = &calls;
  db.calls = &calls;
  tr.calls = &calls;
  db.transaction = &tr;
  ora = new MemOracleDataSet(&owner, session, table, journal);
  ora->SetName(u"OracleDataSet");
  ora->calls = &calls;
  AddOracleFields(owner, *ora);
  fb = new MemFbDataSet(&owner, db, tr, journal);
  fb->SetName(u"FB_TMP_INTEGRACAO");
  fb->calls = &calls;
  AddFirebirdFields(owner, *fb);
  server.databases.push_back({u"/data/kavo.fdb", {}});
}

}  // namespace kavo::test
