#include "oracle/oracle_lob.h"

#include <algorithm>

#include "oracle/oracle_text.h"

namespace kavo {

sword ReadLob(TOCILibrary& oci, OCIHandle svc, OCIHandle err, OCIHandle lob, bool clob,
              std::string& out) {
  out.clear();
  ub4 length = 0;
  sword status = oci.OCILobGetLength(svc, err, lob, &length);
  if (status != OCI_SUCCESS || length == 0) return status;
  // A CLOB's length counts UTF-16 units: at most three UTF-8 bytes each.
  out.resize(clob ? size_t{length} * 3 : length);
  ub4 amount = length;
  status = oci.OCILobRead(svc, err, lob, &amount, 1, out.data(), static_cast<ub4>(out.size()),
                          nullptr, nullptr, clob ? ocsAL32UTF8 : 0, 1);
  if (status == OCI_NO_DATA) status = OCI_SUCCESS;
  out.resize(status == OCI_SUCCESS ? std::min<size_t>(amount, out.size()) : 0);
  return status;
}

}  // namespace kavo
