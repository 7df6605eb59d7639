// Oracle's external type codes as the layer names its buffer and variable
// types, and the server type codes a describe reports.
#ifndef KAVO_ORACLE_ORACLE_TYPES_H_
#define KAVO_ORACLE_ORACLE_TYPES_H_

namespace kavo {

// Variable and buffer types.
constexpr int otSubst = 1;
constexpr int otInteger = 3;
constexpr int otFloat = 4;
constexpr int otString = 5;
constexpr int otLong = 8;
constexpr int otPLSQLString = 10;
constexpr int otDate = 12;
constexpr int otLongRaw = 24;
constexpr int otChar = 97;
constexpr int otObject = 108;
constexpr int otReference = 110;
constexpr int otCLOB = 112;
constexpr int otBLOB = 113;
constexpr int otBFile = 114;
constexpr int otCursor = 116;
constexpr int otTimestamp = 187;
constexpr int otTimestampTZ = 188;
constexpr int otTimestampLTZ = 232;

// Server types.
constexpr int otVarchar2 = 1;
constexpr int otNumber = 2;
constexpr int otRowId = 11;
constexpr int otRaw = 23;
constexpr int otCharDB = 96;
constexpr int otBinaryFloat = 100;
constexpr int otBinaryDouble = 101;
constexpr int otRowidDesc = 104;
constexpr int otMLSLabel = 106;
constexpr int otIntervalYM = 189;
constexpr int otIntervalDS = 190;

inline bool IsTimestampType(int t) {
  return t == otTimestamp || t == otTimestampTZ || t == otTimestampLTZ;
}

// Object, REF, LOB, cursor and timestamp variables hold an object reference.
inline bool IsComplexType(int t) {
  return t == otObject || t == otReference || t == otCLOB || t == otBLOB || t == otBFile ||
         t == otCursor || t == otTimestamp || t == otTimestampTZ || t == otTimestampLTZ;
}

}  // namespace kavo

#endif  // KAVO_ORACLE_ORACLE_TYPES_H_
