// TDataSet: the record set that both database layers build on.
//
// The model owns the state machine, the navigation rules, the automatic post
// of pending changes before every move, Edit and Insert, the field list and
// the field conversions. A record set class supplies the server work through
// the protected virtual operations below; the six marked "must" have no base
// behaviour.
//
// The record window holds one record: the current one. Each move asks the
// record set for the next or prior record (GetRecord) relative to its own
// cursor, which the model keeps on the current record: before a move, Edit,
// Insert, Post or Cancel that needs it, the model calls InternalSetToRecord
// with the current buffer (base: InternalGotoBookmark with the buffer's
// bookmark; bfBOF/bfEOF buffers go to InternalFirst/InternalLast).
//
// A record set class must call DestroyCursor() in its own destructor, while
// its overrides still exist, so that an open record set is closed with them.
#ifndef KAVO_RECORDSET_DATASET_H_
#define KAVO_RECORDSET_DATASET_H_

#include <functional>
#include <memory>
#include <vector>

#include "recordset/db_types.h"
#include "recordset/field.h"
#include "recordset/field_defs.h"
#include "recordset/field_name.h"
#include "rtl/component.h"
#include "rtl/exceptions.h"
#include "rtl/stream.h"
#include "rtl/ustring.h"

namespace kavo {

class TBlobDataStream;
class TDataSource;

// A record's identity as the record set defines it (BookmarkSize bytes).
using TBookmark = std::vector<uint8_t>;

class TDataSet : public TComponent {
 public:
  using TDataSetNotifyEvent = std::function<void(TDataSet&)>;
  // An error of InternalPost or InternalEdit; the handler picks the action
  // (default daFail: the error passes on).
  using TDataSetErrorEvent = std::function<void(TDataSet&, Exception&, TDataAction&)>;

  explicit TDataSet(TComponent* owner);
  ~TDataSet() override;

  // ---- state ---------------------------------------------------------------
  TDataSetState State() const { return state_; }
  // Neither dsInactive nor dsOpening.
  bool Active() const { return state_ != dsInactive && state_ != dsOpening; }
  void SetActive(bool value) { DoSetActive(value); }
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  bool Modified() const { return modified_; }
  int RecordCount() { return GetRecordCount(); }
  bool CanModify() { return GetCanModify(); }

  // ---- navigation and editing ---------------------------------------------
  void First();
  // Moves `distance` records (negative: backwards) and answers how many
  // records it moved.
  int MoveBy(int distance);
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  // The last record becomes current; Eof is true.
  void Last();
  void Edit();
  void Insert();
  // Insert at the end: the new record's buffer is flagged bfEOF, so the
  // record set's InternalPost adds it after the last record; after Post it
  // is current.
  void Append();
  virtual void Post();
  virtual void Cancel();
  // Deletes the current record (a record being inserted is cancelled); the
  // next record, else the prior one, becomes current. "Cannot perform this
  // operation on an empty dataset" without a record.
  void Delete();
  // The automatic post: a pending change is posted when Modified, else
  // cancelled.
  void CheckBrowseMode();
  // "Dataset not in edit or insert mode" outside dsEdit, dsInsert, dsSetKey.
  void UpdateRecord();
  // Posts or cancels a pending change, lets the record set re-read its rows
  // (InternalRefresh) and shows the current record again.
  void Refresh();

  // The current record's identity; empty when there is none.
  TBookmark GetBookmark();
  // Makes the record with that identity current ("Record not found").
  void GotoBookmark(const TBookmark& bookmark);
  virtual bool BookmarkValid(const TBookmark&) { return false; }
  // Negative, 0 or positive as `a` stands before, at or after `b`.
  virtual int CompareBookmarks(const TBookmark&, const TBookmark&) { return 0; }
  // The current record's number from 1; base: -1 (unknown).
  int RecNo() { return GetRecNo(); }

  void CheckActive() const;
  void CheckInactive() const;
  void CheckCanModify();

