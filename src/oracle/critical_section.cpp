#include "oracle/critical_section.h"

namespace kavo {

void TOracleCriticalSection::Enter() {
  section_.lock();
  owner_.store(std::this_thread::get_id());
  ++depth_;
  ++entered_;
}

void TOracleCriticalSection::Leave() {
  // Only the holder may leave: a surplus Leave, or one from another thread,
  // must not unlock a section that thread does not hold.
  if (owner_.load() != std::this_thread::get_id() || depth_ == 0) return;
  --entered_;
  if (--depth_ == 0) owner_.store(std::thread::id());
  section_.unlock();
}

TOracleCriticalSection& OCISection() {
  static TOracleCriticalSection section;
  return section;
}

}  // namespace kavo
