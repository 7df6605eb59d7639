#include "recordset/data_source.h"

#include <algorithm>

#include "recordset/database_error.h"
#include "recordset/locate_keys.h"

namespace kavo {

namespace {

template <class T>
void Unlist(std::vector<T*>& list, T* item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

}  // namespace

// ---- TDataSource -----------------------------------------------------------------

TDataSource::TDataSource(TComponent* owner) : TComponent(owner) {}

TDataSource::~TDataSource() {
  SetDataSet(nullptr);
  for (TDataLink* link : std::vector<TDataLink*>(links_)) link->SetDataSource(nullptr);
}

void TDataSource::SetDataSet(TDataSet* dataset) {
  if (dataset == dataset_) return;
  if (dataset_) Unlist(dataset_->data_sources_, this);
  dataset_ = dataset;
  if (dataset_) dataset_->data_sources_.push_back(this);
  UpdateLinkStates();
}

void TDataSource::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  UpdateLinkStates();
}

TDataSetState TDataSource::State() const {
  return dataset_ && enabled_ ? dataset_->State() : dsInactive;
}

void TDataSource::UpdateLinkStates() {
  for (TDataLink* link : std::vector<TDataLink*>(links_)) link->UpdateState();
  if (OnStateChange) OnStateChange(*this);
}

void TDataSource::Notify(TDataEvent event, TField* field) {
  if (!enabled_) return;
  if (event == deUpdateState) {
    UpdateLinkStates();
    return;
  }
  // A link may detach itself while handling the notice.
  for (TDataLink* link : std::vector<TDataLink*>(links_))
    if (std::find(links_.begin(), links_.end(), link) != links_.end())
      link->DataEvent(event, field);
  if (event == deFieldChange || event == deRecordChange || event == deDataSetChange ||
      event == deDataSetScroll || event == deLayoutChange) {
    if (OnDataChange) OnDataChange(*this, event == deFieldChange ? field : nullptr);
  } else if (event == deUpdateRecord) {
    if (OnUpdateData) OnUpdateData(*this);
  }
}

std::vector<TDataSet*> TDataSet::DetailDataSets() const {
  std::vector<TDataSet*> details;
  for (const TDataSource* source : data_sources_)
    for (const TDataLink* link : source->links_)
      if (TDataSet* d = link->DetailDataSet()) details.push_back(d);
  return details;
}

// ---- TDataLink --------------------------------------------------------------------

TDataLink::~TDataLink() {
  if (source_) Unlist(source_->links_, this);
}

void TDataLink::SetDataSource(TDataSource* source) {
  if (source == source_) return;
  if (source_) Unlist(source_->links_, this);
  source_ = source;
  if (source_) source_->links_.push_back(this);
  UpdateState();
}

void TDataLink::UpdateState() {
  TDataSetState state = source_ ? source_->State() : dsInactive;
  bool active = state != dsInactive && state != dsOpening;
  bool editing = state == dsEdit || state == dsInsert;
  if (active != active_) {
    active_ = active;
    ActiveChanged();
  }
  if (editing != editing_) {
    editing_ = editing;
    EditingChanged();
  }
}

void TDataLink::DataEvent(TDataEvent event, TField* field) {
  if (!active_) return;
  switch (event) {
    case deFieldChange: RecordChanged(field); break;
    case deRecordChange: RecordChanged(nullptr); break;
    case deDataSetChange: DataSetChanged(); break;
    case deDataSetScroll: DataSetScrolled(); break;
    case deLayoutChange: LayoutChanged(); break;
    case deUpdateRecord: UpdateData(); break;
    case deCheckBrowseMode: CheckBrowseMode(); break;
    case deFocusControl: FocusControl(field); break;
    default: break;
  }
}

// ---- TMasterDataLink -----------------------------------------------------------------

void TMasterDataLink::SetFieldNames(const String& names) {
  field_names_ = names;
  seen_ = false;
}

std::vector<TField*> TMasterDataLink::Fields() const {
  std::vector<TField*> fields;
  TDataSet* master = DataSet();
  if (!master || !Active()) return fields;
  for (const String& name : SplitFieldNames(field_names_)) fields.push_back(&master->FieldByName(name));
  return fields;
}

bool TMasterDataLink::Waiting() const {
  TDataSet* master = DataSet();
  return !Active() || master->State() == dsInsert || (master->Bof() && master->Eof());
}

std::vector<OraVariant> TMasterDataLink::Values() const {
  std::vector<OraVariant> values;
  if (Waiting()) return values;
  for (TField* f : Fields()) values.push_back(f->AsVariant());
  return values;
}

void TMasterDataLink::ActiveChanged() {
  seen_ = false;
  if (Active()) {
    RecordChanged(nullptr);
  } else if (OnMasterDisable) {
    OnMasterDisable();
  }
}

void TMasterDataLink::RecordChanged(TField* field) {
  if (!OnMasterChange) return;
  if (field) {
    std::vector<TField*> fields = Fields();
    if (std::find(fields.begin(), fields.end(), field) == fields.end()) return;
  }
  bool waiting = Waiting();
  std::vector<OraVariant> values = Values();
  if (seen_ && waiting == seen_waiting_ && values == seen_values_) return;
  seen_ = true;
  seen_waiting_ = waiting;
  seen_values_ = std::move(values);
  OnMasterChange();
}

}  // namespace kavo
