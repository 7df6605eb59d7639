// The database and transaction parameter buffers built from parameter lists.
#ifndef KAVO_IB_IB_PARAM_BLOCKS_H_
#define KAVO_IB_IB_PARAM_BLOCKS_H_

#include <string>
#include <vector>

#include "rtl/ustring.h"

namespace kavo {

class TStringList;

// The 85 database parameter names; a name's code is its position from 1.
const std::vector<String>& DPBConstantNames();
// The code of a lower-case name without prefix, or 0.
int DPBConstantCode(StringView name);

struct TDPBResult {
  std::string bytes;         // starts with isc_dpb_version1
  bool has_character_set = false;
  String character_set;      // the lc_ctype value when one was given
};

// One cluster per accepted "name=value" line, in line order. Raises
// ibceDPBConstantNotSupported / ibceDPBConstantUnknownEx for names that are
// listed but not accepted / not listed, EConvertError for a numeric value that
// is not a number, and ibceStringTooLarge for a text value of more than 255
// bytes (its length byte could not describe it).
TDPBResult BuildDPB(const TStringList& params);

// The 21 transaction option names; a name's code is its position from 1.
const std::vector<String>& TPBConstantNames();

// Empty for an empty list, else isc_tpb_version3 and one cluster per
// non-blank line. Raises ibceTPBConstantNotSupported / ibceTPBConstantUnknownEx.
std::string BuildTPB(const TStringList& params);

}  // namespace kavo

#endif  // KAVO_IB_IB_PARAM_BLOCKS_H_
