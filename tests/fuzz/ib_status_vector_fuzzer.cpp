// The Firebird layer's reading of a status vector: the server message
// assembled through the real client library (isc_sqlcode, isc_interprete)
// and the scan for connection-loss codes, on forged vectors; no server.
//
// Input: clusters, each a type byte (its value modulo 16 picks one of the
// sixteen argument kinds Firebird defines) and its argument:
//   gds, warning:                 facility byte, 16-bit message number (LE)
//   string, interpreted, SQL state: length byte, that many bytes
//   counted string:               length byte, that many bytes
//   number and the OS codes:      32-bit value (LE)
// The vector ends with isc_arg_end where the input or the vector's room ends.
#include <array>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "ib/ib_errors.h"
#include "ib/ib_intf.h"
#include "rtl/code_page.h"

namespace {



const ISC_STATUS kKinds[] = {
    isc_arg_gds,  isc_arg_string, isc_arg_cstring, isc_arg_number,    isc_arg_interpreted,
    isc_arg_vms,  isc_arg_unix,   isc_arg_domain,  isc_arg_dos,       isc_arg_mpexl,
    isc_arg_mpexl_ipc, isc_arg_next_mach, isc_arg_netware, isc_arg_win32, isc_arg_warning,
    isc_arg_sql_state,
};
static_assert(std::size(kKinds) == 16);

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
  bool AtEnd() const { return p_ == end_; }
  uint32_t Take(int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes && p_ < end_; ++i) v |= static_cast<uint32_t>(*p_++) << (8 * i);
    return v;
  }
  std::string Text() {
    size_t n = std::min<size_t>(Take(1), end_ - p_);
    std::string s(reinterpret_cast<const char*>(p_), n);
    p_ += n;
    return s;
  }

 private:
  const uint8_t* p_;
  const uint8_t* end_;
};

kavo::IGDSLibrary* g_library = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kavo::SetAnsiCodePage("UTF-8");
  kavo::String name = u"IBServer";
  static kavo::IGDSLibraryPtr library = kavo::GetGDSLibrary(name);
  library->CheckIBLoaded();
  g_library = library.get();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ISC_STATUS* status = kavo::StatusVector();
  std::fill(status, status + kavo::kStatusVectorLength, 0);
  // The texts the vector points at live until the input is done.
  std::vector<std::string> texts;
  texts.reserve(kavo::kStatusVectorLength);
  Reader in(data, size);
  int used = 0;
  while (!in.AtEnd()) {
    ISC_STATUS kind = kKinds[in.Take(1) % std::size(kKinds)];
    int room = kavo::kStatusVectorLength - 1 - used;  // one word stays for isc_arg_end
    if (room < (kind == isc_arg_cstring ? 3 : 2)) break;
    status[used++] = kind;
    switch (kind) {
      case isc_arg_gds:
      case isc_arg_warning: {
        ISC_STATUS facility = in.Take(1) & 0x1F;
        status[used++] = 0x14000000 | (facility << 16) | in.Take(2);
        break;
      }
      case isc_arg_string:
      case isc_arg_interpreted:
      case isc_arg_sql_state:
        texts.push_back(in.Text());
        status[used++] = reinterpret_cast<ISC_STATUS>(texts.back().c_str());
        break;
      case isc_arg_cstring:
        texts.push_back(in.Text());
        status[used++] = static_cast<ISC_STATUS>(texts.back().size());
        status[used++] = reinterpret_cast<ISC_STATUS>(texts.back().data());
        break;
      default:
        status[used++] = static_cast<int32_t>(in.Take(4));
        break;
    }
  }
  status[used] = isc_arg_end;

  kavo::CheckStatusVector({isc_lost_db_connection, isc_net_read_err, isc_net_write_err});
  kavo::TIBServerError error = kavo::BuildServerError(*g_library);
  FUZZ_CHECK(error.error_code == static_cast<int32_t>(status[1]));
  return 0;
}
