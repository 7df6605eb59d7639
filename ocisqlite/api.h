// Shared pieces of the exported entry points.
#ifndef OCISQLITE_API_H
#define OCISQLITE_API_H

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

inline sword Unimplemented(OCIError* e) { return Fail(e, MakeError(3001)); }

}  // namespace kavo::ocisqlite

#endif
