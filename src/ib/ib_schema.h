// TIBSchema: the column facts that record sets need of a table and that only
// the system tables know: which columns are computed, which have a default
// (on the column or on its domain), and which form the primary key.
//
// A connection keeps one cache; facts are read once per relation on first
// use and forgotten when the connection's DatabaseName changes.
#ifndef KAVO_IB_IB_SCHEMA_H_
#define KAVO_IB_IB_SCHEMA_H_

#include <map>
#include <set>

#include "rtl/ustring.h"

namespace kavo {

class TIBDatabase;

struct TIBRelationFacts {
  std::set<String> computed;
  std::set<String> with_default;
  std::set<String> primary_key;
};

class TIBSchema {
 public:
  // The facts of `relation` (trimmed column names), read on first use with
  // two statements on the connection's private transaction, which is started
  // and committed around the reading when it was not active.
  const TIBRelationFacts& Facts(TIBDatabase& db, const String& relation);
  bool Has(const String& relation) const { return relations_.count(relation) != 0; }
  void Clear() { relations_.clear(); }

 private:
  std::map<String, TIBRelationFacts> relations_;
};

}  // namespace kavo

#endif  // KAVO_IB_IB_SCHEMA_H_
