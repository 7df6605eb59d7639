// Types and constants of the Firebird/InterBase client API.
//
// The client library is never linked: the layer loads it at run time
// (ib_intf.h). Firebird's own ibase.h supplies the types, the constants and,
// through decltype, the exact signature of every entry point. InterBase-only
// entries that ibase.h lacks are declared in `ibsig` below; nothing defines
// them, they only give their entry points a type.
#ifndef KAVO_IB_IB_HEADER_H_
#define KAVO_IB_IB_HEADER_H_

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <ibase.h>
#pragma GCC diagnostic pop

#include <cstdint>

namespace kavo {

// The status vector is an array of pointer-sized words.
using ISC_STATUS_VECTOR = ISC_STATUS*;
constexpr int kStatusVectorLength = ISC_STATUS_LENGTH;

// Signatures of the entry points. Firebird's declarations are used as they
// are; the InterBase-only ones follow InterBase's documentation.
namespace ibsig {
using ::BLOB_get;
using ::BLOB_put;
using ::isc_add_user;
using ::isc_array_gen_sdl;
using ::isc_array_get_slice;
using ::isc_array_lookup_bounds;
using ::isc_array_lookup_desc;
using ::isc_array_put_slice;
using ::isc_array_set_desc;
using ::isc_attach_database;
using ::isc_blob_default_desc;
using ::isc_blob_gen_bpb;
using ::isc_blob_info;
using ::isc_blob_lookup_desc;
using ::isc_blob_set_desc;
using ::isc_cancel_blob;
using ::isc_cancel_events;
using ::isc_close_blob;
using ::isc_commit_retaining;
using ::isc_commit_transaction;
using ::isc_create_blob2;
using ::isc_database_info;
using ::isc_decode_date;
using ::isc_decode_sql_date;
using ::isc_decode_sql_time;
using ::isc_decode_timestamp;
using ::isc_delete_user;
using ::isc_detach_database;
using ::isc_drop_database;
using ::isc_dsql_alloc_statement2;
using ::isc_dsql_describe;
using ::isc_dsql_describe_bind;
using ::isc_dsql_execute;
using ::isc_dsql_execute2;
using ::isc_dsql_execute_immediate;
using ::isc_dsql_fetch;
using ::isc_dsql_free_statement;
using ::isc_dsql_prepare;
using ::isc_dsql_set_cursor_name;
using ::isc_dsql_sql_info;
using ::isc_encode_date;
using ::isc_encode_sql_date;
using ::isc_encode_sql_time;
using ::isc_encode_timestamp;
using ::isc_event_block;
using ::isc_event_counts;
using ::isc_free;
using ::isc_get_client_major_version;
using ::isc_get_client_minor_version;
using ::isc_get_client_version;
using ::isc_get_segment;
// Firebird marks it deprecated; the layer still reads messages through it.
ISC_LONG isc_interprete(ISC_SCHAR* buffer, ISC_STATUS** status);
using ::isc_modify_user;
using ::isc_open_blob2;
using ::isc_prepare_transaction;
using ::isc_prepare_transaction2;
using ::isc_put_segment;
using ::isc_que_events;
using ::isc_reconnect_transaction;
using ::isc_rollback_retaining;
using ::isc_rollback_transaction;
using ::isc_service_attach;
using ::isc_service_detach;
using ::isc_service_query;
using ::isc_service_start;
using ::isc_sql_interprete;
using ::isc_sqlcode;
using ::isc_start_multiple;
using ::isc_transaction_info;
using ::isc_vax_integer;

// InterBase 7.0 and later: version-2 array and blob descriptors.
ISC_STATUS isc_array_gen_sdl2(ISC_STATUS*, const void* desc, ISC_SHORT*, ISC_UCHAR*, ISC_SHORT*);
ISC_STATUS isc_array_get_slice2(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, ISC_QUAD*,
                                const void* desc, void*, ISC_LONG*);
ISC_STATUS isc_array_lookup_bounds2(ISC_STATUS*, isc_db_handle*, isc_tr_handle*,
                                    const ISC_SCHAR*, const ISC_SCHAR*, void* desc);
ISC_STATUS isc_array_lookup_desc2(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, const ISC_SCHAR*,
                                  const ISC_SCHAR*, void* desc);
ISC_STATUS isc_array_set_desc2(ISC_STATUS*, const ISC_SCHAR*, const ISC_SCHAR*, const short*,
                               const short*, const short*, void* desc);
ISC_STATUS isc_array_put_slice2(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, ISC_QUAD*,
                                const void* desc, void*, ISC_LONG*);
void isc_blob_default_desc2(void* desc, const ISC_UCHAR*, const ISC_UCHAR*);
ISC_STATUS isc_blob_gen_bpb2(ISC_STATUS*, const void* to, const void* from, unsigned short,
                             ISC_UCHAR*, unsigned short*);
ISC_STATUS isc_blob_lookup_desc2(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, const ISC_UCHAR*,
                                 const ISC_UCHAR*, void* desc, ISC_UCHAR*);
ISC_STATUS isc_blob_set_desc2(ISC_STATUS*, const ISC_UCHAR*, const ISC_UCHAR*, short, short, short,
                              void* desc);
// InterBase 7.1: savepoints.
ISC_STATUS isc_start_savepoint(ISC_STATUS*, isc_tr_handle*, const ISC_SCHAR* name);
ISC_STATUS isc_release_savepoint(ISC_STATUS*, isc_tr_handle*, const ISC_SCHAR* name);
ISC_STATUS isc_rollback_savepoint(ISC_STATUS*, isc_tr_handle*, const ISC_SCHAR* name,
                                  ISC_USHORT option);
// InterBase 2007: batch execution.
ISC_STATUS isc_dsql_batch_execute_immed(ISC_STATUS*, isc_db_handle*, isc_tr_handle*,
                                        unsigned short dialect, unsigned long count,
                                        ISC_SCHAR** statements, unsigned long* rows_affected);
ISC_STATUS isc_dsql_batch_execute(ISC_STATUS*, isc_tr_handle*, isc_stmt_handle*,
                                  unsigned short dialect, XSQLDA*, unsigned short count,
                                  XSQLVAR**, unsigned long* rows_affected);
// The optional XML library.
int isc_dsql_xml_fetch(ISC_STATUS*, isc_stmt_handle*, unsigned short, XSQLDA*, void*);
int isc_dsql_xml_fetch_all(ISC_STATUS*, isc_stmt_handle*, unsigned short, XSQLDA*, void*);
int isc_dsql_xml_buffer_fetch(ISC_STATUS*, isc_stmt_handle*, char*, int, unsigned short, XSQLDA*,
                              void*);
}  // namespace ibsig

// InterBase's boolean type code; Firebird 3 reports SQL_BOOLEAN (32764).
constexpr int kSqlBooleanInterBase = 590;

// Statement types as the server reports them.
enum TIBSQLTypes {
  SQLUnknown = 0,
  SQLSelect = 1,
  SQLInsert = 2,
  SQLUpdate = 3,
  SQLDelete = 4,
  SQLDDL = 5,
  SQLGetSegment = 6,
  SQLPutSegment = 7,
  SQLExecProcedure = 8,
  SQLStartTransaction = 9,
  SQLCommit = 10,
  SQLRollback = 11,
  SQLSelectForUpdate = 12,
  SQLSetGenerator = 13,
};

}  // namespace kavo

#endif  // KAVO_IB_IB_HEADER_H_
