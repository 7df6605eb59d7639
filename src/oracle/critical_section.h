// TOracleCriticalSection: the lock type of the Oracle layer, and OCISection,
// the layer's one process-wide lock (library loading, shared environment,
// logon and logoff of thread-safe sessions).
#ifndef KAVO_ORACLE_CRITICAL_SECTION_H_
#define KAVO_ORACLE_CRITICAL_SECTION_H_

#include <atomic>
#include <mutex>
#include <thread>

namespace kavo {

class TOracleCriticalSection {
 public:
  TOracleCriticalSection() = default;
  TOracleCriticalSection(const TOracleCriticalSection&) = delete;
  TOracleCriticalSection& operator=(const TOracleCriticalSection&) = delete;

  // Re-entrant for the thread that holds it.
  void Enter();
  // Only for the thread that holds it: a Leave without a matching Enter on
  // the same thread does nothing.
  void Leave();
  // Entries not yet left, counted for all threads together.
  int Entered() const { return entered_.load(); }

  // For std::lock_guard.
  void lock() { Enter(); }
  void unlock() { Leave(); }

 private:
  std::recursive_mutex section_;
  std::atomic<std::thread::id> owner_{};  // the holding thread, or none
  int depth_ = 0;                         // the owner's entries; only the owner touches it
  std::atomic<int> entered_{0};
};

TOracleCriticalSection& OCISection();

}  // namespace kavo

#endif  // KAVO_ORACLE_CRITICAL_SECTION_H_
