// A record set's field as a filter value, and the name resolver that makes
// one for every name the filter language does not know itself.
#ifndef KAVO_ORACLE_FILTER_COLUMN_H_
#define KAVO_ORACLE_FILTER_COLUMN_H_

#include "oracle/filter_expression.h"
#include "oracle/filter_parser.h"
#include "recordset/dataset.h"

namespace kavo {

// The field `name` of `dataset`, read in the record the record set shows
// while it filters. Its type follows the field's kind: small, integer, word
// and large integer fields are Integer, boolean fields Boolean, float,
// currency and BCD fields Float, date, time and date-time fields Date, all
// others String. The field is looked up (FieldByName, with its record-set
// error) when the type or a value is first asked. The name NULL is a String
// that is always null.
class TColumnExpression : public TExpression {
 public:
  TColumnExpression(TDataSet& dataset, String name);

  TExprType GetExprType() override;
  bool GetIsNull() override;
  // Each reader of the field's own type goes through the field's accessor;
  // the others convert from it as every expression does.
  TDateTime GetAsDate() override;
  String GetAsString() override;
  double GetAsFloat() override;
  int32_t GetAsInteger() override;
  bool GetAsBoolean() override;

 private:
  TField& Field();

  TDataSet& dataset_;
  String name_;
  bool is_null_name_;
  TField* field_ = nullptr;
};

// The record set's resolver: a TColumnExpression for every name; any
// parameters are ignored.
TIdentifierFunction GetColumnExpr(TDataSet& dataset);

}  // namespace kavo

#endif  // KAVO_ORACLE_FILTER_COLUMN_H_
