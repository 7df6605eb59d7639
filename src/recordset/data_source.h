// Observers of a record set: a TDataSource attaches to one record set and
// passes its DataEvent notices on to the TDataLinks attached to it.
//
//   notice              a link's handler
//   deUpdateState       ActiveChanged (when opened or closed), EditingChanged
//                       (when edit/insert begins or ends)
//   deFieldChange       RecordChanged(field)
//   deRecordChange      RecordChanged(nullptr)
//   deDataSetChange     DataSetChanged
//   deDataSetScroll     DataSetScrolled
//   deLayoutChange      LayoutChanged
//   deUpdateRecord      UpdateData (before a post: write pending input back)
//   deCheckBrowseMode   CheckBrowseMode
//   deFocusControl      FocusControl(field)
#ifndef KAVO_RECORDSET_DATA_SOURCE_H_
#define KAVO_RECORDSET_DATA_SOURCE_H_

#include <functional>
#include <vector>

#include "recordset/dataset.h"
#include "rtl/component.h"

namespace kavo {

class TDataLink;

class TDataSource : public TComponent {
 public:
  using TNotifyEvent = std::function<void(TDataSource&)>;
  using TDataChangeEvent = std::function<void(TDataSource&, TField*)>;

  explicit TDataSource(TComponent* owner);
  ~TDataSource() override;

  TDataSet* DataSet() const { return dataset_; }
  void SetDataSet(TDataSet* dataset);
  // Disabled, the links see the record set as closed and get no notices.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  // The record set's state; dsInactive without one or while disabled.
  TDataSetState State() const;

  TNotifyEvent OnStateChange;
  TDataChangeEvent OnDataChange;  // field: the changed field, else null
  TNotifyEvent OnUpdateData;

 private:
  friend class TDataSet;
  friend class TDataLink;

  void Notify(TDataEvent event, TField* field);
  // Each link compares its remembered active/editing flags with the source.
  void UpdateLinkStates();

  TDataSet* dataset_ = nullptr;
  bool enabled_ = true;
  std::vector<TDataLink*> links_;
};

class TDataLink {
 public:
  TDataLink() = default;
  virtual ~TDataLink();
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* DataSource() const { return source_; }
  void SetDataSource(TDataSource* source);
  TDataSet* DataSet() const { return source_ ? source_->DataSet() : nullptr; }
  // The record set is open (and the source enabled).
  bool Active() const { return active_; }
  // The record set is in dsEdit or dsInsert.
  bool Editing() const { return editing_; }

 protected:
  virtual void ActiveChanged() {}
  virtual void EditingChanged() {}
  virtual void RecordChanged(TField*) {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  virtual void DataSetScrolled() { DataSetChanged(); }
  virtual void LayoutChanged() { DataSetChanged(); }
  virtual void UpdateData() {}
  virtual void CheckBrowseMode() {}
  virtual void FocusControl(TField*) {}

 private:
  friend class TDataSource;

  void DataEvent(TDataEvent event, TField* field);
  void UpdateState();

  TDataSource* source_ = nullptr;
  bool active_ = false;
  bool editing_ = false;
};

}  // namespace kavo

#endif  // KAVO_RECORDSET_DATA_SOURCE_H_
