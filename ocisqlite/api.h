// Shared pieces of the exported entry points.
#ifndef OCISQLITE_API_H
#define OCISQLITE_API_H

#include <string>

#include "handles.h"

#define OCI_API extern "C" __attribute__((visibility("default")))

namespace kavo::ocisqlite {

template <typename T>
T* As(const void* p, ub4 type) {
  return IsHandle(p, type) ? static_cast<T*>(const_cast<void*>(p)) : nullptr;
}

inline ErrorHandle* Err(OCIError* e) { return As<ErrorHandle>(e, OCI_HTYPE_ERROR); }

// Records the error on the handle (when it is one) and returns OCI_ERROR.
inline sword Fail(OCIError* e, const OraError& error) {
  if (ErrorHandle* h = Err(e)) h->Set(error);
  return OCI_ERROR;
}

// A text argument: `len` bytes, or up to the terminating zero when `len` is
// negative; a null pointer is empty.
inline std::string Bytes(const OraText* p, sb4 len) {
  if (!p) return {};
  if (len < 0) return reinterpret_cast<const char*>(p);
  return std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(len));
}

// Fail with Oracle's error `code` and no arguments, its text made only when
// OCIErrorGet reads it; out of line, off an entry point's usual path.
[[gnu::cold, gnu::noinline]] sword FailCode(OCIError* e, int code);

inline sword Unimplemented(OCIError* e) { return Fail(e, MakeError(3001)); }

}  // namespace kavo::ocisqlite

#endif
