// TOracleSession: cached updates over several record sets.
#include <algorithm>

#include "oracle/session.h"

namespace kavo {

std::vector<TOracleUpdatesDataSet*> TOracleSession::UpdatesList(
    const std::vector<TOracleUpdatesDataSet*>& datasets, const Char* operation) {
  std::vector<TOracleUpdatesDataSet*> list;
  for (TOracleUpdatesDataSet* ds : datasets) {
    if (ds == nullptr || ds->UpdatesSession() != this)
      throw Exception(Name() + u"." + operation + u": DataSets must belong to this Session");
    if (std::find(list.begin(), list.end(), ds) == list.end()) list.push_back(ds);
  }
  return list;
}

void TOracleSession::ApplyUpdates(const std::vector<TOracleUpdatesDataSet*>& datasets,
                                  bool commit) {
  if (auto_commit_) throw Exception(u"ApplyUpdates not possible when AutoCommit = True");
  std::vector<TOracleUpdatesDataSet*> list = UpdatesList(datasets, u"ApplyUpdates");
  for (TOracleUpdatesDataSet* ds : list) ds->SaveApplyState();
  Savepoint(u"VZO_APPLYPOINT");
  try {
    for (auto it = list.rbegin(); it != list.rend(); ++it) (*it)->ApplyUpdates(aaDelete);
    for (TOracleUpdatesDataSet* ds : list) ds->ApplyUpdates(aaUpdate);
    for (TOracleUpdatesDataSet* ds : list) ds->ApplyUpdates(aaInsert);
    if (commit) {
      // The server first: a failed commit leaves every log as it was.
      Commit();
      for (auto it = list.rbegin(); it != list.rend(); ++it) (*it)->CommitUpdates();
    }
  } catch (...) {
    try {
      RollbackToSavepoint(u"VZO_APPLYPOINT");
    } catch (const std::exception&) {
    }
    for (TOracleUpdatesDataSet* ds : list) ds->RestoreApplyState();
    throw;
  }
}

void TOracleSession::CommitUpdates(const std::vector<TOracleUpdatesDataSet*>& datasets) {
  std::vector<TOracleUpdatesDataSet*> list = UpdatesList(datasets, u"CommitUpdates");
  // The server first: a failed commit leaves every log as it was.
  Commit();
  for (auto it = list.rbegin(); it != list.rend(); ++it) (*it)->CommitUpdates();
}

void TOracleSession::CancelUpdates(const std::vector<TOracleUpdatesDataSet*>& datasets) {
  std::vector<TOracleUpdatesDataSet*> list = UpdatesList(datasets, u"CancelUpdates");
  for (auto it = list.rbegin(); it != list.rend(); ++it) (*it)->CancelUpdates();
  Rollback();
}

}  // namespace kavo
