#include "ib/ib_sqlvar.h"

#include "ib/ib_errors.h"

namespace kavo {

short TSQLVAR::DerivedPrecision(short sqltype) {
  switch (sqltype & ~1) {
    case SQL_LONG: return 9;
    case SQL_SHORT: return 4;
    case SQL_INT64: return 18;
    default: return 0;
  }
}

void TSQLVAR_V1::SetSqlPrecision(short) { IBError(ibceNotSupported); }

}  // namespace kavo
