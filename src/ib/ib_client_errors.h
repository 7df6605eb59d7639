// The errors the layer detects itself, and their message texts.
#ifndef KAVO_IB_IB_CLIENT_ERRORS_H_
#define KAVO_IB_IB_CLIENT_ERRORS_H_

#include "rtl/ustring.h"

namespace kavo {

// A member's position is the SQLCode of the EIBClientError raised for it.
enum TIBClientError {
  ibceUnknownError, ibceInterBaseMissing, ibceInterBaseInstallMissing, ibceIB60feature,
  ibceNotSupported, ibceNotPermitted, ibceFileAccessError, ibceConnectionTimeout,
  ibceCannotSetDatabase, ibceCannotSetTransaction, ibceOperationCancelled,
  ibceDPBConstantNotSupported, ibceDPBConstantUnknown, ibceTPBConstantNotSupported,
  ibceTPBConstantUnknown, ibceDatabaseClosed, ibceDatabaseOpen, ibceDatabaseNameMissing,
  ibceNotInTransaction, ibceInTransaction, ibceTimeoutNegative, ibceNoDatabasesInTransaction,
  ibceUpdateWrongDB, ibceUpdateWrongTR, ibceDatabaseNotAssigned, ibceTransactionNotAssigned,
  ibceXSQLDAIndexOutOfRange, ibceXSQLDANameDoesNotExist, ibceEOF, ibceBOF,
  ibceInvalidStatementHandle, ibceSQLOpen, ibceSQLClosed, ibceDatasetOpen, ibceDatasetClosed,
  ibceUnknownSQLDataType, ibceInvalidColumnIndex, ibceInvalidParamColumnIndex,
  ibceInvalidDataConversion, ibceColumnIsNotNullable, ibceBlobCannotBeRead,
  ibceBlobCannotBeWritten, ibceEmptyQuery, ibceCannotOpenNonSQLSelect, ibceNoFieldAccess,
  ibceFieldReadOnly, ibceFieldNotFound, ibceNotEditing, ibceCannotInsert, ibceCannotPost,
  ibceCannotUpdate, ibceCannotDelete, ibceCannotRefresh, ibceBufferNotSet,
  ibceCircularReference, ibceSQLParseError, ibceUserAbort, ibceDataSetUniDirectional,
  ibceCannotCreateSharedResource, ibceWindowsAPIError, ibceColumnListsDontMatch,
  ibceColumnTypesDontMatch, ibceCantEndSharedTransaction, ibceFieldUnsupportedType,
  ibceCircularDataLink, ibceEmptySQLStatement, ibceIsASelectStatement, ibceRequiredParamNotSet,
  ibceNoStoredProcName, ibceIsAExecuteProcedure, ibceUpdateFailed, ibceNotCachedUpdates,
  ibceNotLiveRequest, ibceNoProvider, ibceNoRecordsAffected, ibceNoTableName,
  ibceCannotCreatePrimaryIndex, ibceCannotDropSystemIndex, ibceTableNameMismatch,
  ibceIndexFieldMissing, ibceInvalidCancellation, ibceInvalidEvent, ibceMaximumEvents,
  ibceNoEventsRegistered, ibceInvalidQueueing, ibceInvalidRegistration, ibceInvalidBatchMove,
  ibceSQLDialectInvalid, ibceSPBConstantNotSupported, ibceSPBConstantUnknown,
  ibceServiceActive, ibceServiceInActive, ibceServerNameMissing, ibceQueryParamsError,
  ibceStartParamsError, ibceOutputParsingError, ibceUseSpecificProcedures,
  ibceSQLMonitorAlreadyPresent, ibceCantPrintValue, ibceEOFReached, ibceEOFInComment,
  ibceEOFInString, ibceParamNameExpected, ibceSuccess, ibceNativeException, ibceNoOptionsSet,
  ibceNoDestinationDirectory, ibceNosourceDirectory, ibceNoUninstallFile,
  ibceOptionNeedsClient, ibceOptionNeedsServer, ibceInvalidOption, ibceInvalidOnErrorResult,
  ibceInvalidOnStatusResult, ibceDPBConstantUnknownEx, ibceTPBConstantUnknownEx,
  ibceUnknownPlan, ibceFieldSizeMismatch, ibceEventAlreadyRegistered, ibceStringTooLarge,
  ibceIB65feature, ibceIB70Feature, ibceIBUnknownServerType, ibceInvalidLibraryType,
};

constexpr int kIBClientErrorCount = ibceInvalidLibraryType + 1;

// The member's message, with its %s/%d placeholders unfilled.
const String& IBErrorMessage(TIBClientError error);

}  // namespace kavo

#endif  // KAVO_IB_IB_CLIENT_ERRORS_H_
