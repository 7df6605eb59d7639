// Reading a fuzz input: parts cut at a separator byte, and the checks whose
// failure is a finding even when nothing crashed.
#ifndef KAVO_FUZZ_FUZZ_INPUT_H_
#define KAVO_FUZZ_FUZZ_INPUT_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace kavo::fuzz {

// The input cut at every `separator`, into at most `max_parts` parts (the
// last one keeps the rest, separators included); missing parts are empty.
inline std::vector<std::string_view> Split(const uint8_t* data, size_t size, char separator,
                                           size_t max_parts) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> parts;
  while (parts.size() + 1 < max_parts) {
    size_t at = rest.find(separator);
    if (at == std::string_view::npos) break;
    parts.push_back(rest.substr(0, at));
    rest.remove_prefix(at + 1);
  }
  parts.push_back(rest);
  parts.resize(max_parts);
  return parts;
}

// A broken promise of the code under test: reported like a crash, so that
// libFuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                           \
  do {                                                                             \
    if (!(cond)) {                                                                 \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                \
    }                                                                              \
  } while (0)

}  // namespace kavo::fuzz

#endif  // KAVO_FUZZ_FUZZ_INPUT_H_
