// Parse, bind, execute, describe, define, fetch and close.
#include <algorithm>
#include <cstring>

#include "oracle/oci_library.h"
#include "oracle/oracle_error.h"
#include "oracle/oracle_lob.h"
#include "oracle/oracle_text.h"
#include "oracle/oracle_timestamp.h"
#include "oracle/query.h"
#include "oracle/rowid.h"
#include "oracle/session.h"
#include "rtl/code_page.h"

namespace kavo {

namespace {

constexpr int kSelect = 4;
constexpr int kPLSQL = 34;
constexpr ub4 kInitialLong = 4096;
constexpr ub4 kMaxLongPiece = 32768;
constexpr sb4 kMaxLongSize = 2147483647;
constexpr ub1 kTempBLOB = 1;
constexpr ub1 kTempCLOB = 2;
constexpr ub2 kDurationSession = 10;

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

ub4 DescriptorTypeOf(int type) {
  switch (type) {
    case otTimestamp: return OCI_DTYPE_TIMESTAMP;
    case otTimestampTZ: return OCI_DTYPE_TIMESTAMP_TZ;
    case otTimestampLTZ: return OCI_DTYPE_TIMESTAMP_LTZ;
    default: return OCI_DTYPE_LOB;
  }
}

bool HasDescriptor(int type) { return IsTimestampType(type) || type == otCLOB || type == otBLOB; }

bool Reusable(int kind) {
  return kind == 3 || kind == 4 || kind == 5 || kind == 9 || (kind >= 33 && kind <= 35) ||
         (kind >= 54 && kind <= 56);
}

}  // namespace

int32_t TOracleQuery::AttrInt(OCIHandle handle, ub4 type, ub4 attribute, OCIHandle err,
                              sword* status) const {
  int32_t v = 0;
  sword s = oci_.OCIAttrGet(handle, type, &v, nullptr, attribute, err);
  if (status != nullptr) *status = s;
  return v;
}

sword TOracleQuery::Call(sword status) {
  last_oci_error_ = status;
  return status;
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

void TOracleQuery::Open() {
  if (opened_) return;
  last_oci_error_ = 0;
  OCIHandle env = session_->EnvHandle();
  CheckAllocation(oci_.OCIHandleAlloc(env, &errhp_, OCI_HTYPE_ERROR, 0, nullptr), "OCIHandleAlloc");
  CheckAllocation(oci_.OCIHandleAlloc(env, &secerrhp_, OCI_HTYPE_ERROR, 0, nullptr),
                  "OCIHandleAlloc");
  // Without a ROWID descriptor (a client that has none) a statement only
  // cannot tell the ROWID of the row it wrote.
  if (oci_.OCIDescriptorAlloc(env, &rowidhp_, OCI_DTYPE_ROWID, 0, nullptr) != OCI_SUCCESS)
    rowidhp_ = nullptr;
  opened_ = true;
}

void TOracleQuery::ComputeErrorPosition() {
  ub4 attribute =
      oci_.OCI81Detected() ? OCI_ATTR_PARSE_ERROR_OFFSET : OCI_ATTR_PARSE_ERROR_OFFSET_80;
  // Asked while an error is being raised: an offset it cannot give is none.
  sword status = OCI_ERROR;
  int32_t offset = stmthp_ ? AttrInt(stmthp_, OCI_HTYPE_STMT, attribute, secerrhp_, &status) : 0;
  offset = status == OCI_SUCCESS ? offset & 0xFFFF : 0;
  offset = std::min<int32_t>(offset, static_cast<int32_t>(parsed_sql_.size()));
  int line = 0, column = 0;
  for (int32_t i = 0; i < offset; ++i) {
    if (parsed_sql_[i] == '\n') {
      ++line;
      column = 0;
    } else {
      ++column;
    }
  }
  error_line_ = line + 1;
  error_position_ = column + 1;
}

void TOracleQuery::RaiseStatementError() {
  ComputeErrorPosition();
  parsed_sql_.clear();
  RaiseException();
}

void TOracleQuery::FreeStatementHandles() {
  if (stmthp_ != nullptr) {
    last_oci_error_ = ReleaseStatus(
        stmt_from_cache_ ? oci_.OCIStmtRelease(stmthp_, secerrhp_, nullptr, 0, OCI_DEFAULT)
               : oci_.OCIHandleFree(stmthp_, OCI_HTYPE_STMT),
        last_oci_error_);
    stmthp_ = nullptr;
  }
  for (int i = 0; i < variables_.Count(); ++i) {
    variables_.Data(i).bindhp = nullptr;
    variables_.Data(i).bindbuf = nullptr;
  }
}

void TOracleQuery::Parse() {
  error_position_ = error_line_ = 0;
  Open();
  if (result_set_) {
    // The cursor arrives open: nothing to prepare, its columns to describe.
    ReleaseFields();
    function_type_ = kSelect;
    described_ = false;
    return;
  }
  String joined, substituted;
  const String& sql = SQLText(joined);
  const String& text = HasSubstVariables() ? (substituted = ReplaceSubstVariables(sql)) : sql;
  // ASCII is the same in every code page; the ANSI one is still asked for,
  // which raises while it names one that cannot be used, as converting would.
  if (!oci_.UTF8Client()) AnsiCodePage();
  std::string bytes;
  if (!NarrowAscii(text, bytes, true)) {
    bytes = oci_.UTF8Client() ? Utf8Encode(text) : StringToAnsi(text);
    bytes.erase(std::remove(bytes.begin(), bytes.end(), '\r'), bytes.end());
  }
  if (bytes.empty()) bytes.push_back(' ');
  for (int i = 0; i < variables_.Count(); ++i) {
    const TVariableData& v = variables_.Data(i);
    if (v.buftype == otLong || v.buftype == otLongRaw || v.IsPLSQLTable || v.ArraySize > 1)
      parsed_sql_.clear();
  }
  if (array_bind_size_ > 1) parsed_sql_.clear();
  if (optimize_ && !NoQueryOptimize && !parsed_sql_.empty() && parsed_sql_ == bytes &&
      Reusable(function_type_))
    return;
  ReleaseFields();
  parsed_sql_ = bytes;
  function_type_ = 0;
  bool cached = session_->StatementCache() && oci_.OCI92();
  FreeStatementHandles();
  stmt_from_cache_ = cached;
  const auto* stmt = reinterpret_cast<const OraText*>(bytes.data());
  if (cached) {
    Call(oci_.OCIStmtPrepare2(session_->SvcHandle(), &stmthp_, errhp_, stmt,
                              static_cast<ub4>(bytes.size()), nullptr, 0, OCI_NTV_SYNTAX,
                              OCI_DEFAULT));
  } else {
    CheckAllocation(oci_.OCIHandleAlloc(session_->EnvHandle(), &stmthp_, OCI_HTYPE_STMT, 0, nullptr),
                    "OCIHandleAlloc");
    Call(oci_.OCIStmtPrepare(stmthp_, errhp_, stmt, static_cast<ub4>(bytes.size()), OCI_NTV_SYNTAX,
                             OCI_DEFAULT));
  }
  if (last_oci_error_ == OCI_SUCCESS) {
    ub4 zero = 0;
    // The layer fetches in arrays of its own: the client's prefetch stays off.
    if (Call(oci_.OCIAttrSet(stmthp_, OCI_HTYPE_STMT, &zero, sizeof zero, OCI_ATTR_PREFETCH_ROWS,
                             errhp_)) == OCI_SUCCESS)
      Call(oci_.OCIAttrSet(stmthp_, OCI_HTYPE_STMT, &zero, sizeof zero, OCI_ATTR_PREFETCH_MEMORY,
                           errhp_));
    if (last_oci_error_ != OCI_SUCCESS) RaiseStatementError();
    sword status = OCI_SUCCESS;
    const int32_t type = AttrInt(stmthp_, OCI_HTYPE_STMT, OCI_ATTR_STMT_TYPE, errhp_, &status);
    if (Call(status) != OCI_SUCCESS) RaiseStatementError();
    switch (type & 0xFFFF) {
      case OCI_STMT_SELECT: function_type_ = kSelect; break;
      case OCI_STMT_UPDATE: function_type_ = 5; break;
      case OCI_STMT_DELETE: function_type_ = 9; break;
      case OCI_STMT_INSERT: function_type_ = 3; break;
      case OCI_STMT_BEGIN:
      case OCI_STMT_DECLARE: function_type_ = kPLSQL; break;
      default: function_type_ = -1; break;
    }
  }
  if (GetReturnCode() != 0) RaiseStatementError();
  described_ = false;
}

void TOracleQuery::Bind() {
  array_bind_size_ = 0;
  for (int i = 0; i < variables_.Count(); ++i) {
    TVariableData& v = variables_.Data(i);
    if (v.buftype == otSubst) continue;
    ub2 type = static_cast<ub2>(v.buftype == otPLSQLString ? otString : v.buftype);
    ub2* alenp = nullptr;
    sb4 size = v.bufsize;
    if ((v.buftype == otLong || v.buftype == otLongRaw)) {
      size = std::max(v.len, 0);
      if (v.len <= 65535) {
        v.alen.assign(1, static_cast<ub2>(v.len));
        alenp = v.alen.data();
      }
    } else if (v.IsUTF16()) {
      type = 1;
    }
    ub4 max_array = 0;
    ub4* current = nullptr;
    if (v.IsPLSQLTable) {
      array_bind_size_ = 1;
      max_array = static_cast<ub4>(v.ArraySize);
      v.CurrentElemCount = static_cast<ub4>(v.PLSQLTableElemCount);
      current = &v.CurrentElemCount;
    } else if (array_bind_size_ == 0) {
      array_bind_size_ = v.ArraySize;
    } else if (v.ArraySize != array_bind_size_) {
      throw Exception(u"All arrays must be of equal size for Array DML");
    }
    void* address = v.buf.empty() ? nullptr : v.buf.data();
    if (v.buftype == otCursor) {
      address = PrepareCursorTarget(v);
      size = 0;
    } else if (HasDescriptor(v.buftype)) {
      PrepareDescriptor(v);
      address = &v.desc;
      size = sizeof(OCIHandle);
    }
    if (v.buftype == otString || v.buftype == otChar || v.buftype == otPLSQLString) {
      if (v.buftype != otPLSQLString) {
        int limit =
            v.CharSetForm == ocfNational ? session_->MaxVarcharN() : session_->MaxVarchar();
        size = std::min(size, limit + 1);
      }
      address = v.BindBuffer(size);
      alenp = v.BindLengths();
    }
    if (v.bindhp != nullptr && v.bindbuf == address && v.bindsize == size) continue;
    std::string name;
    if (!oci_.UTF8Client()) AnsiCodePage();  // raises as converting would
    if (!NarrowAscii(v.name, name))
      name = oci_.UTF8Client() ? Utf8Encode(v.name) : StringToAnsi(v.name);
    Call(oci_.OCIBindByName(stmthp_, &v.bindhp, errhp_,
                            reinterpret_cast<const OraText*>(name.c_str()), -1, address, size, type,
                            v.indp.data(), alenp, nullptr, max_array, current, OCI_DEFAULT));
    if (last_oci_error_ == OCI_SUCCESS && v.CharSetID != 0) {
      ub1 form = v.CharSetForm;
      ub2 id = v.CharSetID;
      if (Call(oci_.OCIAttrSet(v.bindhp, OCI_HTYPE_BIND, &form, sizeof form, OCI_ATTR_CHARSET_FORM,
                               errhp_)) == OCI_SUCCESS)
        Call(oci_.OCIAttrSet(v.bindhp, OCI_HTYPE_BIND, &id, sizeof id, OCI_ATTR_CHARSET_ID, errhp_));
    }
    if (last_oci_error_ != OCI_SUCCESS) {
      v.bindhp = nullptr;
      RaiseException();
    }
    v.bindbuf = address;
    v.bindsize = size;
  }
}

void* TOracleQuery::PrepareCursorTarget(TVariableData& v) {
  auto* target = static_cast<TOracleQuery*>(v.obj);
  if (target == nullptr) throw Exception(u"Cursor variable " + v.name + u" cannot be nil");
  if (target == this) throw Exception(u"Cursor variable " + v.name + u" names its own statement");
  target->Close();
  if (target->session_ == nullptr) target->SetSession(session_);
  target->result_set_ = true;
  target->Open();
  CheckAllocation(
      oci_.OCIHandleAlloc(session_->EnvHandle(), &target->stmthp_, OCI_HTYPE_STMT, 0, nullptr),
      "OCIHandleAlloc");
  target->stmt_from_cache_ = false;
  ub4 zero = 0;
  if (Call(oci_.OCIAttrSet(target->stmthp_, OCI_HTYPE_STMT, &zero, sizeof zero,
                           OCI_ATTR_PREFETCH_ROWS, errhp_)) != OCI_SUCCESS)
    RaiseException();
  v.indp.at(0) = 0;
  return &target->stmthp_;
}

void TOracleQuery::PrepareDescriptor(TVariableData& v) {
  if (v.desc == nullptr)
    CheckAllocation(oci_.OCIDescriptorAlloc(session_->EnvHandle(), &v.desc,
                                            DescriptorTypeOf(v.buftype), 0, nullptr),
                    "OCIDescriptorAlloc");
  if (v.indp.at(0) == -1) return;
  if (IsTimestampType(v.buftype)) {
    if (Call(DateTimeToTimestamp(oci_, session_->EnvHandle(), errhp_, v.tsv, v.desc)) != OCI_SUCCESS)
      RaiseException();
    return;
  }
  // The value goes to the server in a temporary LOB, whole.
  const bool clob = v.buftype == otCLOB;
  if (Call(oci_.OCILobCreateTemporary(session_->SvcHandle(), errhp_, v.desc, 0, 1,
                                      clob ? kTempCLOB : kTempBLOB, 1, kDurationSession)) !=
      OCI_SUCCESS)
    RaiseException();
  v.temporary = true;
  if (v.buf.empty()) return;
  ub4 amount = static_cast<ub4>(v.buf.size());
  if (Call(oci_.OCILobWrite(session_->SvcHandle(), errhp_, v.desc, &amount, 1, v.buf.data(),
                            static_cast<ub4>(v.buf.size()), OCI_ONE_PIECE, nullptr, nullptr,
                            clob ? ocsAL32UTF8 : 0, 1)) != OCI_SUCCESS)
    RaiseException();
}

void TOracleQuery::FinishDescriptors(bool read_back) {
  const bool alive = session_ != nullptr && session_->Connected();
  bool lob_unread = false;
  for (int i = 0; i < variables_.Count(); ++i) {
    TVariableData& v = variables_.Data(i);
    if (!HasDescriptor(v.buftype) || v.desc == nullptr) continue;
    // What a block assigned comes back.
    const bool lob = v.buftype == otCLOB || v.buftype == otBLOB;
    if (read_back && alive && lob && !lob_unread && v.indp.at(0) != -1) {
      std::string value;
      if (ReadLob(oci_, session_->SvcHandle(), errhp_, v.desc, v.buftype == otCLOB, value) ==
          OCI_SUCCESS) {
        v.buf.assign(value.begin(), value.end());
        v.indp.at(0) = value.empty() ? -1 : 0;  // an empty LOB is NULL
      } else {
        lob_unread = true;  // raised once every descriptor is freed
      }
    }
    if (read_back && alive && v.indp.at(0) != -1 && IsTimestampType(v.buftype)) {
      TDateTime value = 0;
      if (TimestampToDateTime(oci_, session_->EnvHandle(), secerrhp_, v.desc, value) == OCI_SUCCESS)
        v.tsv = value;
      else
        v.indp.at(0) = -1;
    }
    if (alive && v.temporary)
      last_oci_error_ = ReleaseStatus(
          oci_.OCILobFreeTemporary(session_->SvcHandle(), secerrhp_, v.desc), last_oci_error_);
    if (alive)
      last_oci_error_ = ReleaseStatus(oci_.OCIDescriptorFree(v.desc, DescriptorTypeOf(v.buftype)),
                                      last_oci_error_);
    v.desc = nullptr;
    v.temporary = false;
  }
  if (lob_unread) RaiseOracleError(session_, errhp_, this);
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

void TOracleQuery::InternalExecute(bool describe_only, int offset, int iterations) {
  if (session_ == nullptr) throw Exception(u"Session undefined");
  session_->SetInTransactionUnknown();
  ub4 mode = describe_only ? OCI_DESCRIBE_ONLY
                           : (session_->AutoCommit() ? OCI_COMMIT_ON_SUCCESS : OCI_DEFAULT);
  eof_ = true;
  if (!oci_.DLLLoaded()) oci_.InitOCI();
  if (!session_->Connected()) throw Exception(u"Not logged on");
  if (debug_ && !describe_only) {
    String joined;
    String text = SQLText(joined);
    for (int i = 0; i < variables_.Count(); ++i)
      text += u"\r" + variables_.Data(i).name + u" = " +
              variables_.Data(i).DisplayString(session_);
    if (DebugHook()) DebugHook()(this, text);
  }
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
    if (!describe_only) {
      Call(oci_.OCIStmtExecute(session_->SvcHandle(), stmthp_, errhp_, iters, rowoff, nullptr,
                               nullptr, mode));
      function_type_ = AttrInt(stmthp_, OCI_HTYPE_STMT, OCI_ATTR_SQLFNCODE, secerrhp_) & 0xFFFF;
      // OCI's no-data status (a DML statement that touched no row) is no
      // error; an error record numbered 1403 (a block's select into that
      // found nothing) is.
      int rc = GetReturnCode();
      if (rc != 0 && last_oci_error_ != OCI_NO_DATA) RaiseStatementError();
    }
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
