// Parse and bind: the statement handle prepared from the text, the variables
// bound to it, and the descriptors TIMESTAMP and LOB variables go to the
// server in for one execution.
#include <algorithm>

#include "oracle/oci_library.h"
#include "oracle/oracle_error.h"
#include "oracle/oracle_lob.h"
#include "oracle/oracle_text.h"
#include "oracle/oracle_timestamp.h"
#include "oracle/query.h"
#include "oracle/session.h"
#include "rtl/code_page.h"

namespace kavo {

namespace {

constexpr int kPLSQL = 34;
constexpr ub1 kTempBLOB = 1;
constexpr ub1 kTempCLOB = 2;
constexpr ub2 kDurationSession = 10;

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

}  // namespace kavo
