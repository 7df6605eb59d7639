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

}  // namespace

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

void MemOracleSession::SetConnected(bool value) {
  if (value == connected_) return;
  if (!value) {
    for (MemOracleDataSet* ds : datasets) ds->Close();
    connected_ = false;
    journal_.push_back("ora.logoff");
    return;
  }
  if (database != good_database || username != good_username || password != good_password)
    throw EOracleError(u"ORA-01017: invalid username/password; logon denied");
  connected_ = true;
  ++logons;
  journal_.push_back("ora.logon");
}

MemOracleDataSet::MemOracleDataSet(TComponent* owner, MemOracleSession& session,
                                   OracleTable& table, Journal& journal)
    : MemoryDataSetT<roles::OracleDataSet>(owner),
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
  journal_.push_back("ora.commitupdates");
  DataEvent(deDataSetChange);
}

void MemOracleDataSet::InternalEdit() {
  journal_.push_back("ora.edit");
  MemoryDataSetT::InternalEdit();
}

void MemOracleDataSet::InternalPost() {
  Row row = ActiveValues();
  if (on_write) on_write(row);
  int held = ActiveRowIndex();
  MemoryDataSetT::InternalPost();
  table_.rows.at(rowids_.at(held)) = row;
  ++table_.commits;
  journal_.push_back("ora.post+commit");
}

void MemOracleDataSet::InternalCancel() {
  journal_.push_back("ora.cancel");
  MemoryDataSetT::InternalCancel();
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
  CheckActive();
  if (on_commit) on_commit();
  for (Row& r : pending) db_.Committed().push_back(std::move(r));
  pending.clear();
  journal_.push_back("fb.commitretaining");
}

void MemIBTransaction::RollbackRetaining() {
  CheckActive();
  if (on_rollback) on_rollback();
  pending.clear();
  journal_.push_back("fb.rollbackretaining");
}

void MemIBDatabase::SetDatabaseName(const String& value) {
  if (Connected()) throw EIBError(u"Cannot change the database of a connected database");
  name_ = value;
}

void MemIBDatabase::Attach() {
  attached_ = server_.Find(name_);
  if (!attached_)
    throw EIBError(u"I/O error during \"open\" operation for file \"" + name_ + u"\"");
  journal_.push_back("fb.attach");
}

void MemIBDatabase::Close() {
  if (!Connected()) return;
  for (TDataSet* ds : datasets) ds->Close();
  if (transaction && transaction->Active()) transaction->Commit();
  attached_ = nullptr;
  journal_.push_back("fb.detach");
}

MemFbDataSet::MemFbDataSet(TComponent* owner, MemIBDatabase& db, MemIBTransaction& tr,
                           Journal& journal)
    : MemoryDataSetT<roles::FB_TMP_INTEGRACAO>(owner), db_(db), tr_(tr), journal_(journal) {
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
  MemoryDataSetT::InternalPost();
}

void MemFbDataSet::InternalCancel() {
  journal_.push_back("fb.cancel");
  MemoryDataSetT::InternalCancel();
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
  db.transaction = &tr;
  ora = new MemOracleDataSet(&owner, session, table, journal);
  ora->SetName(u"OracleDataSet");
  AddOracleFields(owner, *ora);
  fb = new MemFbDataSet(&owner, db, tr, journal);
  fb->SetName(u"FB_TMP_INTEGRACAO");
  AddFirebirdFields(owner, *fb);
  server.databases.push_back({u"/data/kavo.fdb", {}});
}

}  // namespace kavo::test
