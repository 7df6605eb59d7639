// Whole LOB values through a locator: a CLOB as UTF-8 text, a BLOB as bytes.
#ifndef KAVO_ORACLE_ORACLE_LOB_H_
#define KAVO_ORACLE_ORACLE_LOB_H_

#include <string>

#include "oracle/oci_library.h"

namespace kavo {

// The locator's whole value into `out` in one read; OCI_SUCCESS, or the
// status of the call that failed (OCI_NEED_DATA: the client wants pieces).
sword ReadLob(TOCILibrary& oci, OCIHandle svc, OCIHandle err, OCIHandle lob, bool clob,
              std::string& out);

}  // namespace kavo

#endif  // KAVO_ORACLE_ORACLE_LOB_H_
