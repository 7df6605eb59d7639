#include "ib/ib_schema.h"

#include "ib/ib_database.h"
#include "ib/ib_sql.h"
#include "ib/ib_transaction.h"

namespace kavo {

namespace {

const Char* const kDefaultsAndComputed =
    u"Select F.RDB$COMPUTED_BLR, F.RDB$DEFAULT_VALUE, R.RDB$DEFAULT_VALUE, R.RDB$FIELD_NAME "
    u"from RDB$RELATION_FIELDS R, RDB$FIELDS F where R.RDB$RELATION_NAME = :RELATION and "
    u"R.RDB$FIELD_SOURCE = F.RDB$FIELD_NAME and ((not F.RDB$COMPUTED_BLR is NULL) or      "
    u"(not (F.RDB$DEFAULT_VALUE is NULL and R.RDB$DEFAULT_VALUE is NULL))) ";

const Char* const kPrimaryKey =
    u"SELECT RDB$FIELD_NAME, RDB$FIELD_POSITION FROM RDB$RELATION_CONSTRAINTS RR JOIN "
    u"RDB$INDEX_SEGMENTS RI ON      RR.RDB$INDEX_NAME = RI.RDB$INDEX_NAME WHERE "
    u"RDB$RELATION_NAME = :relation_name AND       RDB$CONSTRAINT_TYPE = 'PRIMARY KEY ' "
    u"ORDER BY RDB$FIELD_POSITION ";

void ReadFacts(TIBDatabase& db, TIBTransaction& tr, const String& relation,
               TIBRelationFacts& facts) {
  TIBSQL q(nullptr);
  q.SetDatabase(&db);
  q.SetTransaction(&tr);
  q.SetGoToFirstRecordOnExecute(false);
  q.SQL().SetText(kDefaultsAndComputed);
  q.Params()[0].SetAsString(relation);
  q.ExecQuery();
  while (TIBXSQLDA* row = q.Next()) {
    String name = Trim((*row)[3].AsString());
    if (!(*row)[0].IsNull())
      facts.computed.insert(name);
    else
      facts.with_default.insert(name);
  }
  q.Close();
  q.SQL().SetText(kPrimaryKey);
  q.Params()[0].SetAsString(relation);
  q.ExecQuery();
  while (TIBXSQLDA* row = q.Next()) facts.primary_key.insert(Trim((*row)[0].AsString()));
  q.Close();
}

}  // namespace

const TIBRelationFacts& TIBSchema::Facts(TIBDatabase& db, const String& relation) {
  auto found = relations_.find(relation);
  if (found != relations_.end()) return found->second;
  TIBRelationFacts facts;
  TIBTransaction& tr = *db.InternalTransaction();
  bool started = !tr.Active();
  if (started) tr.StartTransaction();
  try {
    ReadFacts(db, tr, relation, facts);
  } catch (...) {
    if (started) {
      try {
        tr.Rollback();
      } catch (...) {
      }
    }
    throw;
  }
  if (started) tr.Commit();
  return relations_.emplace(relation, std::move(facts)).first->second;
}

}  // namespace kavo
