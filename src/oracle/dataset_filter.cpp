// TOracleDataSet: filters. The filter tree is read for each record as it
// is fetched, with the record shown to the fields in the filter state; the
// store keeps refused records and shows the filtered list.
#include "oracle/filter_column.h"
#include "oracle/oracle_dataset.h"

namespace kavo {

void TOracleDataSet::BuildFilter() {
  filter_expr_.reset();
  if (!Trim(filter_).empty())
    filter_expr_ = CreateExpression(filter_, filter_options_, GetColumnExpr(*this));
}

void TOracleDataSet::SetFilter(const String& v) {
  filter_ = v;
  if (!Active()) return;
  BuildFilter();
  if (filtered_) RefilterRecords();
}

void TOracleDataSet::SetFilterOptions(TFilterOptions v) {
  filter_options_ = v;
  if (!Active()) return;
  BuildFilter();
  if (filtered_) RefilterRecords();
}

void TOracleDataSet::SetFiltered(bool v) {
  if (v == filtered_) return;
  if (Active()) CheckBrowseMode();
  filtered_ = v;
  InstallHooks();
  if (Active()) RefilterRecords();
}

bool TOracleDataSet::ApplyFilterTo(TRecordBuffer record) {
  TDataSetState state = State();
  bool modified = Modified();
  TRecordBuffer shown = fetch_record_;
  auto restore = [&] {
    fetch_record_ = shown;
    SetState(state);
    SetModified(modified);
  };
  fetch_record_ = record;
  SetState(dsFilter);
  bool accept = true;
  try {
    if (OnFilterRecord) OnFilterRecord(*this, accept);
    if (accept && filter_expr_) accept = filter_expr_->GetAsBoolean();
  } catch (...) {
    restore();
    throw;
  }
  restore();
  return accept;
}

bool TOracleDataSet::FilteredRows::Accept(TRecordBuffer record) {
  if (!ds_.ApplyFilterTo(record)) return false;
  ds_.store_->AddToFilteredList(record, true);
  return true;
}

void TOracleDataSet::RefilterRecords() {
  if (!store_) return;
  store_->SetFiltered(filtered_);
  if (filtered_) {
    store_->ClearFilteredList();
    for (int i = store_->BlockOffset(); i < store_->Count(); ++i) {
      TRecordBuffer r = store_->DataAt(i);
      if (r != nullptr && ApplyFilterTo(r)) store_->AddToFilteredList(r, true);
    }
  }
  First();
}

}  // namespace kavo
