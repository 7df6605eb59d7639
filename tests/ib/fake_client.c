/* A stand-in client library for the binding tests. It exports the entry
 * points a client must have, as stubs; the compile definitions decide which
 * optional ones exist and which version it reports:
 *   FAKE_ROLLBACK_RETAINING  exports isc_rollback_retaining and the six
 *                            InterBase 6 date/service entries
 *   FAKE_MAJOR, FAKE_MINOR   exports isc_get_client_version and reports them
 *   FAKE_DROP_ATTACH         leaves out isc_attach_database (a required one)
 *   FAKE_FIREBIRD            exports fb_interpret, as Firebird's clients do
 */
#define STUB(name) int name(void) { return 0; }

STUB(BLOB_get) STUB(BLOB_put) STUB(isc_sqlcode) STUB(isc_sql_interprete) STUB(isc_interprete)
STUB(isc_vax_integer) STUB(isc_blob_info) STUB(isc_open_blob2) STUB(isc_close_blob)
STUB(isc_get_segment) STUB(isc_put_segment) STUB(isc_create_blob2) STUB(isc_cancel_blob)
STUB(isc_array_gen_sdl) STUB(isc_array_get_slice) STUB(isc_array_lookup_bounds)
STUB(isc_array_lookup_desc) STUB(isc_array_set_desc) STUB(isc_array_put_slice)
STUB(isc_blob_default_desc) STUB(isc_blob_gen_bpb) STUB(isc_blob_lookup_desc)
STUB(isc_blob_set_desc) STUB(isc_decode_date) STUB(isc_encode_date) STUB(isc_dsql_free_statement)
STUB(isc_dsql_execute2) STUB(isc_dsql_execute) STUB(isc_dsql_set_cursor_name) STUB(isc_dsql_fetch)
STUB(isc_dsql_sql_info) STUB(isc_dsql_alloc_statement2) STUB(isc_dsql_prepare)
STUB(isc_dsql_describe_bind) STUB(isc_dsql_describe) STUB(isc_dsql_execute_immediate)
STUB(isc_drop_database) STUB(isc_detach_database)
#ifndef FAKE_DROP_ATTACH
STUB(isc_attach_database)
#endif
STUB(isc_database_info) STUB(isc_start_multiple) STUB(isc_commit_transaction)
STUB(isc_commit_retaining) STUB(isc_rollback_transaction) STUB(isc_cancel_events)
STUB(isc_que_events) STUB(isc_event_counts) STUB(isc_event_block) STUB(isc_free) STUB(isc_add_user)
STUB(isc_delete_user) STUB(isc_modify_user) STUB(isc_prepare_transaction)
STUB(isc_prepare_transaction2) STUB(isc_transaction_info)

#ifdef FAKE_ROLLBACK_RETAINING
STUB(isc_rollback_retaining) STUB(isc_service_attach) STUB(isc_service_detach)
STUB(isc_service_query) STUB(isc_service_start) STUB(isc_decode_sql_date) STUB(isc_decode_sql_time)
STUB(isc_decode_timestamp) STUB(isc_encode_sql_date) STUB(isc_encode_sql_time)
STUB(isc_encode_timestamp)
#endif

#ifdef FAKE_MAJOR
void isc_get_client_version(char* buffer) { buffer[0] = 0; }
int isc_get_client_major_version(void) { return FAKE_MAJOR; }
int isc_get_client_minor_version(void) { return FAKE_MINOR; }
#endif

#ifdef FAKE_FIREBIRD
STUB(fb_interpret)
#endif