  // ---- fields ---------------------------------------------------------------
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  TField* Fields(int index) const { return fields_.at(index); }
  TField* FindField(StringView name) const;
  // "Field '%s' not found". Inline: the cycle asks for each field of every
  // row by name, and the name after the last one found costs no call.
  TField& FieldByName(StringView name) const {
    const size_t i = FieldIndex(name);
    if (i >= fields_.size()) FieldNotFound(name);
    return *fields_[i];
  }
  // A name written in the code: its length is known when compiled, where
  // a view of it would count its characters on every call.
  template <size_t N>
  TField& FieldByName(const Char (&name)[N]) const {
    size_t n = 0;
    while (n < N && name[n] != 0) ++n;
    return FieldByName(StringView(name, n));
  }
  TFieldDefs& FieldDefs() { return field_defs_; }
  const TFieldDefs& FieldDefs() const { return field_defs_; }
  // Default fields were made from the column definitions at the last open.
  bool DefaultFields() const { return default_fields_; }

  // ---- events -----------------------------------------------------------------
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeScroll, AfterScroll, OnNewRecord;
  TDataSetNotifyEvent BeforeDelete, AfterDelete;
  // Fills the calculated fields of the record being calculated.
  TDataSetNotifyEvent OnCalcFields;
  // Recalculate on every data-field change, not only per record read.
  bool AutoCalcFields() const { return auto_calc_fields_; }
  void SetAutoCalcFields(bool value) { auto_calc_fields_ = value; }
  TDataSetErrorEvent OnPostError, OnEditError;

  // ---- field value exchange (called by TField) -------------------------------
  // Reads the current record's value of `field`; false for NULL. A null
  // buffer only asks for the NULL state. With native false the value is
  // converted to the outside form (DataConvert).
  virtual bool GetFieldData(TField* field, void* buffer, bool native);
  // Converts an outside-form value to native (when native is false) and hands
  // it to SetFieldData(field, buffer). A null buffer means NULL.
  virtual void SetFieldData(TField* field, const void* buffer, bool native);
  // The native/outside conversion for the kinds of the model: ftDate (int32
  // day number), ftTime (int32 milliseconds of the day), ftDateTime (double
  // day number * 86400000 + milliseconds) against a TDateTime; ftWideString
  // (zero-terminated UTF-16, at most Size characters) against a String. Other
  // types are copied unchanged.
  virtual void DataConvert(TField* field, const void* source, void* dest, bool to_native);
  // 8-bit text between record set and program (base: unchanged).
  virtual std::string Translate(const std::string& text, bool to_oem);
  // Whether the current record is unchanged, modified, inserted or deleted.
  virtual TUpdateStatus UpdateStatus();
  // Notifies a change. deFieldChange of a data or internally calculated field
  // sets Modified and calls the field's Change(). deFieldListChange tells a
  // record set that a field joined or left its list (one that keeps pointers
  // to its fields drops them here).
  // Every kind then goes to the attached data sources and their links.
  virtual void DataEvent(TDataEvent event, TField* field = nullptr);

  // A stream over the current record's value of a blob or memo field
  // (blob_fields.h says what it carries). A writing mode needs dsEdit or
  // dsInsert ("Dataset not in edit or insert mode"). Base: this record set
  // has no large values (EDatabaseError).
  virtual std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode);
  // The record sets that follow this one as their master, through the links
  // of its data sources.
  std::vector<TDataSet*> DetailDataSets() const;
  // A blob stream wrote `field`: Modified, and the field-change notice.
  void BlobModified(TField* field) { DataEvent(deFieldChange, field); }

