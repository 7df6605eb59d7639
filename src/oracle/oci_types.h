// The Oracle Call Interface as this layer sees it: the C scalar types, opaque
// handles and the published constants it passes by value. Declared here, not
// taken from a client installation, because the client is loaded at run time.
#ifndef KAVO_ORACLE_OCI_TYPES_H_
#define KAVO_ORACLE_OCI_TYPES_H_

#include <cstddef>
#include <cstdint>

namespace kavo {

using ub1 = uint8_t;
using sb1 = int8_t;
using ub2 = uint16_t;
using sb2 = int16_t;
using ub4 = uint32_t;
using sb4 = int32_t;
using sword = int;
using OraText = unsigned char;

// Handles and descriptors are opaque to the layer.
using OCIHandle = void*;

// Statuses.
constexpr sword OCI_SUCCESS = 0;
constexpr sword OCI_SUCCESS_WITH_INFO = 1;
constexpr sword OCI_NEED_DATA = 99;
constexpr sword OCI_NO_DATA = 100;
constexpr sword OCI_ERROR = -1;
constexpr sword OCI_INVALID_HANDLE = -2;
constexpr sb4 OCI_CONTINUE = -24200;

// Modes.
constexpr ub4 OCI_DEFAULT = 0;
constexpr ub4 OCI_THREADED = 1;
constexpr ub4 OCI_OBJECT = 2;
constexpr ub4 OCI_NO_MUTEX = 8;
constexpr ub4 OCI_DESCRIBE_ONLY = 16;
constexpr ub4 OCI_COMMIT_ON_SUCCESS = 32;
constexpr ub4 OCI_DYNAMIC_FETCH = 2;
constexpr ub4 OCI_NTV_SYNTAX = 1;
constexpr ub4 OCI_CRED_RDBMS = 1;
constexpr ub4 OCI_CRED_EXT = 2;
constexpr ub4 OCI_SYSDBA = 2;
constexpr ub4 OCI_SYSOPER = 4;
constexpr ub4 OCI_STMT_CACHE = 64;
constexpr ub2 OCI_FETCH_NEXT = 2;

// Handle and descriptor types.
constexpr ub4 OCI_HTYPE_ENV = 1;
constexpr ub4 OCI_HTYPE_ERROR = 2;
constexpr ub4 OCI_HTYPE_SVCCTX = 3;
constexpr ub4 OCI_HTYPE_STMT = 4;
constexpr ub4 OCI_HTYPE_BIND = 5;
constexpr ub4 OCI_HTYPE_DEFINE = 6;
constexpr ub4 OCI_HTYPE_SERVER = 8;
constexpr ub4 OCI_HTYPE_SESSION = 9;
constexpr ub4 OCI_DTYPE_LOB = 50;
constexpr ub4 OCI_DTYPE_TIMESTAMP = 68;
constexpr ub4 OCI_DTYPE_TIMESTAMP_TZ = 69;
constexpr ub4 OCI_DTYPE_TIMESTAMP_LTZ = 70;
constexpr ub4 OCI_DTYPE_PARAM = 53;
constexpr ub4 OCI_DTYPE_ROWID = 54;

// Attributes.
constexpr ub4 OCI_ATTR_DATA_SIZE = 1;
constexpr ub4 OCI_ATTR_DATA_TYPE = 2;
constexpr ub4 OCI_ATTR_NAME = 4;
constexpr ub4 OCI_ATTR_PRECISION = 5;
constexpr ub4 OCI_ATTR_SCALE = 6;
constexpr ub4 OCI_ATTR_IS_NULL = 7;
constexpr ub4 OCI_ATTR_SERVER = 6;
constexpr ub4 OCI_ATTR_SESSION = 7;
constexpr ub4 OCI_ATTR_ROW_COUNT = 9;
constexpr ub4 OCI_ATTR_SQLFNCODE = 10;
constexpr ub4 OCI_ATTR_PREFETCH_ROWS = 11;
constexpr ub4 OCI_ATTR_PREFETCH_MEMORY = 13;
constexpr ub4 OCI_ATTR_PARAM_COUNT = 18;
constexpr ub4 OCI_ATTR_ROWID = 19;
constexpr ub4 OCI_ATTR_USERNAME = 22;
constexpr ub4 OCI_ATTR_PASSWORD = 23;
constexpr ub4 OCI_ATTR_STMT_TYPE = 24;
constexpr ub4 OCI_ATTR_CHARSET_ID = 31;
constexpr ub4 OCI_ATTR_CHARSET_FORM = 32;
constexpr ub4 OCI_ATTR_PARSE_ERROR_OFFSET_80 = 128;
constexpr ub4 OCI_ATTR_PARSE_ERROR_OFFSET = 129;
constexpr ub4 OCI_ATTR_STMTCACHESIZE = 176;
constexpr ub4 OCI_ATTR_CHAR_SIZE = 286;

// Statement types reported after a prepare.
constexpr ub2 OCI_STMT_SELECT = 1;
constexpr ub2 OCI_STMT_UPDATE = 2;
constexpr ub2 OCI_STMT_DELETE = 3;
constexpr ub2 OCI_STMT_INSERT = 4;
constexpr ub2 OCI_STMT_BEGIN = 8;
constexpr ub2 OCI_STMT_DECLARE = 9;

// Pieces of a dynamic define.
constexpr ub1 OCI_ONE_PIECE = 0;
constexpr ub1 OCI_FIRST_PIECE = 1;
constexpr ub1 OCI_NEXT_PIECE = 2;
constexpr ub1 OCI_LAST_PIECE = 3;

// The piece callback of OCIDefineDynamic.
using OCICallbackDefine = sb4 (*)(void* octxp, void* defnp, ub4 iter, void** bufpp, ub4** alenp,
                                  ub1* piecep, void** indp, ub2** rcodep);

}  // namespace kavo

#endif  // KAVO_ORACLE_OCI_TYPES_H_
