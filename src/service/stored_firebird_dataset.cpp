#include "service/stored_firebird_dataset.h"

#include "recordset/date_time_fields.h"
#include "recordset/numeric_fields.h"

namespace kavo {

const Char* const kFbTmpIntegracaoSelectSQL =
    u"SELECT * FROM TMP_INTEGRACAO\r\n"
    u"where NRECNO = 1";

const Char* const kFbTmpIntegracaoInsertSQL =
    u"insert into TMP_INTEGRACAO\r\n"
    u"  (ACAO, DADOS, DATA, ERRO, ERRO_INTEGRACAO, HORA, NRECNO, STATUS, STATUS_INTEGRACAO, \r\n"
    u"   TIPO, VERSAO)\r\n"
    u"values\r\n"
    u"  (:ACAO, :DADOS, :DATA, :ERRO, :ERRO_INTEGRACAO, :HORA, :NRECNO, :STATUS, \r\n"
    u"   :STATUS_INTEGRACAO, :TIPO, :VERSAO)";

const Char* const kFbTmpIntegracaoModifySQL =
    u"update TMP_INTEGRACAO\r\n"
    u"set\r\n"
    u"  ACAO = :ACAO,\r\n"
    u"  DADOS = :DADOS,\r\n"
    u"  DATA = :DATA,\r\n"
    u"  ERRO = :ERRO,\r\n"
    u"  ERRO_INTEGRACAO = :ERRO_INTEGRACAO,\r\n"
    u"  HORA = :HORA,\r\n"
    u"  NRECNO = :NRECNO,\r\n"
    u"  STATUS = :STATUS,\r\n"
    u"  STATUS_INTEGRACAO = :STATUS_INTEGRACAO,\r\n"
    u"  TIPO = :TIPO,\r\n"
    u"  VERSAO = :VERSAO\r\n"
    u"where\r\n"
    u"  NRECNO = :OLD_NRECNO";

const Char* const kFbTmpIntegracaoDeleteSQL =
    u"delete from TMP_INTEGRACAO\r\n"
    u"where\r\n"
    u"  NRECNO = :OLD_NRECNO";

const Char* const kFbTmpIntegracaoRefreshSQL =
    u"Select \r\n"
    u"  ACAO,\r\n"
    u"  DADOS,\r\n"
    u"  DATA,\r\n"
    u"  HORA,\r\n"
    u"  TIPO,\r\n"
    u"  VERSAO,\r\n"
    u"  NRECNO,\r\n"
    u"  STATUS,\r\n"
    u"  ERRO,\r\n"
    u"  STATUS_INTEGRACAO,\r\n"
    u"  ERRO_INTEGRACAO\r\n"
    u"from TMP_INTEGRACAO \r\n"
    u"where\r\n"
    u"  NRECNO = :NRECNO";

namespace {

template <class Kind>
Kind* AddField(TIBDataSet& dataset, TComponent& owner, const Char* name, int size = -1) {
  auto* field = new Kind(&owner);
  field->SetName(dataset.Name() + name);
  field->SetFieldName(name);
  if (size >= 0) field->SetSize(size);
  field->SetOrigin(String(u"\"TMP_INTEGRACAO\".\"") + name + u"\"");
  field->SetDataSet(&dataset);
  return field;
}

}  // namespace

void ApplyStoredSettings(TIBDataSet& dataset, TComponent& owner) {
  dataset.SetName(u"FB_TMP_INTEGRACAO");
  dataset.SelectSQL().SetText(kFbTmpIntegracaoSelectSQL);
  dataset.InsertSQL().SetText(kFbTmpIntegracaoInsertSQL);
  dataset.ModifySQL().SetText(kFbTmpIntegracaoModifySQL);
  dataset.DeleteSQL().SetText(kFbTmpIntegracaoDeleteSQL);
  dataset.RefreshSQL().SetText(kFbTmpIntegracaoRefreshSQL);
  AddField<TIBStringField>(dataset, owner, u"ACAO", 3);
  AddField<TIBStringField>(dataset, owner, u"DADOS", 500);
  AddField<TDateField>(dataset, owner, u"DATA");
  AddField<TTimeField>(dataset, owner, u"HORA");
  AddField<TIBStringField>(dataset, owner, u"TIPO", 50);
  AddField<TIBStringField>(dataset, owner, u"VERSAO", 10);
  AddField<TIBStringField>(dataset, owner, u"STATUS", 10);
  AddField<TIBStringField>(dataset, owner, u"ERRO", 200);
  AddField<TIBStringField>(dataset, owner, u"STATUS_INTEGRACAO", 10);
  AddField<TIBStringField>(dataset, owner, u"ERRO_INTEGRACAO", 200);
  TLargeintField* nrecno = AddField<TLargeintField>(dataset, owner, u"NRECNO");
  nrecno->SetProviderFlags(pfInUpdate | pfInWhere | pfInKey);
}

}  // namespace kavo
