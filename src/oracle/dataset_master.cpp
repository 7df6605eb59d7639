// TOracleDataSet: following a master record set, and old values.
#include "oracle/dataset_messages.h"
#include "oracle/oracle_dataset.h"
#include "recordset/database_error.h"
#include "recordset/locate_keys.h"

namespace kavo {

TOracleDataSet* TOracleDataSet::Master() const {
  return master_source_ ? dynamic_cast<TOracleDataSet*>(master_source_->DataSet()) : nullptr;
}

void TOracleDataSet::SetMaster(TOracleDataSet* master) {
  for (TOracleDataSet* m = master; m != nullptr; m = m->Master())
    if (m == this) DatabaseError(SCircularMaster, this);
  master_source_->SetDataSet(master);
  MasterChanged();
}

void TOracleDataSet::SetMasterFields(const String& v) {
  master_link_->SetFieldNames(v);
  MasterChanged();
}

void TOracleDataSet::MasterChanged() {
  if (!Active() || Master() == nullptr) return;
  Refresh();
}

bool TOracleDataSet::WaitingForMaster() const {
  return Master() != nullptr && master_link_->Waiting();
}

void TOracleDataSet::CopyMasterValues() {
  if (Master() == nullptr) return;
  std::vector<TField*> fields = master_link_->Fields();
  std::vector<OraVariant> values = master_link_->Values();
  for (size_t i = 0; i < fields.size() && i < values.size(); ++i) {
    // Only the variables the statement declares take part.
    if (main_query_->VariableIndex(fields[i]->FieldName()) >= 0)
      main_query_->SetVariable(fields[i]->FieldName(), values[i]);
  }
}

void TOracleDataSet::FillDetailFields() {
  if (Master() == nullptr || WaitingForMaster() || Trim(detail_fields_).empty()) return;
  std::vector<OraVariant> values = master_link_->Values();
  std::vector<String> names = SplitFieldNames(detail_fields_);
  for (size_t i = 0; i < names.size() && i < values.size(); ++i)
    FieldByName(names[i]).SetAsVariant(values[i]);
}

void TOracleDataSet::CheckDetailsForRefresh() {
  for (TDataSet* d : DetailDataSets()) {
    auto* detail = dynamic_cast<TOracleDataSet*>(d);
    if (detail != nullptr && Trim(detail->detail_fields_).empty() && detail->UpdatesPending())
      throw Exception(SDetailCachedUpdates);
  }
  for (TDataSet* d : DetailDataSets())
    if (d->Active()) d->CheckBrowseMode();
}

TRecordBuffer TOracleDataSet::OldRecord() {
  TRecordBuffer stored = StoredRecord(ActiveBuffer());
  if (stored == nullptr) return ActiveBuffer();  // a new record has no earlier value
  if (cached_updates_) {
    // The row as the server has it, before the changes the log holds.
    TChangeLogItem* item = change_log_.FindByBookmark(Header(stored).Bookmark);
    if (item != nullptr && !item->BeforeData.Empty()) return item->BeforeData.Data();
  }
  return stored;
}

}  // namespace kavo
