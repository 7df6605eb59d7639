// ROWID texts.
#ifndef KAVO_ORACLE_ROWID_H_
#define KAVO_ORACLE_ROWID_H_

#include <cstdint>

#include "oracle/oci_types.h"
#include "rtl/ustring.h"

namespace kavo {

// The text of a ROWID from its four numbers: the 18-character extended form
// (object 6, file 3, block 6, row 3 base-64 digits) when the object number
// is not 0, else the restricted form "bbbbbbbb.rrrr.ffff" in hexadecimal.
String RowIdFromParts(uint32_t object, uint32_t file, uint32_t block, uint32_t row);

// The text of a ROWID descriptor: through OCIRowidToChar when the client
// exports it; empty when the text cannot be had.
String RowIdText(OCIHandle rowid_descriptor, OCIHandle error_handle);

}  // namespace kavo

#endif  // KAVO_ORACLE_ROWID_H_
