// Record blocks of the record store (Windows): the C runtime has no aligned
// allocation that free() releases, and large pages need a privilege a service
// seldom holds.
#include <cstdlib>
#include <new>

#include "oracle/row_store.h"

namespace kavo {

uint8_t* AllocateBlockMemory(size_t size) {
  void* p = std::malloc(size);
  if (p == nullptr) throw std::bad_alloc();
  return static_cast<uint8_t*>(p);
}

void TBlockMemoryDeleter::operator()(uint8_t* p) const { std::free(p); }

}  // namespace kavo
