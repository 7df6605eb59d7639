// TIBCustomDataSet: following a master record set through a data source.
#include <algorithm>

#include "ib/ib_dataset.h"
#include "recordset/database_error.h"
#include "recordset/locate_keys.h"

namespace kavo {

void TIBCustomDataSet::SetDataSource(TDataSource* source) {
  for (TDataSource* s = source; s != nullptr;) {
    if (s->DataSet() == this) DatabaseError(u"Circular datalinks are not allowed", this);
    auto* ib = dynamic_cast<TIBCustomDataSet*>(s->DataSet());
    s = ib != nullptr ? ib->DataSource() : nullptr;
  }
  master_link_->SetDataSource(source);
  LinkMasterFields();
  MasterChanged();
}

void TIBCustomDataSet::LinkMasterFields() {
  TDataSet* master = master_link_->DataSet();
  // A closed master keeps the names: its parameters are to become NULL.
  if (master != nullptr && !master->Active()) return;
  std::vector<String> linked;
  if (master != nullptr && internal_prepared_) {
    for (const String& name : q_select_->Params().Names())
      if (!name.empty() && master->FindField(name) != nullptr &&
          std::find(linked.begin(), linked.end(), name) == linked.end())
        linked.push_back(name);
  }
  String names;
  for (const String& name : linked) names += (names.empty() ? u"" : u";") + name;
  // The same names keep what the link last saw: no second re-query.
  if (names != master_link_->FieldNames()) master_link_->SetFieldNames(names);
}

void TIBCustomDataSet::CopyMasterParams() {
  const bool waiting = master_link_->Waiting();
  for (const String& name : SplitFieldNames(master_link_->FieldNames())) {
    TIBXSQLVAR& p = q_select_->ParamByName(name);
    TField* f = waiting ? nullptr : &master_link_->DataSet()->FieldByName(name);
    if (f == nullptr || f->IsNull()) {
      p.Clear();
      continue;
    }
    switch (f->DataType()) {
      case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint:
        p.SetAsInt64(f->AsLargeInt());
        break;
      case ftFloat: case ftCurrency:
        p.SetAsDouble(f->AsFloat());
        break;
      case ftBCD: case ftFMTBcd:  // exact: a double would change a long key
        p.SetAsVariant(f->AsVariant());
        break;
      case ftDate: case ftTime: case ftDateTime: case ftTimeStamp:
        p.SetAsDateTime(f->AsDateTime());
        break;
      default:
        p.SetAsString(f->AsString());
        break;
    }
  }
}

void TIBCustomDataSet::MasterChanged() {
  if (!Active() || !open_ || master_link_->DataSource() == nullptr) return;
  CheckBrowseMode();
  // Queried again in place: the fields and their bindings stay.
  if (q_select_->Open()) q_select_->Close();
  LinkMasterFields();
  CopyMasterParams();
  q_select_->ExecQuery();
  ResetStore();
  current_record_ = -1;
  updates_pending_ = false;
  rows_affected_from_ = q_select_.get();
  FetchRow();
  First();
}

}  // namespace kavo
