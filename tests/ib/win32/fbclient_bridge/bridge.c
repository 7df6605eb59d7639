/* fbclient.dll for Wine: a Winelib DLL whose isc_* exports forward to the
 * Linux client library (libfbclient.so.2), so that Windows programs under
 * Wine reach the real Firebird, embedded or through the server. Test
 * equipment only.
 *
 * ibase.h is not included: under winegcc it would declare the Linux entry
 * points with Windows' calling convention. The exports are ms_abi (WINAPI),
 * the Linux entries are called with the System V convention. Every argument
 * of the forwarded calls is an integer or a pointer, and both conventions
 * give each such argument a 64-bit slot, so each is carried as one intptr_t
 * word; the structures passed by address (XSQLDA, ISC_QUAD, struct tm, the
 * status vector of intptr_t) have the same layout on both sides. */
#include <windows.h>

#include <ctype.h>
#include <dlfcn.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef intptr_t W;

static void* client;

static void* Entry(const char* name) {
  void* address = dlsym(client, name);
  if (address == NULL) {
    fprintf(stderr, "fbclient bridge: %s is not in libfbclient.so.2\n", name);
    abort();
  }
  return address;
}

/* --- plain forwarders: name and argument count ---------------------------- */

#define P0 void
#define P1 W a1
#define P2 P1, W a2
#define P3 P2, W a3
#define P4 P3, W a4
#define P5 P4, W a5
#define P6 P5, W a6
#define P7 P6, W a7
#define P8 P7, W a8
#define P9 P8, W a9
#define C0
#define C1 a1
#define C2 C1, a2
#define C3 C2, a3
#define C4 C3, a4
#define C5 C4, a5
#define C6 C5, a6
#define C7 C6, a7
#define C8 C7, a8
#define C9 C8, a9

