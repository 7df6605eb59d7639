#include "oracle/critical_section.h"

namespace kavo {

void TOracleCriticalSection::Enter() {
  section_.lock();
  ++entered_;
}

void TOracleCriticalSection::Leave() {
  // The counter is shared by all threads; it only keeps a surplus Leave from
  // unlocking a section that is not held.
  int n = entered_.load();
  while (n > 0) {
    if (entered_.compare_exchange_weak(n, n - 1)) {
      section_.unlock();
      return;
    }
  }
}

TOracleCriticalSection& OCISection() {
  static TOracleCriticalSection section;
  return section;
}

}  // namespace kavo
