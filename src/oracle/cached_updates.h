// Cached updates across record sets: what a session's ApplyUpdates,
// CommitUpdates and CancelUpdates drive in each record set of a list.
#ifndef KAVO_ORACLE_CACHED_UPDATES_H_
#define KAVO_ORACLE_CACHED_UPDATES_H_

namespace kavo {

class TOracleSession;

// TApplyActions is a set of these.
enum TApplyAction : unsigned {
  aaInsert = 1u << 0,
  aaUpdate = 1u << 1,
  aaDelete = 1u << 2,
};
using TApplyActions = unsigned;
constexpr TApplyActions kAllApplyActions = aaInsert | aaUpdate | aaDelete;

// A record set with a change log (implemented by the Oracle record set).
class TOracleUpdatesDataSet {
 public:
  virtual ~TOracleUpdatesDataSet() = default;
  // The session the record set writes through.
  virtual TOracleSession* UpdatesSession() const = 0;
  // Writes the logged changes of the kinds in `actions`; the log stays.
  virtual void ApplyUpdates(TApplyActions actions) = 0;
  // What writing changes in the record set besides the server (the ROWIDs
  // written rows give their records), kept before a session writes the
  // changes of several record sets and put back when that fails.
  virtual void SaveApplyState() = 0;
  virtual void RestoreApplyState() = 0;
  // Empties the log, the changes being written.
  virtual void CommitUpdates() = 0;
  // Undoes every logged change in the records and empties the log.
  virtual void CancelUpdates() = 0;
};

}  // namespace kavo

#endif  // KAVO_ORACLE_CACHED_UPDATES_H_