#define FORWARD(name, n)                                 \
  W WINAPI bridge_##name(P##n) {                         \
    static W (*linux_entry)(P##n);                       \
    if (linux_entry == NULL) linux_entry = Entry(#name); \
    return linux_entry(C##n);                            \
  }

FORWARD(BLOB_get, 1)
FORWARD(BLOB_put, 2)
FORWARD(fb_interpret, 3)
FORWARD(fb_sqlstate, 2)
FORWARD(isc_add_user, 2)
FORWARD(isc_array_gen_sdl, 5)
FORWARD(isc_array_get_slice, 7)
FORWARD(isc_array_lookup_bounds, 6)
FORWARD(isc_array_lookup_desc, 6)
FORWARD(isc_array_put_slice, 7)
FORWARD(isc_array_set_desc, 7)
FORWARD(isc_blob_default_desc, 3)
FORWARD(isc_blob_gen_bpb, 6)
FORWARD(isc_blob_info, 6)
FORWARD(isc_blob_lookup_desc, 7)
FORWARD(isc_blob_set_desc, 7)
FORWARD(isc_cancel_blob, 2)
FORWARD(isc_cancel_events, 3)
FORWARD(isc_close_blob, 2)
FORWARD(isc_commit_retaining, 2)
FORWARD(isc_commit_transaction, 2)
FORWARD(isc_create_blob2, 7)
FORWARD(isc_database_info, 6)
FORWARD(isc_decode_date, 2)
FORWARD(isc_decode_sql_date, 2)
FORWARD(isc_decode_sql_time, 2)
FORWARD(isc_decode_timestamp, 2)
FORWARD(isc_delete_user, 2)
FORWARD(isc_detach_database, 2)
FORWARD(isc_drop_database, 2)
FORWARD(isc_dsql_alloc_statement2, 3)
FORWARD(isc_dsql_allocate_statement, 3)
FORWARD(isc_dsql_describe, 4)
FORWARD(isc_dsql_describe_bind, 4)
FORWARD(isc_dsql_execute, 5)
FORWARD(isc_dsql_execute2, 6)
FORWARD(isc_dsql_fetch, 4)
FORWARD(isc_dsql_free_statement, 3)
FORWARD(isc_dsql_prepare, 7)
FORWARD(isc_dsql_set_cursor_name, 4)
FORWARD(isc_dsql_sql_info, 6)
FORWARD(isc_encode_date, 2)
FORWARD(isc_encode_sql_date, 2)
FORWARD(isc_encode_sql_time, 2)
FORWARD(isc_encode_timestamp, 2)
FORWARD(isc_event_counts, 4)
FORWARD(isc_free, 1)
FORWARD(isc_get_client_major_version, 0)
FORWARD(isc_get_client_minor_version, 0)
FORWARD(isc_get_client_version, 1)
FORWARD(isc_get_segment, 5)
FORWARD(isc_interprete, 2)
FORWARD(isc_modify_user, 2)
FORWARD(isc_open_blob2, 7)
FORWARD(isc_portable_integer, 2)
FORWARD(isc_prepare_transaction, 2)
FORWARD(isc_prepare_transaction2, 4)
FORWARD(isc_put_segment, 4)
FORWARD(isc_reconnect_transaction, 5)
FORWARD(isc_rollback_retaining, 2)
FORWARD(isc_rollback_transaction, 2)
FORWARD(isc_service_attach, 6)
FORWARD(isc_service_detach, 2)
FORWARD(isc_service_query, 9)
FORWARD(isc_service_start, 5)
FORWARD(isc_sql_interprete, 3)
FORWARD(isc_sqlcode, 1)
FORWARD(isc_start_multiple, 4)
FORWARD(isc_transaction_info, 6)
FORWARD(isc_vax_integer, 2)

/* --- database names -------------------------------------------------------
 * The Linux client reads "C:\data\x.fdb" as the file "\data\x.fdb" on the
 * host "C". A name that is a drive-letter path, alone or after "host:", is
 * handed over as the Unix path Wine maps it to. */

static int IsDrivePath(const char* s, size_t n) {
  return n >= 3 && isalpha((unsigned char)s[0]) && s[1] == ':' && (s[2] == '\\' || s[2] == '/');
}

/* The translated name (malloc'd, NUL-terminated), or NULL to keep `name`. */
static char* LinuxDatabaseName(const char* name, size_t n) {
  size_t prefix = 0;
  if (!IsDrivePath(name, n)) {
    const char* colon = memchr(name, ':', n);
    if (colon == NULL || colon == name) return NULL;
    prefix = (size_t)(colon - name) + 1;
    if (!IsDrivePath(name + prefix, n - prefix)) return NULL;
  }
  int wide_len = MultiByteToWideChar(CP_ACP, 0, name + prefix, (int)(n - prefix), NULL, 0);
  WCHAR* wide = malloc(sizeof(WCHAR) * ((size_t)wide_len + 1));
  MultiByteToWideChar(CP_ACP, 0, name + prefix, (int)(n - prefix), wide, wide_len);
  wide[wide_len] = 0;
  char* wine_name = wine_get_unix_file_name(wide);
  free(wide);
  if (wine_name == NULL) return NULL;
  /* Wine answers through its dosdevices links (".../dosdevices/c:/..."),
   * and a colon would make the client see a host name again: the folder is
   * resolved (the file itself may not exist yet). */
  char* unix_name = wine_name;
  char* resolved_dir = NULL;
  char* slash = strrchr(wine_name, '/');
  if (slash != NULL && slash != wine_name) {
    *slash = 0;
    resolved_dir = realpath(wine_name, NULL);
    *slash = '/';
  }
  size_t dir_len = resolved_dir ? strlen(resolved_dir) : 0;
  const char* rest = resolved_dir ? slash : unix_name;
  size_t rest_len = strlen(rest);
  char* out = malloc(prefix + dir_len + rest_len + 1);
  memcpy(out, name, prefix);
  if (resolved_dir) memcpy(out + prefix, resolved_dir, dir_len);
  memcpy(out + prefix + dir_len, rest, rest_len + 1);
  free(resolved_dir);
  HeapFree(GetProcessHeap(), 0, wine_name);
  return out;
}

W WINAPI bridge_isc_attach_database(W status, W name_len, W name, W db, W dpb_len, W dpb) {
  static W (*linux_entry)(P6);
  if (linux_entry == NULL) linux_entry = Entry("isc_attach_database");
  const char* text = (const char*)name;
  size_t n = (short)name_len > 0 ? (size_t)(short)name_len : strlen(text);
  char* unix_name = LinuxDatabaseName(text, n);
  if (unix_name == NULL) return linux_entry(status, name_len, name, db, dpb_len, dpb);
  W r = linux_entry(status, (W)strlen(unix_name), (W)unix_name, db, dpb_len, dpb);
  free(unix_name);
  return r;
}

W WINAPI bridge_isc_create_database(W status, W name_len, W name, W db, W dpb_len, W dpb, W type) {
  static W (*linux_entry)(P7);
  if (linux_entry == NULL) linux_entry = Entry("isc_create_database");
  const char* text = (const char*)name;
  size_t n = (short)name_len > 0 ? (size_t)(short)name_len : strlen(text);
  char* unix_name = LinuxDatabaseName(text, n);
  if (unix_name == NULL) return linux_entry(status, name_len, name, db, dpb_len, dpb, type);
  W r = linux_entry(status, (W)strlen(unix_name), (W)unix_name, db, dpb_len, dpb, type);
  free(unix_name);
  return r;
}

/* CREATE DATABASE '<name>' (or CREATE SCHEMA) through execute immediate: the
 * quoted name is translated in the statement text. */
static char* TranslateCreateStatement(const char* sql, size_t n) {
  size_t i = 0;
  while (i < n && isspace((unsigned char)sql[i])) ++i;
  if (n - i < 7 || strncasecmp(sql + i, "CREATE", 6) != 0) return NULL;
  const char* open = memchr(sql, '\'', n);
  if (open == NULL) return NULL;
  size_t start = (size_t)(open - sql) + 1;
  const char* close = memchr(sql + start, '\'', n - start);
  if (close == NULL) return NULL;
  size_t end = (size_t)(close - sql);
  int is_database = 0;
  for (size_t k = i + 6; k + 6 <= start; ++k)
    if (strncasecmp(sql + k, "DATABASE", 8) == 0 || strncasecmp(sql + k, "SCHEMA", 6) == 0)
      is_database = 1;
  if (!is_database) return NULL;
  char* unix_name = LinuxDatabaseName(sql + start, end - start);
  if (unix_name == NULL) return NULL;
  size_t unix_len = strlen(unix_name);
  char* out = malloc(n + unix_len + 1);
  memcpy(out, sql, start);
  memcpy(out + start, unix_name, unix_len);
  memcpy(out + start + unix_len, sql + end, n - end);
  out[start + unix_len + n - end] = 0;
  free(unix_name);
  return out;
}

W WINAPI bridge_isc_dsql_execute_immediate(W status, W db, W tr, W sql_len, W sql, W dialect,
                                           W xsqlda) {
  static W (*linux_entry)(P7);
  if (linux_entry == NULL) linux_entry = Entry("isc_dsql_execute_immediate");
  const char* text = (const char*)sql;
  size_t n = (unsigned short)sql_len != 0 ? (size_t)(unsigned short)sql_len : strlen(text);
  char* translated = TranslateCreateStatement(text, n);
  if (translated == NULL) return linux_entry(status, db, tr, sql_len, sql, dialect, xsqlda);
  W r = linux_entry(status, db, tr, (W)strlen(translated), (W)translated, dialect, xsqlda);
  free(translated);
  return r;
}

/* --- variable argument lists ----------------------------------------------
 * Read from the caller's ms_abi list and handed on in a form the Linux side
 * takes. */

/* (database handle address, TPB length, TPB) per database. */
typedef struct {
  void* db;
  int tpb_len;  /* ISC_LONG: 32 bits on both sides */
  const char* tpb;
} Teb;

W __attribute__((ms_abi)) bridge_isc_start_transaction(W status, W tr, short count, ...) {
  static W (*start_multiple)(P4);
  if (start_multiple == NULL) start_multiple = Entry("isc_start_multiple");
  if (count <= 0) return start_multiple(status, tr, count, 0);
  Teb* teb = calloc((size_t)count, sizeof(Teb));
  __builtin_ms_va_list args;
  __builtin_ms_va_start(args, count);
  for (short i = 0; i < count; ++i) {
    teb[i].db = __builtin_va_arg(args, void*);
    teb[i].tpb_len = __builtin_va_arg(args, int);
    teb[i].tpb = __builtin_va_arg(args, const char*);
  }
  __builtin_ms_va_end(args);
  W r = start_multiple(status, tr, count, (W)teb);
  free(teb);
  return r;
}

/* At most 15 event names; the Linux side reads `count` of them. */
W __attribute__((ms_abi)) bridge_isc_event_block(W event_buffer, W result_buffer,
                                                 unsigned short count, ...) {
  static W (*linux_entry)(W, W, W, ...);
  if (linux_entry == NULL) linux_entry = Entry("isc_event_block");
  W n[15] = {0};
  if (count > 15) count = 15;
  __builtin_ms_va_list args;
  __builtin_ms_va_start(args, count);
  for (unsigned i = 0; i < count; ++i) n[i] = __builtin_va_arg(args, W);
  __builtin_ms_va_end(args);
  return linux_entry(event_buffer, result_buffer, (W)count, n[0], n[1], n[2], n[3], n[4], n[5],
                     n[6], n[7], n[8], n[9], n[10], n[11], n[12], n[13], n[14]);
}

/* Pairs of an item code and its value, ended by a code 0. */
void __attribute__((ms_abi)) bridge_isc_expand_dpb(W dpb, W dpb_size, ...) {
  static void (*linux_entry)(W, W, ...);
  if (linux_entry == NULL) linux_entry = Entry("isc_expand_dpb");
  enum { kMaxPairs = 16 };
  W slot[2 * kMaxPairs + 1] = {0};
  __builtin_ms_va_list args;
  __builtin_ms_va_start(args, dpb_size);
  for (int i = 0; i < kMaxPairs; ++i) {
    slot[2 * i] = __builtin_va_arg(args, int);
    if (slot[2 * i] == 0) break;
    slot[2 * i + 1] = __builtin_va_arg(args, W);
  }
  __builtin_ms_va_end(args);
#define S4(k) slot[k], slot[k + 1], slot[k + 2], slot[k + 3]
  linux_entry(dpb, dpb_size, S4(0), S4(4), S4(8), S4(12), S4(16), S4(20), S4(24), S4(28),
              slot[32]);
#undef S4
}

/* --- events ---------------------------------------------------------------
 * Firebird calls an event's callback on a thread of its own, which Wine does
 * not know: Windows code run there crashes. The Linux callback copies what
 * it is given and queues it; a thread Wine created calls the program's
 * callback. */

typedef void(WINAPI* WinEventCallback)(void*, unsigned short, const unsigned char*);

typedef struct Registration {
  WinEventCallback callback;
  void* argument;
  struct Registration* next_registration;
} Registration;

typedef struct Delivery {
  Registration* to;
  unsigned short length;
  struct Delivery* next;
  unsigned char bytes[];
} Delivery;

static pthread_mutex_t event_lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t event_ready = PTHREAD_COND_INITIALIZER;
static Delivery* queue_head;
static Delivery* queue_tail;
static Registration* registrations; /* freed when the DLL goes */
static HANDLE delivery_thread;

static void OnFirebirdEvent(void* argument, unsigned short length, const unsigned char* updated) {
  Delivery* d = malloc(sizeof(Delivery) + length);
  d->to = argument;
  d->length = updated != NULL ? length : 0;
  d->next = NULL;
  if (d->length) memcpy(d->bytes, updated, d->length);
  pthread_mutex_lock(&event_lock);
  if (queue_tail) queue_tail->next = d;
  else queue_head = d;
  queue_tail = d;
  pthread_cond_signal(&event_ready);
  pthread_mutex_unlock(&event_lock);
}

static DWORD WINAPI DeliverEvents(void* unused) {
  (void)unused;
  for (;;) {
    pthread_mutex_lock(&event_lock);
    while (queue_head == NULL) pthread_cond_wait(&event_ready, &event_lock);
    Delivery* d = queue_head;
    queue_head = d->next;
    if (queue_head == NULL) queue_tail = NULL;
    pthread_mutex_unlock(&event_lock);
    d->to->callback(d->to->argument, d->length, d->length ? d->bytes : NULL);
    free(d);
  }
  return 0;
}

W WINAPI bridge_isc_que_events(W status, W db, W id, W length, W events, W callback,
                               W argument) {
  static W (*linux_entry)(P7);
  if (linux_entry == NULL) linux_entry = Entry("isc_que_events");
  Registration* r = malloc(sizeof(Registration));
  r->callback = (WinEventCallback)callback;
  r->argument = (void*)argument;
  pthread_mutex_lock(&event_lock);
  r->next_registration = registrations;
  registrations = r;
  if (delivery_thread == NULL) delivery_thread = CreateThread(NULL, 0, DeliverEvents, NULL, 0, NULL);
  pthread_mutex_unlock(&event_lock);
  return linux_entry(status, db, id, length, events, (W)OnFirebirdEvent, (W)r);
}

/* isc_event_block allocates with the client's allocator: the program frees
 * with isc_free (forwarded above), never with its own C runtime. */

/* A Windows client reads its FIREBIRD_* settings from the process's
 * environment; the Linux one from the Unix environment, which Wine fills only
 * at the start. A folder named with a drive letter is translated. */
static void PassSetting(const char* name) {
  char value[4096];
  DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  if (n == 0 || n >= sizeof value) return;
  char* unix_path = LinuxDatabaseName(value, n);
  setenv(name, unix_path ? unix_path : value, 1);
  free(unix_path);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
  (void)instance;
  if (reason == DLL_PROCESS_ATTACH) {
    PassSetting("FIREBIRD_LOCK");
    PassSetting("FIREBIRD_TMP");
    client = dlopen("libfbclient.so.2", RTLD_NOW | RTLD_LOCAL);
    if (client == NULL) {
      fprintf(stderr, "fbclient bridge: %s\n", dlerror());
      return FALSE;
    }
  } else if (reason == DLL_PROCESS_DETACH && reserved == NULL) {
    /* Unloaded by FreeLibrary: no event may arrive any more. */
    while (registrations) {
      Registration* r = registrations;
      registrations = r->next_registration;
      free(r);
    }
  }
  return TRUE;
}