 protected:
  // ---- what a record set supplies -------------------------------------------
  // Must: run the statement, InitFieldDefs(), CreateFields() when
  // DefaultFields(), BindFields(true); leave the cursor before the first record.
  virtual void InternalOpen() = 0;
  // Must: release the server cursor and the record set's own storage.
  virtual void InternalClose() = 0;
  // Must: fill FieldDefs() from the open result.
  virtual void InternalInitFieldDefs() = 0;
  // Must: report an error that happened while filling buffers.
  virtual void InternalHandleException() = 0;
  // Must: whether the server cursor is open.
  virtual bool IsCursorOpen() const = 0;
  // Must: move the cursor (gmNext, gmPrior) or stay (gmCurrent) and copy that
  // record into `buffer`; grBOF/grEOF when there is none in that direction.
  virtual TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool do_check) = 0;

  // Native read of the current record's value (ActiveBuffer()); base: false
  // (no value). Overriding one form hides the others in the derived class:
  // add `using TDataSet::GetFieldData;` (and SetFieldData) there.
  virtual bool GetFieldData(TField* field, void* buffer);
  virtual bool GetFieldData(int field_no, void* buffer);
  // Native write into the current record buffer; base does nothing. An
  // override calls BeginFieldWrite before storing and EndFieldWrite after.
  virtual void SetFieldData(TField* field, const void* buffer);

  virtual TRecordBuffer AllocRecordBuffer();  // base: GetRecordSize() zeroed bytes
  virtual void FreeRecordBuffer(TRecordBuffer& buffer);
  virtual int GetRecordSize() { return 0; }
  virtual void GetBookmarkData(TRecordBuffer buffer, void* data);
  virtual void SetBookmarkData(TRecordBuffer buffer, const void* data);
  virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer);
  virtual void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag);
  int BookmarkSize() const { return bookmark_size_; }
  void SetBookmarkSize(int size) { bookmark_size_ = size; }
  virtual void InternalGotoBookmark(const void* bookmark);
  virtual void InternalSetToRecord(TRecordBuffer buffer);
  virtual void InternalFirst() {}
  virtual void InternalLast() {}
  // Prepare a new record buffer (every field NULL).
  virtual void InternalInitRecord(TRecordBuffer) {}
  // InternalInitRecord, then mark the buffer as a new record.
  virtual void InitRecord(TRecordBuffer buffer);
  virtual void InternalInsert() {}
  virtual void InternalEdit() {}
  // The server write of Post. After an insert the current buffer should carry
  // the new record's bookmark (flag bfCurrent), so the refresh that follows
  // finds it.
  virtual void InternalPost() {}
  virtual void InternalCancel() {}
  virtual void InternalDelete() {}
  virtual void InternalAddRecord(const void*, bool) {}
  virtual void InternalRefresh() {}
  virtual bool GetCanModify() { return true; }
  virtual int GetRecordCount() { return -1; }
  virtual int GetRecNo() { return -1; }
  // One-way record sets are reopened by First instead of rewound.
  virtual bool IsUniDirectional() const { return false; }
  // A default field for a column, owned by the record set; base: the model's
  // kinds, null for others (such a column then has no field).
  virtual TField* CreateDefaultField(const TFieldDef& def);

  // Hooks; each calls its event.
  virtual void DoBeforeOpen();
  virtual void DoAfterOpen();
  virtual void DoBeforeClose();
  virtual void DoAfterClose();
  virtual void DoBeforeInsert();
  virtual void DoAfterInsert();
  virtual void DoBeforeEdit();
  virtual void DoAfterEdit();
  virtual void DoBeforePost();
  virtual void DoAfterPost();
  virtual void DoBeforeCancel();
  virtual void DoAfterCancel();
  virtual void DoBeforeScroll();
  virtual void DoAfterScroll();
  virtual void DoOnNewRecord();
  virtual void DoBeforeDelete();
  virtual void DoAfterDelete();

  // Open or close; the wish is only recorded while the owner is loading.
  virtual void DoSetActive(bool value);

  // Clears the calculated and lookup values of a buffer; base: nothing.
  virtual void ClearCalcFields(TRecordBuffer) {}
  // Computes the calculated fields of a record just read into `buffer`
  // (GetRecord calls this); base: CalculateFields when there are any.
  virtual void GetCalcFields(TRecordBuffer buffer);
  virtual void DoOnCalcFields();

  // ---- helpers for record set classes ----------------------------------------
  // The buffer that field values go to and come from: the record being
  // calculated in dsCalcFields, else the current record; null when none.
  TRecordBuffer ActiveBuffer() const {
    if (state_ == dsCalcFields) return calc_buffer_;
    return has_record_ ? current_ : nullptr;
  }
  // In dsCalcFields: ClearCalcFields and OnCalcFields on `buffer`, with
  // Modified and the state as they were afterwards.
  void CalculateFields(TRecordBuffer buffer);
  bool HasCalcFields() const;
  void InitFieldDefs() { InternalInitFieldDefs(); }
  // Default fields for every column definition.
  void CreateFields();
  // Binds every data field to its column: by name without regard to case
  // ("Field '%s' not found"), the same type family ("Type mismatch ..."),
  // the column's number, and a text field's Size lowered to a shorter
  // column unless it is read-only. Unbinding sets FieldNo back to 0.
  void BindFields(bool binding);
  void SetState(TDataSetState state);
  void SetModified(bool value) { modified_ = value; }
  // Validation before a value is stored, and the change notice after.
  // Inline: every field write of every row passes both.
  void BeginFieldWrite(TField* field, const void* buffer) {
    if ((state_ == dsEdit || state_ == dsInsert) && field->OnValidate) field->Validate(buffer);
  }
  void EndFieldWrite(TField* field) {
    if (state_ != dsCalcFields && state_ != dsFilter && state_ != dsNewValue)
      DataEvent(deFieldChange, field);
  }
  // Re-reads the current record after Post or Cancel (the same, else the
  // next, else the prior one; none leaves the record set empty).
  void Resync();
  // Close without the before/after hooks, for the record set's destructor.
  void DestroyCursor();
  bool IsDestroyingCursor() const { return destroying_; }

  void Loaded() override;

 private:
  friend class TField;
  friend class TDataSource;
  friend class TBlobDataStream;

  // The write streams still open: Post finishes them before the record is
  // written; Cancel, Edit, Insert, Close and the destructor let them go, so
  // a late Close writes into no record.
  void FinishBlobStreams();
  void DetachBlobStreams();

  // Insert and Append: a new record in the window; `append` puts it at the end.
  void BeginNewRecord(bool append);

  // Room for one bookmark: on the stack for the usual sizes, since every
  // insert and every re-read after a post takes one.
  class BookmarkRoom {
   public:
    explicit BookmarkRoom(int size) {
      if (size > static_cast<int>(sizeof small_)) large_.resize(static_cast<size_t>(size));
    }
    uint8_t* Data() { return large_.empty() ? small_ : large_.data(); }

   private:
    alignas(8) uint8_t small_[16];
    std::vector<uint8_t> large_;
  };

  void OpenCursor();
  void CloseCursor();
  void AllocateBuffers();
  void FreeBuffers();
  void ClearWindow();
  // Empties the window, puts the cursor at the start (or end) and reads the
  // record next to it.
  void ReadFromEnd(bool start);
  void UpdateCursorPos();
  void DestroyDefaultFields();
  void FreeFieldBuffers();
  void AddField(TField* field);
  void RemoveField(TField* field);
  // The position of the field named `name` (FieldCount() when none).
  size_t FieldIndex(StringView name) const {
    return FindFieldName(
        fields_.size(), [this](size_t k) -> StringView { return fields_[k]->FieldName(); },
        name, name_index_);
  }
  [[noreturn]] void FieldNotFound(StringView name) const;
  // The parts of DataEvent beyond marking the record modified.
  void FieldChanged(TField* field);
  void NotifySources(TDataEvent event, TField* field);
  // Runs `step` under the error event: daRetry runs it again.
  void WithErrorEvent(const TDataSetErrorEvent& event, const std::function<void()>& step);

  TDataSetState state_ = dsInactive;
  bool bof_ = true;
  bool eof_ = true;
  bool modified_ = false;
  bool default_fields_ = false;
  bool stream_active_ = false;
  bool destroying_ = false;
  std::vector<TBlobDataStream*> blob_streams_;
  bool auto_calc_fields_ = true;
  int bookmark_size_ = 0;
  TRecordBuffer calc_buffer_ = nullptr;
  std::vector<TField*> fields_;
  mutable FieldNameIndex name_index_;  // for FindField
  // Whether a field is calculated or a lookup, asked per record read: kept
  // until a field is added, removed or changes its kind (-1: not known).
  mutable int8_t has_calc_fields_ = -1;
  TFieldDefs field_defs_;
  // The record window: the current record, plus a spare that receives the
  // next record fetched and becomes current when there is one.
  TRecordBuffer current_ = nullptr;
  TRecordBuffer spare_ = nullptr;
  bool has_record_ = false;
  // False when the record set's cursor may have left the current record.
  bool cursor_on_current_ = false;
  std::vector<TDataSource*> data_sources_;
};

}  // namespace kavo

#endif  // KAVO_RECORDSET_DATASET_H_
