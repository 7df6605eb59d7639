// The database and transaction parameter buffers built from stored
// parameter lists ("name=value" lines).
// Input: the lines (UTF-8), split as a string list splits its text.
#include "fuzz_input.h"
#include "ib/ib_errors.h"
#include "ib/ib_header.h"
#include "ib/ib_param_blocks.h"
#include "rtl/code_page.h"
#include "rtl/exceptions.h"
#include "rtl/string_list.h"

namespace {

// Every DPB cluster is a code, a length byte and that many bytes.
bool WellFormedDPB(const std::string& dpb) {
  if (dpb.empty() || dpb[0] != isc_dpb_version1) return false;
  size_t i = 1;
  while (i < dpb.size()) {
    if (i + 1 >= dpb.size()) return false;
    i += 2 + static_cast<unsigned char>(dpb[i + 1]);
  }
  return i == dpb.size();
}

// TPB options are one byte; the two table reservations carry a length byte
// and a table name.
bool WellFormedTPB(const std::string& tpb) {
  if (tpb.empty()) return true;
  if (tpb[0] != isc_tpb_version3) return false;
  size_t i = 1;
  while (i < tpb.size()) {
    char code = tpb[i++];
    if (code == isc_tpb_lock_read || code == isc_tpb_lock_write) {
      if (i >= tpb.size()) return false;
      i += 1 + static_cast<unsigned char>(tpb[i]);
    }
  }
  return i == tpb.size();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kavo::SetAnsiCodePage("CP1252");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kavo::TStringList params;
  params.SetText(kavo::Utf8ToString(std::string_view(reinterpret_cast<const char*>(data), size)));
  try {
    FUZZ_CHECK(WellFormedDPB(kavo::BuildDPB(params).bytes));
  } catch (const kavo::EIBClientError&) {
  } catch (const kavo::EConvertError&) {
  }
  try {
    FUZZ_CHECK(WellFormedTPB(kavo::BuildTPB(params)));
  } catch (const kavo::EIBClientError&) {
  }
  return 0;
}
