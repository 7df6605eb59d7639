/* oci.dll for Wine: a Winelib DLL whose every OCI entry point forwards to the
 * Linux OCI stand-in (libclntsh.so of the Linux build), so that the Windows
 * program talks to the stand-in through the ordinary client search. Test
 * equipment only.
 *
 * The Win64 and the Linux x86-64 conventions differ in registers, not in the
 * size of OCI's arguments (integers of at most 64 bits and pointers; no OCI
 * routine takes a floating-point value or a structure by value), so one
 * wrapper shape fits all: it takes sixteen Win64 arguments, more than any OCI
 * routine has, and passes them on; the routine ignores those beyond its own.
 * Callbacks go the other way and are wrapped one by one (OCIDefineDynamic).
 */
#include <windows.h>

#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "standin_path.h"

typedef intptr_t a_t;
#define PARAMS a_t a1, a_t a2, a_t a3, a_t a4, a_t a5, a_t a6, a_t a7, a_t a8, a_t a9, \
               a_t a10, a_t a11, a_t a12, a_t a13, a_t a14, a_t a15, a_t a16
#define ARGS a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16
typedef a_t (*linux_fn)(PARAMS);

static void *standin;

/* The stand-in's path: KAVO_OCI_BRIDGE_TARGET, else the one of the build. */
static void *Resolve(const char *name) {
  if (standin == NULL) {
    const char *path = getenv("KAVO_OCI_BRIDGE_TARGET");
    standin = dlopen(path != NULL && *path ? path : KAVO_STANDIN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (standin == NULL) {
      fprintf(stderr, "oci.dll bridge: %s\n", dlerror());
      abort();
    }
  }
  return dlsym(standin, name);
}

/* The stand-in reads a few variables from the Linux environment, which is
 * not the Windows one: they are copied over whenever an environment handle
 * is made, a drive-letter path as the Linux path it names. */
typedef char *(CDECL *unix_name_fn)(LPCWSTR);
static void SyncEnvironment(void) {
  static const struct {
    const char *name;
    const WCHAR *wide;
  } names[] = {{"OCISQLITE_TRACE", L"OCISQLITE_TRACE"}, {"NLS_LANG", L"NLS_LANG"}};
  unix_name_fn unix_name = (unix_name_fn)(void *)GetProcAddress(
      GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
  for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i) {
    WCHAR value[4096];
    DWORD n = GetEnvironmentVariableW(names[i].wide, value, sizeof value / sizeof value[0]);
    if (n == 0 || n >= sizeof value / sizeof value[0]) {
      unsetenv(names[i].name);
      continue;
    }
    char *path = (n > 2 && value[1] == ':' && unix_name != NULL) ? unix_name(value) : NULL;
    if (path != NULL) {
      setenv(names[i].name, path, 1);
      HeapFree(GetProcessHeap(), 0, path);
    } else {
      char text[4096];
      WideCharToMultiByte(CP_UTF8, 0, value, -1, text, sizeof text, NULL, NULL);
      setenv(names[i].name, text, 1);
    }
  }
}

#define FORWARD(name)                                   \
  static linux_fn real_##name;                          \
  a_t WINAPI bridge_##name(PARAMS) {                    \
    if (real_##name == NULL) real_##name = (linux_fn)Resolve(#name); \
    return real_##name(ARGS);                           \
  }
#define FORWARD_WITH_ENVIRONMENT(name)                  \
  static linux_fn real_##name;                          \
  a_t WINAPI bridge_##name(PARAMS) {                    \
    if (real_##name == NULL) real_##name = (linux_fn)Resolve(#name); \
    SyncEnvironment();                                  \
    return real_##name(ARGS);                           \
  }
#include "oci_names.h"
#undef FORWARD
#undef FORWARD_WITH_ENVIRONMENT

/* OCIDefineDynamic's piece callback is called back on the calling thread,
 * during the fetch: a Linux-convention thunk calls the program's Win64 one. */
typedef a_t(WINAPI *win_define_cb)(void *, void *, a_t, void **, void **, void *, void **, void **);
struct define_context {
  void *ctx;
  win_define_cb fn;
};

static a_t DefineThunk(void *c, void *defnp, a_t iter, void **bufpp, void **alenp, void *piecep,
                       void **indp, void **rcodep) {
  struct define_context *d = c;
  return d->fn(d->ctx, defnp, iter, bufpp, alenp, piecep, indp, rcodep);
}

static linux_fn real_define_dynamic;
/* One small context per define handle given a callback; a test process
 * gives few, so they are not reclaimed. */
a_t WINAPI bridge_OCIDefineDynamic(a_t defnp, a_t errhp, a_t octxp, a_t ocbfp) {
  if (real_define_dynamic == NULL) real_define_dynamic = (linux_fn)Resolve("OCIDefineDynamic");
  struct define_context *d = malloc(sizeof *d);
  d->ctx = (void *)octxp;
  d->fn = (win_define_cb)ocbfp;
  return real_define_dynamic(defnp, errhp, (a_t)d, ocbfp ? (a_t)&DefineThunk : 0, 0, 0, 0, 0, 0,
                             0, 0, 0, 0, 0, 0, 0);
}
