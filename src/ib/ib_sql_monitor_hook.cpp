#include "ib/ib_sql_monitor_hook.h"

#include <algorithm>
#include <chrono>

#include "ib/ib_database.h"
#include "ib/ib_sql.h"
#include "ib/ib_sql_monitor.h"
#include "ib/ib_trace_reader.h"
#include "ib/ib_trace_texts.h"
#include "ib/ib_trace_writer.h"
#include "ib/ib_transaction.h"
#include "platform/application_title.h"
#include "platform/event_log.h"
#include "platform/executable_path.h"
#include "rtl/os_text.h"

namespace kavo {

namespace {

constexpr TTraceFlags kStatementFlags[] = {TraceFlag(tfQPrepare) | TraceFlag(tfStmt),
                                           TraceFlag(tfQExecute) | TraceFlag(tfStmt),
                                           TraceFlag(tfQFetch) | TraceFlag(tfStmt)};

bool IsWakeUp(const TTraceChunk& chunk) {
  return chunk.data_type == tfMisc && chunk.text == u" ";
}

}  // namespace

TIBSQLMonitorHook::TIBSQLMonitorHook(std::string channel_name, uint32_t mode)
    : channel_name_(std::move(channel_name)), mode_(mode) {}

TIBSQLMonitorHook::~TIBSQLMonitorHook() { Shutdown(); }

// --- the channel ---

void TIBSQLMonitorHook::OpenObjectsOrRaise() {
  if (events_created_.load(std::memory_order_acquire)) return;
  std::lock_guard lock(open_mutex_);
  if (events_created_) return;
  channel_ = TTraceChannel::Open(channel_name_, mode_);
  events_created_.store(true, std::memory_order_release);
}

bool TIBSQLMonitorHook::OpenObjects() {
  if (events_created_.load(std::memory_order_acquire)) return !ChannelLost();
  if (!enabled_) return false;
  try {
    OpenObjectsOrRaise();
    return true;
  } catch (const ETraceChannelError& e) {
    SetEnabled(false);
    if (e.Problem() == TTraceChannelProblem::kForeignOwner) {
      const std::string path = SharedMemory::FilePath(channel_name_);
      ReportUnusableChannel(u"The SQL trace channel " + OsTextToString(path) +
                            u" belongs to user id " + OsTextToString(e.Owner()) +
                            u", not to this program's user or root: nothing is published on it. "
                            u"Remove it and start the program again to trace.");
    }
    return false;
  } catch (...) {
    SetEnabled(false);
    return false;
  }
}

void TIBSQLMonitorHook::ReportUnusableChannel(const String& why) {
  if (unusable_reported_.exchange(true)) return;
  EventLogger(ExecutableFileName()).LogMessage(why, etError);
}

bool TIBSQLMonitorHook::ChannelLost() {
  if (!channel_->Lost()) return false;
  enabled_ = false;
  ReportUnusableChannel(u"The SQL trace channel " +
                          OsTextToString(SharedMemory::FilePath(channel_name_)) +
                          u" was cut short by another process: nothing more is published on it.");
  return true;
}

bool TIBSQLMonitorHook::Monitored() { return OpenObjects() && channel_->MonitorCount() > 0; }

int TIBSQLMonitorHook::GetMonitorCount() const {
  return events_created_.load(std::memory_order_acquire) ? channel_->MonitorCount() : 0;
}

bool TIBSQLMonitorHook::Wanted(TTraceFlags wanted, const TIBDatabase* db) {
  if (!enabled_ || db == nullptr) return false;
  if ((trace_flags_ & db->TraceFlags() & wanted) == 0) return false;
  return Monitored();
}

void TIBSQLMonitorHook::WriteSQLData(const String& text, TTraceFlag type) {
  if (!enabled_ || !OpenObjects()) return;
  // Nobody watches anywhere: the text goes nowhere.
  if (channel_->MonitorCount() == 0) return;
  Item item;
  item.text = u"\r\n[Application: " + ApplicationTitle() + u"]\r\n" + text;
  item.type = type;
  item.time_stamp = Now();
  std::lock_guard lock(cs_);
  if (!enabled_) return;
  StartWriterLocked();
  queue_.push_back(std::move(item));
  if (queue_.size() > kMaxQueued) queue_.pop_front();
  queue_changed_.notify_all();
}

size_t TIBSQLMonitorHook::QueuedCount() const {
  std::lock_guard lock(cs_);
  return queue_.size();
}

// --- events ---

void TIBSQLMonitorHook::SQLPrepare(TIBSQL& sql) {
  if (Wanted(kStatementFlags[0], sql.Database())) WriteSQLData(PrepareTraceText(sql), tfQPrepare);
}

void TIBSQLMonitorHook::SQLExecute(TIBSQL& sql) {
  if (Wanted(kStatementFlags[1], sql.Database())) WriteSQLData(ExecuteTraceText(sql), tfQExecute);
}

void TIBSQLMonitorHook::SQLFetch(TIBSQL& sql) {
  if (Wanted(kStatementFlags[2], sql.Database())) WriteSQLData(FetchTraceText(sql), tfQFetch);
}

void TIBSQLMonitorHook::DBConnect(TIBDatabase& db) {
  if (Wanted(TraceFlag(tfConnect), &db)) WriteSQLData(ConnectTraceText(db), tfConnect);
}

void TIBSQLMonitorHook::DBDisconnect(TIBDatabase& db) {
  if (Wanted(TraceFlag(tfConnect), &db)) WriteSQLData(DisconnectTraceText(db), tfConnect);
}

void TIBSQLMonitorHook::Transaction(TIBTransaction& tr, StringView what) {
  if (Wanted(TraceFlag(tfTransact), tr.DefaultDatabase()))
    WriteSQLData(TransactionTraceText(tr, what), tfTransact);
}

void TIBSQLMonitorHook::TRStart(TIBTransaction& tr) { Transaction(tr, u"Start transaction"); }
void TIBSQLMonitorHook::TRCommit(TIBTransaction& tr) { Transaction(tr, u"Commit (Hard commit)"); }
void TIBSQLMonitorHook::TRCommitRetaining(TIBTransaction& tr) {
  Transaction(tr, u"Commit retaining (Soft commit)");
}
void TIBSQLMonitorHook::TRRollback(TIBTransaction& tr) { Transaction(tr, u"Rollback"); }
void TIBSQLMonitorHook::TRRollbackRetaining(TIBTransaction& tr) {
  Transaction(tr, u"Rollback retaining (Soft rollback)");
}

void TIBSQLMonitorHook::Service(TComponent& service, StringView what) {
  if (enabled_ && (trace_flags_ & TraceFlag(tfService)) != 0)
    WriteSQLData(service.Name() + u": [" + String(what) + u"]", tfService);
}

void TIBSQLMonitorHook::ServiceAttach(TComponent& s) { Service(s, u"Attach"); }
void TIBSQLMonitorHook::ServiceDetach(TComponent& s) { Service(s, u"Detach"); }
void TIBSQLMonitorHook::ServiceQuery(TComponent& s) { Service(s, u"Query"); }
void TIBSQLMonitorHook::ServiceStart(TComponent& s) { Service(s, u"Start"); }

void TIBSQLMonitorHook::SendMisc(const String& text) { WriteSQLData(u"[Misc] " + text, tfMisc); }

void TIBSQLMonitorHook::SendError(const String& text, TIBDatabase&) { SendError(text); }

void TIBSQLMonitorHook::SendError(const String& text) {
  if ((trace_flags_ & TraceFlag(tfError)) != 0) WriteSQLData(u"[Error] " + text, tfError);
}

// --- monitors ---

void TIBSQLMonitorHook::RegisterMonitor(TIBCustomSQLMonitor& monitor) {
  OpenObjectsOrRaise();
  std::unique_lock lock(cs_);
  monitors_.push_back(&monitor);
  if (reader_.joinable()) return;
  reader_stop_ = false;
  auto registered = std::make_shared<std::promise<void>>();
  std::future<void> done = registered->get_future();
  reader_ = std::thread(&TIBSQLMonitorHook::ReaderLoop, this, registered);
  lock.unlock();
  try {
    done.get();
  } catch (...) {
    lock.lock();
    std::erase(monitors_, &monitor);
    std::thread failed = std::move(reader_);
    lock.unlock();
    failed.join();
    throw;
  }
}

void TIBSQLMonitorHook::UnregisterMonitor(TIBCustomSQLMonitor& monitor) {
  {
    std::lock_guard lock(cs_);
    std::erase(monitors_, &monitor);
    std::erase(releases_, &monitor);
    if (!monitors_.empty()) return;
  }
  StopReader();
}

void TIBSQLMonitorHook::ReleaseMonitor(TIBCustomSQLMonitor& monitor) {
  std::lock_guard lock(cs_);
  releases_.push_back(&monitor);
  StartWriterLocked();
  queue_changed_.notify_all();
}

void TIBSQLMonitorHook::ReaderLoop(std::shared_ptr<std::promise<void>> registered) {
  std::unique_ptr<TTraceReader> reader;
  try {
    reader = std::make_unique<TTraceReader>(*channel_);
  } catch (...) {
    registered->set_exception(std::current_exception());
    return;
  }
  registered->set_value();
  TTraceChunk chunk;
  while (reader->Read(chunk, reader_stop_)) {
    if (IsWakeUp(chunk)) continue;
    std::lock_guard lock(cs_);
    for (TIBCustomSQLMonitor* m : monitors_) m->Deliver(chunk);
  }
}

void TIBSQLMonitorHook::StopReader() {
  std::thread reader;
  {
    std::lock_guard lock(cs_);
    reader = std::move(reader_);
    reader_stop_ = true;
  }
  if (!reader.joinable()) return;
  TTraceReader::Wake(*channel_);
  reader.join();
}

// --- the writer ---

void TIBSQLMonitorHook::StartWriterLocked() {
  if (writer_.joinable()) return;
  writer_stop_ = false;
  writer_ = std::thread(&TIBSQLMonitorHook::WriterLoop, this);
}

void TIBSQLMonitorHook::WriterLoop() {
  std::unique_lock lock(cs_);
  while (!writer_stop_) {
    if (!releases_.empty()) {
      releases_.front()->PostRelease();
      releases_.pop_front();
      continue;
    }
    if (queue_.empty()) {
      queue_changed_.wait(lock);
      continue;
    }
    if (ChannelLost()) {
      queue_.clear();
      continue;
    }
    if (channel_->MonitorCount() == 0) {
      // The last monitor left: what was queued for it goes nowhere.
      queue_.clear();
      queue_changed_.wait_for(lock, std::chrono::milliseconds(50));
      continue;
    }
    Item item = std::move(queue_.front());
    queue_.pop_front();
    writing_ = true;
    lock.unlock();
    WriteTraceRecord(*channel_, item.text, item.type, item.time_stamp, writer_stop_);
    lock.lock();
    writing_ = false;
    queue_changed_.notify_all();
  }
}

void TIBSQLMonitorHook::StopWriter() {
  std::thread writer;
  {
    std::lock_guard lock(cs_);
    writer = std::move(writer_);
    writer_stop_ = true;
    queue_changed_.notify_all();
  }
  if (!writer.joinable()) return;
  if (events_created_) {
    channel_->ReadEvent().Wake();
    channel_->ReadFinishedEvent().Wake();
  }
  writer.join();
}

void TIBSQLMonitorHook::SetEnabled(bool value) {
  enabled_ = value;
  if (value) return;
  StopWriter();
  std::lock_guard lock(cs_);
  queue_.clear();
}

void TIBSQLMonitorHook::Shutdown() {
  bool has_reader;
  {
    // What is queued still goes out, for a moment: the last errors before a
    // process ends are the ones an operator looks for.
    std::unique_lock lock(cs_);
    if (writer_.joinable())
      queue_changed_.wait_for(lock, kShutdownDrain, [&] { return queue_.empty() && !writing_; });
    has_reader = reader_.joinable();
  }
  if (has_reader) {
    std::atomic<bool> never{false};
    WriteTraceRecord(*channel_, u" ", tfMisc, Now(), never);
  }
  StopReader();
  StopWriter();
}

}  // namespace kavo
