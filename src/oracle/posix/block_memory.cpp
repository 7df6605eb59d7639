// Record blocks of the record store (Linux): large blocks on huge pages.
#include <sys/mman.h>

#include <cstdlib>
#include <new>

#include "oracle/row_store.h"

namespace kavo {

uint8_t* AllocateBlockMemory(size_t size) {
  void* p;
  if (size < kHugePage) {
    p = std::malloc(size);
  } else {
    size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
    p = std::aligned_alloc(kHugePage, rounded);
    if (p != nullptr) madvise(p, rounded, MADV_HUGEPAGE);
  }
  if (p == nullptr) throw std::bad_alloc();
  return static_cast<uint8_t*>(p);
}

void TBlockMemoryDeleter::operator()(uint8_t* p) const { std::free(p); }

}  // namespace kavo
