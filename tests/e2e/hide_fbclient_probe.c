/* Preloaded into the program by a test: the Firebird client library cannot
   be loaded, as on a machine where it is not installed. Every other library
   loads as usual. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <string.h>

void* dlopen(const char* file, int mode) {
  static void* (*next)(const char*, int);
  if (!next) next = (void* (*)(const char*, int))dlsym(RTLD_NEXT, "dlopen");
  if (file && strstr(file, "libfbclient")) return NULL;
  return next(file, mode);
}
