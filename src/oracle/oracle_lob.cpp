#include "oracle/oracle_lob.h"

#include <algorithm>
#include <cstdint>

#include "oracle/oracle_text.h"
#include "rtl/exceptions.h"
#include "rtl/ustring.h"

namespace kavo {

sword ReadLob(TOCILibrary& oci, OCIHandle svc, OCIHandle err, OCIHandle lob, bool clob,
              std::string& out) {
  out.clear();
  ub4 length = 0;
  sword status = oci.OCILobGetLength(svc, err, lob, &length);
  if (status != OCI_SUCCESS || length == 0) return status;
  // A CLOB's length counts UTF-16 units: at most three UTF-8 bytes each,
  // in a buffer whose size OCI takes as 32 bits.
  const uint64_t room = clob ? uint64_t{length} * 3 : length;
  if (room > UINT32_MAX)
    throw Exception(u"A CLOB of " + IntToStr(length) + u" characters is too long to read whole");
  out.resize(static_cast<size_t>(room));
  ub4 amount = length;
  status = oci.OCILobRead(svc, err, lob, &amount, 1, out.data(), static_cast<ub4>(out.size()),
                          nullptr, nullptr, clob ? ocsAL32UTF8 : 0, 1);
  if (status == OCI_NO_DATA) status = OCI_SUCCESS;
  out.resize(status == OCI_SUCCESS ? std::min<size_t>(amount, out.size()) : 0);
  return status;
}

}  // namespace kavo
