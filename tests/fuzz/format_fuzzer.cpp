// Format() with any pattern and any arguments.
// Input: the pattern, then NUL-separated arguments, each a kind letter and
// its text: "s<text>", "d<integer>", "f<number>" (at most eight arguments).
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "rtl/exceptions.h"
#include "rtl/format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto parts = kavo::fuzz::Split(data, size, '\0', 9);
  kavo::String pattern = kavo::Utf8ToString(parts[0]);
  std::vector<kavo::FormatArg> args;
  for (size_t i = 1; i < parts.size() && !parts[i].empty(); ++i) {
    std::string text(parts[i].substr(1));
    switch (parts[i][0]) {
      case 'd': args.emplace_back(std::strtoll(text.c_str(), nullptr, 10)); break;
      case 'f': args.emplace_back(std::strtod(text.c_str(), nullptr)); break;
      default: args.emplace_back(kavo::Utf8ToString(text)); break;
    }
  }
  // Format takes an initializer list: pass the arguments by count.
  const auto& a = args;
  auto n = a.size();
  try {
    switch (n) {
      case 0: kavo::Format(pattern, {}); break;
      case 1: kavo::Format(pattern, {a[0]}); break;
      case 2: kavo::Format(pattern, {a[0], a[1]}); break;
      case 3: kavo::Format(pattern, {a[0], a[1], a[2]}); break;
      case 4: kavo::Format(pattern, {a[0], a[1], a[2], a[3]}); break;
      case 5: kavo::Format(pattern, {a[0], a[1], a[2], a[3], a[4]}); break;
      case 6: kavo::Format(pattern, {a[0], a[1], a[2], a[3], a[4], a[5]}); break;
      case 7: kavo::Format(pattern, {a[0], a[1], a[2], a[3], a[4], a[5], a[6]}); break;
      default: kavo::Format(pattern, {a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]}); break;
    }
  } catch (const kavo::EConvertError&) {
  }
  return 0;
}
