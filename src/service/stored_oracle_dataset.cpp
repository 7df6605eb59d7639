#include "service/stored_oracle_dataset.h"

#include "recordset/date_time_fields.h"
#include "recordset/numeric_fields.h"
#include "recordset/string_fields.h"
#include "service/stored_setting.h"

namespace kavo {

const Char* const kOracleDataSetSQL[5] = {u"SELECT A.*, A.ROWID FROM ",
                                          u"v9norvelo.\"INTERFACE_ORCL\" A ", u"WHERE ",
                                          u"A.STATUS='A' ", u"and  ROWNUM < 1000"};

namespace {

const Char* const kColumns[13] = {u"ACAO",  u"CODIGO", u"DADOS",  u"DT_H_GRAV", u"DT_H_PRI_P",
                                  u"DT_H_ULT_P", u"ERRO", u"HORA", u"ORDEM",    u"STATUS",
                                  u"TABELA", u"TIPO",  u"VERSAO"};

template <class Kind>
void AddField(TOracleDataSet& dataset, TComponent& owner, const Char* name, int size = 0) {
  auto* field = new Kind(&owner);
  field->SetName(dataset.Name() + name);
  field->SetFieldName(name);
  if (size > 0) field->SetSize(size);
  field->SetDataSet(&dataset);
}

}  // namespace

void ApplyStoredSettings(TOracleDataSet& dataset, TOracleSession& session, TComponent& owner) {
  ApplyStoredSetting(dataset, u"Session", [&] { dataset.SetSession(&session); });
  ApplyStoredSetting(dataset, u"Optimize", [&] { dataset.SetOptimize(false); });
  ApplyStoredSetting(dataset, u"SQL", [&] {
    dataset.SQL().Clear();
    for (const Char* line : kOracleDataSetSQL) dataset.SQL().Add(line);
  });
  ApplyStoredSetting(dataset, u"QBEDefinition", [&] {
    std::vector<TQBEField>& fields = dataset.QBEDefinition().Fields();
    fields.clear();
    for (const Char* column : kColumns) {
      TQBEField field;
      field.FieldName = column;
      fields.push_back(field);
    }
  });

  AddField<TStringField>(dataset, owner, u"ACAO", 1);
  AddField<TFloatField>(dataset, owner, u"CODIGO");
  AddField<TStringField>(dataset, owner, u"DADOS", 500);
  AddField<TDateTimeField>(dataset, owner, u"DT_H_GRAV");
  AddField<TDateTimeField>(dataset, owner, u"DT_H_PRI_P");
  AddField<TDateTimeField>(dataset, owner, u"DT_H_ULT_P");
  AddField<TStringField>(dataset, owner, u"ERRO", 255);
  AddField<TStringField>(dataset, owner, u"HORA", 8);
  AddField<TFloatField>(dataset, owner, u"ORDEM");
  AddField<TStringField>(dataset, owner, u"STATUS", 1);
  AddField<TStringField>(dataset, owner, u"TABELA");
  AddField<TStringField>(dataset, owner, u"TIPO", 50);
  AddField<TStringField>(dataset, owner, u"VERSAO", 10);
}

}  // namespace kavo
