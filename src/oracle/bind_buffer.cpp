// The buffer a text variable is bound with. OCI reads element i at
// i * element size, so a buffer whose spacing differs from the element size
// it is told must never be handed over; nor may a value be cut in the
// variable's own buffer, which would change the variable.
#include <algorithm>
#include <cstring>

#include "oracle/oracle_error.h"
#include "oracle/oracle_text.h"
#include "oracle/variable_data.h"
#include "rtl/code_page.h"

namespace kavo {

namespace {

bool EndsInHighSurrogate(const uint8_t* bytes, size_t n, uint16_t charset_id) {
  if (n < 2) return false;
  uint16_t unit;
  std::memcpy(&unit, bytes + n - 2, 2);
  if (charset_id == ocsAL16UTF16) unit = static_cast<uint16_t>((unit >> 8) | (unit << 8));
  return unit >= 0xD800 && unit <= 0xDBFF;
}

// Element `i` as sent in `size` bytes: a zero-terminated text cut to size - 1
// bytes, or UTF-16 units cut to size bytes with their length in `length`.
void PackElement(const TVariableData& v, int i, int32_t size, uint8_t* out, ub2* length) {
  const uint8_t* e = v.Element(i);
  std::memset(out, 0, static_cast<size_t>(size));
  if (v.IsUTF16()) {
    size_t full = std::min<size_t>(v.alen.at(i), static_cast<size_t>(v.bufsize));
    size_t n = std::min(full, static_cast<size_t>(size)) & ~size_t{1};
    if (n < full && EndsInHighSurrogate(e, n, v.CharSetID)) n -= 2;
    std::memcpy(out, e, n);
    *length = static_cast<ub2>(n);
    return;
  }
  const char* p = reinterpret_cast<const char*>(e);
  size_t k = strnlen(p, static_cast<size_t>(v.bufsize));
  if (k >= static_cast<size_t>(size)) {
    std::string cp = v.IsUTF8() ? std::string("UTF-8") : AnsiCodePage();
    k = CutWholeCharacters(std::string(p, k), static_cast<size_t>(size) - 1, cp).size();
  }
  std::memcpy(out, p, k);
  *length = static_cast<ub2>(k);
}

}  // namespace

void* TVariableData::BindBuffer(int32_t element_size) {
  if (buf.empty()) return nullptr;
  if (element_size >= bufsize || element_size <= 0) {
    bindcopy.clear();
    bindalen.clear();
    return buf.data();
  }
  size_t total = static_cast<size_t>(ArraySize) * static_cast<size_t>(element_size);
  if (bindcopy.size() != total) bindcopy.assign(total, 0);
  bindalen.resize(static_cast<size_t>(ArraySize));
  for (int i = 0; i < ArraySize; ++i)
    PackElement(*this, i, element_size, bindcopy.data() + static_cast<size_t>(i) * element_size,
                &bindalen[i]);
  return bindcopy.data();
}

ub2* TVariableData::BindLengths() {
  if (!IsUTF16()) return nullptr;
  return bindcopy.empty() ? alen.data() : bindalen.data();
}

void TVariableData::ReturnBindBuffer() {
  if (bindcopy.empty() || ArraySize <= 0) return;
  int32_t size = static_cast<int32_t>(bindcopy.size() / static_cast<size_t>(ArraySize));
  std::vector<uint8_t> sent(static_cast<size_t>(size));
  for (int i = 0; i < ArraySize; ++i) {
    const uint8_t* got = bindcopy.data() + static_cast<size_t>(i) * size;
    ub2 sent_length = 0;
    PackElement(*this, i, size, sent.data(), &sent_length);
    size_t n = IsUTF16() ? std::min<size_t>(bindalen[i], static_cast<size_t>(size)) & ~size_t{1}
                         : strnlen(reinterpret_cast<const char*>(got), static_cast<size_t>(size));
    if (n == sent_length && std::memcmp(got, sent.data(), n) == 0) continue;
    // OCI wrote this element: it becomes the variable's value. The copy's
    // elements are smaller than the variable's, so it fits.
    uint8_t* e = Element(i);
    std::memset(e, 0, static_cast<size_t>(bufsize));
    std::memcpy(e, got, n);
    if (IsUTF16()) {
      alen[i] = static_cast<ub2>(n);
      len = static_cast<int32_t>(n);
    }
  }
}

}  // namespace kavo
