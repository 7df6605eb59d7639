// Execute, describe, define, fetch and close.
#include <algorithm>

#include "oracle/oci_library.h"
#include "oracle/oracle_error.h"
#include "oracle/query.h"
#include "oracle/rowid.h"
#include "oracle/session.h"

namespace kavo {

namespace {

constexpr ub4 kInitialLong = 4096;
constexpr ub4 kMaxLongPiece = 32768;
constexpr sb4 kMaxLongSize = 2147483647;

// Supplies piece buffers for LONG data: 4 KB, doubling up to 32 KB.
sb4 LongPieceCallback(void* octxp, void* /*defnp*/, ub4 /*iter*/, void** bufpp, ub4** alenp,
                      ub1* /*piecep*/, void** indp, ub2** rcodep) {
  auto* field = static_cast<TFieldData*>(octxp);
  ub4 size = kInitialLong;
  if (!field->LongPieces.empty()) {
    ub4 previous = field->LongPieces.back().AllocatedSize;
    size = previous < kMaxLongPiece ? previous * 2 : previous;
  }
  TLongPiece& piece = field->LongPieces.emplace_back();
  piece.AllocatedSize = size;
  piece.ActualSize = size;
  piece.PieceBuf.assign(size, 0);
  *bufpp = piece.PieceBuf.data();
  *alenp = &piece.ActualSize;
  *indp = field->ind.data();
  *rcodep = nullptr;
  return OCI_CONTINUE;
}

}  // namespace

int32_t TOracleQuery::AttrInt(OCIHandle handle, ub4 type, ub4 attribute, OCIHandle err,
                              sword* status) const {
  int32_t v = 0;
  sword s = oci_.OCIAttrGet(handle, type, &v, nullptr, attribute, err);
  if (status != nullptr) *status = s;
  return v;
}

int TOracleQuery::GetReturnCode() {
  switch (last_oci_error_) {
    case OCI_SUCCESS_WITH_INFO:
    case OCI_NEED_DATA:
      return 0;
    case OCI_NO_DATA:
      return 1403;
    case OCI_ERROR:
    case OCI_INVALID_HANDLE: {
      // A failure without an error record must not read as success.
      int code = OracleErrorCode(errhp_);
      return code != 0 ? code : last_oci_error_;
    }
    default:
      return last_oci_error_;
  }
}

void TOracleQuery::RaiseException() {
  try {
    RaiseOracleError(session_, errhp_, this);
  } catch (...) {
    if (call_after_query_) {
      call_after_query_ = false;
      if (AfterQuery) AfterQuery(this);
    }
    throw;
  }
}

void TOracleQuery::CheckSession() {
  if (session_ == nullptr) throw Exception(u"Session undefined");
  if (!session_->Connected()) throw Exception(u"Not logged on");
}

void TOracleQuery::InternalDescribe() {
  used_cache_ = read_buffer_;
  ReleaseFields();
  sword status = OCI_SUCCESS;
  int count = AttrInt(stmthp_, OCI_HTYPE_STMT, OCI_ATTR_PARAM_COUNT, errhp_, &status);
  Call(status);
  if (status != OCI_SUCCESS) RaiseStatementError();
  for (int pos = 1; pos <= count; ++pos) fields_.push_back(DescribeColumn(pos));
  for (auto& f : fields_) {
    f->Allocate(used_cache_);
    AllocateDescriptors(*f);
  }
  described_ = true;
}

void TOracleQuery::InternalDefine() {
  for (size_t i = 0; i < fields_.size(); ++i) {
    TFieldData& f = *fields_[i];
    bool dynamic = f.buftype == otLong || f.buftype == otLongRaw;
    ub2 type = static_cast<ub2>(f.dbtype == otMLSLabel ? otMLSLabel : f.buftype);
    Call(oci_.OCIDefineByPos(stmthp_, &f.defhp, errhp_, static_cast<ub4>(i + 1),
                             dynamic ? nullptr : f.buf.data(), dynamic ? kMaxLongSize : f.bufsize,
                             type, f.ind.data(), f.rlen.data(), nullptr,
                             dynamic ? OCI_DYNAMIC_FETCH : OCI_DEFAULT));
    if (last_oci_error_ == OCI_SUCCESS && (f.buftype == otString || f.buftype == otLong) &&
        (f.IsUTF8 || f.IsUTF16)) {
      ub1 form = f.CharSetForm;
      ub2 id = f.CharSetID;
      if (Call(oci_.OCIAttrSet(f.defhp, OCI_HTYPE_DEFINE, &form, sizeof form,
                               OCI_ATTR_CHARSET_FORM, errhp_)) == OCI_SUCCESS)
        Call(oci_.OCIAttrSet(f.defhp, OCI_HTYPE_DEFINE, &id, sizeof id, OCI_ATTR_CHARSET_ID, errhp_));
    }
    if (last_oci_error_ == OCI_SUCCESS && dynamic)
      Call(oci_.OCIDefineDynamic(f.defhp, errhp_, &f, &LongPieceCallback));
    if (last_oci_error_ != OCI_SUCCESS) RaiseException();
  }
}

void TOracleQuery::ResetPieces() {
  for (auto& f : fields_) f->LongPieces.clear();
}

void TOracleQuery::Fetch() {
  ResetPieces();
  if (oci_.OCI90())
    Call(oci_.OCIStmtFetch2(stmthp_, errhp_, static_cast<ub4>(used_cache_), OCI_FETCH_NEXT, 0,
                            OCI_DEFAULT));
  else
    Call(oci_.OCIStmtFetch(stmthp_, errhp_, static_cast<ub4>(used_cache_), OCI_FETCH_NEXT,
                           OCI_DEFAULT));
  ++fetch_calls_;
  last_batch_ = last_oci_error_ == OCI_NO_DATA;
  int rc = GetReturnCode();
  if (rc != 0 && rc != 1403 && rc != 1406) RaiseException();
}

int TOracleQuery::BatchRows(int before) {
  int now = AttrInt(stmthp_, OCI_HTYPE_STMT, OCI_ATTR_ROW_COUNT, secerrhp_);
  return std::clamp(now - before, 0, used_cache_);
}

void TOracleQuery::CallDebugHook() {
  String joined;
  String text = SQLText(joined);
  for (int i = 0; i < variables_.Count(); ++i)
    text += u"\r" + variables_.Data(i).name + u" = " +
            variables_.Data(i).DisplayString(session_);
  if (DebugHook()) DebugHook()(this, text);
}

void TOracleQuery::ExecuteStatement(bool describe_only, ub4 mode, int offset, int iterations) {
  Bind();
  ub4 iters = 1, rowoff = 0;
  if (array_bind_size_ > 1) {
    if (iterations < 1) {
      iters = static_cast<ub4>(array_bind_size_);
    } else {
      iters = static_cast<ub4>(iterations);
      rowoff = static_cast<ub4>(offset);
    }
  }
  if (describe_only) return;
  Call(oci_.OCIStmtExecute(session_->SvcHandle(), stmthp_, errhp_, iters, rowoff, nullptr, nullptr,
                           mode));
  function_type_ = AttrInt(stmthp_, OCI_HTYPE_STMT, OCI_ATTR_SQLFNCODE, secerrhp_) & 0xFFFF;
  // OCI's no-data status (a DML statement that touched no row) is no
  // error; an error record numbered 1403 (a block's select into that
  // found nothing) is.
  int rc = GetReturnCode();
  if (rc != 0 && last_oci_error_ != OCI_NO_DATA) RaiseStatementError();
}

void TOracleQuery::InternalExecute(bool describe_only, int offset, int iterations) {
  if (session_ == nullptr) throw Exception(u"Session undefined");
  session_->SetInTransactionUnknown();
  ub4 mode = describe_only ? OCI_DESCRIBE_ONLY
                           : (session_->AutoCommit() ? OCI_COMMIT_ON_SUCCESS : OCI_DEFAULT);
  eof_ = true;
  if (!oci_.DLLLoaded()) oci_.InitOCI();
  if (!session_->Connected()) throw Exception(u"Not logged on");
  if (debug_ && !describe_only) CallDebugHook();
  // Every way out of an execution lets go of the variables' descriptors.
  struct DescriptorGuard {
    TOracleQuery* q;
    ~DescriptorGuard() { q->FinishDescriptors(false); }
  } guard{this};
  Parse();
  if (function_type_ == kSelect) {
    Bind();
    ub4 iters = 0;
    bool reuse = described_ && !describe_only;
    if (reuse) {
      iters = static_cast<ub4>(used_cache_);
      ResetPieces();
    }
    if (mode == OCI_COMMIT_ON_SUCCESS) mode = OCI_DEFAULT;
    if (!(described_ && describe_only) && !result_set_) {
      Call(oci_.OCIStmtExecute(session_->SvcHandle(), stmthp_, errhp_, iters, 0, nullptr, nullptr,
                               mode));
      if (iters > 0) ++fetch_calls_;
      last_batch_ = last_oci_error_ == OCI_NO_DATA;
      int rc = GetReturnCode();
      if (rc != 0 && rc != 1403 && rc != 1406) RaiseStatementError();
    }
    if (!described_) {
      InternalDescribe();
      InternalDefine();
    }
    if (describe_only) {
      cache_index_ = cached_ = 0;
      eof_ = true;
      return;
    }
    if (iters == 0) Fetch();
    result_set_ = false;
    cache_index_ = 0;
    cached_ = BatchRows(0);
    eof_ = cached_ == 0;
  } else {
    ExecuteStatement(describe_only, mode, offset, iterations);
  }
  // A PL/SQL table holds as many elements as the call left in it; what the
  // call wrote into a bound copy is the variable's now.
  for (int i = 0; i < variables_.Count(); ++i) {
    TVariableData& v = variables_.Data(i);
    if (v.IsPLSQLTable)
      v.PLSQLTableElemCount = std::min(static_cast<int32_t>(v.CurrentElemCount), v.ArraySize);
    v.ReturnBindBuffer();
  }
  FinishDescriptors(true);
  RecordResults();
  ImplicitClose();
}

void TOracleQuery::RecordResults() {
  int rc = GetReturnCode();
  warning_flags_ = last_oci_error_ == OCI_SUCCESS_WITH_INFO ? 33 : 0;
  if (stmthp_ != nullptr)
    rows_processed_ = AttrInt(stmthp_, OCI_HTYPE_STMT, OCI_ATTR_ROW_COUNT, secerrhp_);
  return_code_ = rc;
  ReadRowId();
}

void TOracleQuery::ReadRowId() {
  row_id_.clear();
  if (stmthp_ == nullptr || rowidhp_ == nullptr) return;
  if (oci_.OCIAttrGet(stmthp_, OCI_HTYPE_STMT, rowidhp_, nullptr, OCI_ATTR_ROWID, secerrhp_) !=
      OCI_SUCCESS)
    return;
  row_id_ = RowIdText(rowidhp_, secerrhp_);
}

void TOracleQuery::ImplicitClose() {
  bool optimize_effective = optimize_ && !NoQueryOptimize;
  if ((session_ == nullptr || session_->StatementCache() || !optimize_effective) &&
      (function_type_ != kSelect || eof_))
    Close();
}

int TOracleQuery::ArrayElements() const {
  int size = 0;
  for (int i = 0; i < variables_.Count(); ++i) {
    const TVariableData& v = variables_.Data(i);
    if (v.buftype == otSubst) continue;
    if (v.IsPLSQLTable)
      size = 1;
    else if (size == 0)
      size = v.ArraySize;
  }
  return std::max(size, 1);
}

int TOracleQuery::ExecuteArray(int index, int count) {
  if (count == 0) return 0;
  if (!(index == -1 && count == -1)) {
    // OCI would read elements Index ... Index + Count - 1 wherever they lie.
    int64_t size = ArrayElements();
    if (index < 0 || count < 0 || int64_t{index} + count > size)
      throw Exception(u"ExecuteArray(" + IntToStr(index) + u", " + IntToStr(count) +
                      u") is outside the array of " + IntToStr(static_cast<int>(size)) +
                      (size == 1 ? u" element" : u" elements"));
  }
  state_ = qsExecuting;
  if (BeforeQuery) BeforeQuery(this);
  call_after_query_ = true;
  int iterations = 0, offset = 0;
  if (!(index == -1 && count == -1)) {
    iterations = index + count;
    offset = index;
  }
  bool whole = index == -1 && count == -1;
  int total = 0;
  try {
    for (;;) {
      try {
        InternalExecute(false, offset, iterations);
        total += rows_processed_;
        break;
      } catch (const EOracleError& e) {
        int done = stmthp_ ? AttrInt(stmthp_, OCI_HTYPE_STMT, OCI_ATTR_ROW_COUNT, secerrhp_) : 0;
        if (iterations == 0) iterations = std::max(array_bind_size_, 1);
        offset += done + 1;  // the failing element is skipped
        total += done;
        if (!OnArrayError) {
          if (whole) throw;
          break;
        }
        bool go_on = true;
        OnArrayError(this, offset - 1, e.ErrorCode(), e.Message(), go_on);
        if (!go_on || offset >= iterations) break;
        call_after_query_ = true;
      }
    }
  } catch (...) {
    state_ = qsIdle;
    throw;
  }
  if (eof_ && call_after_query_) {
    call_after_query_ = false;
    if (AfterQuery) AfterQuery(this);
  }
  state_ = qsIdle;
  return total;
}

void TOracleQuery::Execute() { ExecuteArray(-1, -1); }

void TOracleQuery::Describe() { InternalExecute(true, 0, 0); }

void TOracleQuery::Next() {
  if (eof_) return;
  CheckSession();
  state_ = qsFetching;
  try {
    ++cache_index_;
    bool fetched = false;
    if (cache_index_ >= cached_) {
      if (cached_ < used_cache_ || last_batch_) {
        eof_ = true;
      } else {
        // Rows processed as recorded after the last call: nothing has been
        // asked of the client since.
        const int before = rows_processed_;
        Fetch();
        fetched = true;
        cache_index_ = 0;
        cached_ = BatchRows(before);
        eof_ = cached_ <= 0;
      }
    }
    if (eof_ && call_after_query_) {
      call_after_query_ = false;
      if (AfterQuery) AfterQuery(this);
    }
    // A row of the batch already held asks the client nothing: the counts
    // and ROWID it would read change only with a fetch.
    if (fetched || eof_) RecordResults();
    ImplicitClose();
  } catch (...) {
    state_ = qsIdle;
    throw;
  }
  state_ = qsIdle;
}

int TOracleQuery::RowCount() const {
  if (function_type_ != kSelect || eof_) return rows_processed_;
  return rows_processed_ - cached_ + cache_index_ + 1;
}

void TOracleQuery::Close() {
  ReleaseFields();
  result_set_ = false;
  if (!opened_) return;
  opened_ = false;
  parsed_sql_.clear();
  described_ = false;
  eof_ = true;
  if (session_ != nullptr && session_->Connected()) {
    FreeStatementHandles();
    for (OCIHandle h : {errhp_, secerrhp_})
      if (h) last_oci_error_ = ReleaseStatus(oci_.OCIHandleFree(h, OCI_HTYPE_ERROR), last_oci_error_);
    if (rowidhp_)
      last_oci_error_ =
          ReleaseStatus(oci_.OCIDescriptorFree(rowidhp_, OCI_DTYPE_ROWID), last_oci_error_);
  } else {
    // The handles went with the session's environment.
    stmthp_ = nullptr;
    for (int i = 0; i < variables_.Count(); ++i) variables_.Data(i).bindhp = nullptr;
  }
  errhp_ = secerrhp_ = rowidhp_ = nullptr;
}

}  // namespace kavo
