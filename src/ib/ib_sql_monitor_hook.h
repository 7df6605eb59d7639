// TIBSQLMonitorHook: the process-wide trace hook that publishes the layer's
// events on the trace channel.
//
// An event is published when its flag is in the hook's TraceFlags and, for
// connection, transaction and statement events, in the connection's
// TraceFlags too (errors need only the hook's). Publishing opens the channel
// on first use (a failure disables the hook silently) and, while no monitor
// is registered anywhere, drops the text; otherwise the text, prefixed with
// "[Application: <title>]", is queued for the writer thread, which writes
// record after record into the channel. The queue holds at most kMaxQueued
// records (the oldest go first). A process with a registered TIBSQLMonitor
// also runs a reader thread that delivers every record to its monitors.
#ifndef KAVO_IB_IB_SQL_MONITOR_HOOK_H_
#define KAVO_IB_IB_SQL_MONITOR_HOOK_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ib/ib_trace_channel.h"
#include "ib/ib_trace_hook.h"

namespace kavo {

class TIBSQLMonitorHook : public IIBSQLMonitorHook {
 public:
  static constexpr size_t kMaxQueued = 10000;
  // How long Shutdown lets the writer go on with what is queued.
  static constexpr std::chrono::milliseconds kShutdownDrain{1000};

  explicit TIBSQLMonitorHook(std::string channel_name = TraceChannelName(),
                             uint32_t mode = TraceChannelMode());
  // Shuts down first.
  ~TIBSQLMonitorHook() override;

  void RegisterMonitor(TIBCustomSQLMonitor& monitor) override;
  void UnregisterMonitor(TIBCustomSQLMonitor& monitor) override;
  void ReleaseMonitor(TIBCustomSQLMonitor& monitor) override;
  void SQLPrepare(TIBSQL& sql) override;
  void SQLExecute(TIBSQL& sql) override;
  void SQLFetch(TIBSQL& sql) override;
  void DBConnect(TIBDatabase& db) override;
  void DBDisconnect(TIBDatabase& db) override;
  void TRStart(TIBTransaction& tr) override;
  void TRCommit(TIBTransaction& tr) override;
  void TRCommitRetaining(TIBTransaction& tr) override;
  void TRRollback(TIBTransaction& tr) override;
  void TRRollbackRetaining(TIBTransaction& tr) override;
  void ServiceAttach(TComponent& service) override;
  void ServiceDetach(TComponent& service) override;
  void ServiceQuery(TComponent& service) override;
  void ServiceStart(TComponent& service) override;
  void SendMisc(const String& text) override;
  void SendError(const String& text, TIBDatabase& db) override;
  void SendError(const String& text) override;
  TTraceFlags GetTraceFlags() const override { return trace_flags_; }
  // FMonitorCount of the channel; 0 while it is not open.
  int GetMonitorCount() const override;
  void SetTraceFlags(TTraceFlags flags) override { trace_flags_ = flags; }
  bool GetEnabled() const override { return enabled_; }
  // Disabling stops the writer thread; enabling lets the next publication
  // try to open the channel again.
  void SetEnabled(bool value) override;

  // Process end: lets the writer go on with what is queued for at most
  // kShutdownDrain, wakes the readers with a single-blank tfMisc record (when
  // this process has a reader), stops the reader and the writer threads.
  void Shutdown();

  // The channel is open (FEventsCreated).
  bool EventsCreated() const { return events_created_; }
  // Records queued and not yet written.
  size_t QueuedCount() const;

 private:
  struct Item {
    String text;
    TTraceFlag type = tfMisc;
    TDateTime time_stamp = 0;
  };

  // Whether a text for an event with one of `wanted` should be built at all.
  bool Wanted(TTraceFlags wanted, const TIBDatabase* db);
  // Opens the channel once; a failure raises ETraceChannelError.
  void OpenObjectsOrRaise();
  // The same for publishing: a failure disables the hook.
  bool OpenObjects();
  bool Monitored();
  void WriteSQLData(const String& text, TTraceFlag type);
  void StartWriterLocked();
  void StopWriter();
  void StopReader();
  void WriterLoop();
  void ReaderLoop(std::shared_ptr<std::promise<void>> registered);
  void Transaction(TIBTransaction& tr, StringView what);
  // A channel another user made, or one cut short under us: said once in the
  // event log, and nothing more is published.
  void ReportUnusableChannel(const String& why);
  bool ChannelLost();
  void Service(TComponent& service, StringView what);

  const std::string channel_name_;
  const uint32_t mode_;
  std::atomic<TTraceFlags> trace_flags_{kAllTraceFlags};
  std::atomic<bool> enabled_{true};
  std::atomic<bool> events_created_{false};
  std::atomic<bool> unusable_reported_{false};
  std::mutex open_mutex_;
  std::unique_ptr<TTraceChannel> channel_;

  // "CS": the queue, the monitor list and the threads.
  mutable std::mutex cs_;
  std::condition_variable queue_changed_;
  std::deque<Item> queue_;
  // Monitors to destroy, delivered before the records.
  std::deque<TIBCustomSQLMonitor*> releases_;
  std::vector<TIBCustomSQLMonitor*> monitors_;
  std::thread writer_;
  bool writing_ = false;
  std::atomic<bool> writer_stop_{false};
  std::thread reader_;
  std::atomic<bool> reader_stop_{false};
};

}  // namespace kavo

#endif  // KAVO_IB_IB_SQL_MONITOR_HOOK_H_
