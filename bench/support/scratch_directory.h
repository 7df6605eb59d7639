// Where a benchmark keeps its databases while it runs.
#ifndef KAVO_BENCH_SCRATCH_DIRECTORY_H_
#define KAVO_BENCH_SCRATCH_DIRECTORY_H_

#include <string>

namespace kavo::bench {

// A new directory "<base>/<name>-XXXXXX": base /dev/shm when `in_memory` and
// it is writable (the layers' cost is measured, not the disk's), else /tmp.
// Throws when it cannot be made.
std::string MakeScratchDirectory(const std::string& name, bool in_memory);

}  // namespace kavo::bench

#endif  // KAVO_BENCH_SCRATCH_DIRECTORY_H_
