// Opening and closing: the cursor, the field bindings and the record window.
#include "recordset/dataset.h"

#include "recordset/database_error.h"

namespace kavo {

// ---- open and close ----------------------------------------------------------------

void TDataSet::DoSetActive(bool value) {
  if (Loading()) {
    stream_active_ = value;
    return;
  }
  if (value == Active()) return;
  if (value) {
    DoBeforeOpen();
    OpenCursor();
    return;
  }
  // While the container goes, the hooks could reach components already gone.
  bool quiet = destroying_ || Destroying() || (Owner() && Owner()->Destroying());
  if (!quiet) DoBeforeClose();
  SetState(dsInactive);
  CloseCursor();
  if (!quiet) DoAfterClose();
}

void TDataSet::Loaded() {
  TComponent::Loaded();
  if (stream_active_) {
    stream_active_ = false;
    DoSetActive(true);
  }
}

void TDataSet::OpenCursor() {
  bool complete = false;
  SetState(dsOpening);
  try {
    default_fields_ = fields_.empty();
    InternalOpen();
    complete = true;
    AllocateBuffers();
    ClearWindow();
    if (GetRecord(current_, gmNext, true) == grOK) {
      has_record_ = true;
      cursor_on_current_ = true;
      eof_ = false;
    }
    bof_ = true;
  } catch (...) {
    if (complete) {
      SetState(dsBrowse);
      DoAfterOpen();
    } else {
      SetState(dsInactive);
      CloseCursor();
    }
    throw;
  }
  SetState(dsBrowse);
  DoAfterOpen();
}

void TDataSet::CloseCursor() {
  DetachBlobStreams();
  FreeFieldBuffers();
  ClearWindow();
  FreeBuffers();
  InternalClose();
  BindFields(false);
  DestroyDefaultFields();
}

void TDataSet::DestroyCursor() {
  destroying_ = true;
  if (state_ != dsInactive) {
    SetState(dsInactive);
    CloseCursor();
  }
}

void TDataSet::AllocateBuffers() {
  if (!current_) current_ = AllocRecordBuffer();
  if (!spare_) spare_ = AllocRecordBuffer();
}

void TDataSet::FreeBuffers() {
  if (current_) FreeRecordBuffer(current_);
  if (spare_) FreeRecordBuffer(spare_);
  current_ = spare_ = nullptr;
}

void TDataSet::ClearWindow() {
  has_record_ = false;
  cursor_on_current_ = false;
  bof_ = eof_ = true;
}

}  // namespace kavo
