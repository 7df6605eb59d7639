// The stored settings of the module's Oracle record set OracleDataSet: its
// session, its query on the interface table, its query-by-example definition
// and its persistent fields.
#ifndef KAVO_SERVICE_STORED_ORACLE_DATASET_H_
#define KAVO_SERVICE_STORED_ORACLE_DATASET_H_

#include "oracle/oracle_dataset.h"
#include "oracle/session.h"
#include "rtl/component.h"

namespace kavo {

// The five stored lines of the query, each but the last ending in a blank.
extern const Char* const kOracleDataSetSQL[5];

// In the stored order: Session `session`, Optimize false, the query, a QBE
// definition listing the thirteen columns (queryable, no other flag); then
// the persistent fields, owned by `owner` and named after the record set and
// the field (OracleDataSetACAO, ...): ACAO string 1, CODIGO float, DADOS
// string 500, DT_H_GRAV, DT_H_PRI_P, DT_H_ULT_P date-time, ERRO string 255,
// HORA string 8, ORDEM float, STATUS string 1, TABELA string (the default
// size, 20), TIPO string 50, VERSAO string 10. A setting that fails raises
// "Error reading OracleDataSet.<setting>: <message>".
void ApplyStoredSettings(TOracleDataSet& dataset, TOracleSession& session, TComponent& owner);

}  // namespace kavo

#endif  // KAVO_SERVICE_STORED_ORACLE_DATASET_H_
