// The stored settings of the service module's Firebird record set
// FB_TMP_INTEGRACAO: its five statements on the staging table TMP_INTEGRACAO
// and its persistent fields, as the module creates them.
#ifndef KAVO_SERVICE_STORED_FIREBIRD_DATASET_H_
#define KAVO_SERVICE_STORED_FIREBIRD_DATASET_H_

#include "ib/ib_dataset.h"
#include "rtl/component.h"

namespace kavo {

// The stored statement texts, lines joined with a line break.
extern const Char* const kFbTmpIntegracaoSelectSQL;
extern const Char* const kFbTmpIntegracaoInsertSQL;
extern const Char* const kFbTmpIntegracaoModifySQL;
extern const Char* const kFbTmpIntegracaoDeleteSQL;
extern const Char* const kFbTmpIntegracaoRefreshSQL;

// Names `dataset` FB_TMP_INTEGRACAO, gives it the five statements and
// creates its persistent fields, owned by `owner` and named after the record
// set and the field (FB_TMP_INTEGRACAOACAO, ...), in the stored order: ACAO,
// DADOS, DATA, HORA, TIPO, VERSAO, STATUS, ERRO, STATUS_INTEGRACAO,
// ERRO_INTEGRACAO, NRECNO.
void ApplyStoredSettings(TIBDataSet& dataset, TComponent& owner);

}  // namespace kavo

#endif  // KAVO_SERVICE_STORED_FIREBIRD_DATASET_H_
