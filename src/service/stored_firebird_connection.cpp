#include "service/stored_firebird_connection.h"

#include "service/stored_setting.h"

namespace kavo {

const Char* const kStoredDatabaseName = u"E:\\kavo\\vavavor\\Dados\\norvelo\\DADOSKAVO.FDB";

void ApplyStoredSettings(TIBDatabase& db) {
  ApplyStoredSetting(db, u"Connected", [&] { db.SetConnected(true); });
  ApplyStoredSetting(db, u"DatabaseName", [&] { db.SetDatabaseName(kStoredDatabaseName); });
  ApplyStoredSetting(db, u"Params", [&] {
    db.Params().SetText(u"user_name=VAVAVOR\r\npassword=kat4ro2\r\nlc_ctype=ISO8859_1");
  });
  ApplyStoredSetting(db, u"LoginPrompt", [&] { db.SetLoginPrompt(false); });
  ApplyStoredSetting(db, u"ServerType", [&] { db.SetServerType(u"IBServer"); });
}

void ApplyStoredSettings(TIBTransaction& tr, TIBDatabase& db) {
  ApplyStoredSetting(tr, u"Active", [&] { tr.SetActive(true); });
  ApplyStoredSetting(tr, u"DefaultDatabase", [&] { tr.SetDefaultDatabase(&db); });
  ApplyStoredSetting(tr, u"Params",
                     [&] { tr.Params().SetText(u"read_committed\r\nrec_version\r\nnowait"); });
}

bool IsDriveLetterPath(StringView path) {
  return path.size() >= 2 && path[1] == u':' &&
         ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
}

void DropUnreachableStoredAttach(TIBDatabase& db) {
  if (!db.StreamedConnected() || !IsDriveLetterPath(db.DatabaseName())) return;
  db.ClearStreamedConnected();
  for (int i = 0; i < db.TransactionCount(); ++i) db.Transactions(i)->ClearStreamedActive();
}

}  // namespace kavo
