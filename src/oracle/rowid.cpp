#include "oracle/rowid.h"

#include <cstdio>

#include "oracle/oci_library.h"

namespace kavo {

namespace {
constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void AppendBase64(String& out, uint32_t value, int digits) {
  for (int i = digits - 1; i >= 0; --i) out += static_cast<Char>(kDigits[(value >> (6 * i)) & 63]);
}
}  // namespace

String RowIdFromParts(uint32_t object, uint32_t file, uint32_t block, uint32_t row) {
  if (object != 0) {
    String s;
    AppendBase64(s, object, 6);
    AppendBase64(s, file, 3);
    AppendBase64(s, block, 6);
    AppendBase64(s, row, 3);
    return s;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "%8.8x.%4.4x.%4.4x", block, row & 0xFFFF, file & 0xFFFF);
  return AsciiToString(buf);
}

String RowIdText(OCIHandle rowid_descriptor, OCIHandle error_handle) {
  const TOCILibrary& oci = OCILibrary();
  if (!oci.Has(OCIEntry::OCIRowidToChar)) return String();
  OraText buf[64] = {0};
  ub2 length = sizeof buf - 1;
  if (oci.OCIRowidToChar(rowid_descriptor, buf, &length, error_handle) != OCI_SUCCESS)
    return String();
  if (length >= sizeof buf) length = sizeof buf - 1;
  return AsciiToString(std::string(reinterpret_cast<const char*>(buf), length));
}

}  // namespace kavo
