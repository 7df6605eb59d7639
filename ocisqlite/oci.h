/* The Oracle Call Interface as this library offers it: the C types, handle
 * kinds, constants and entry points a client uses. Values are OCI's published
 * ones, so a client written against this header also runs against a real
 * Oracle client library. */
#ifndef OCISQLITE_OCI_H
#define OCISQLITE_OCI_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned char ub1;
typedef signed char sb1;
typedef unsigned short ub2;
typedef signed short sb2;
typedef unsigned int ub4;
typedef signed int sb4;
typedef unsigned long long ub8;
typedef signed long long sb8;
typedef int sword;
typedef unsigned int uword;
typedef unsigned char OraText;
typedef OraText oratext;
typedef double OCIDouble;
typedef ub8 oraub8;

/* Opaque handles and descriptors. */
typedef struct OCIEnv OCIEnv;
typedef struct OCIError OCIError;
typedef struct OCISvcCtx OCISvcCtx;
typedef struct OCIStmt OCIStmt;
typedef struct OCIBind OCIBind;
typedef struct OCIDefine OCIDefine;
typedef struct OCIDescribe OCIDescribe;
typedef struct OCIServer OCIServer;
typedef struct OCISession OCISession;
typedef struct OCITrans OCITrans;
typedef struct OCIParam OCIParam;
typedef struct OCIRowid OCIRowid;
typedef struct OCILobLocator OCILobLocator;
typedef struct OCISnapshot OCISnapshot;
typedef struct OCIResult OCIResult;
typedef struct OCIType OCIType;
typedef struct OCIRef OCIRef;
typedef struct OCIString OCIString;
typedef struct OCIRaw OCIRaw;
typedef struct OCIColl OCIColl;
typedef OCIColl OCITable;
typedef struct OCIDateTime OCIDateTime;
typedef struct OCIInterval OCIInterval;
typedef struct OCISPool OCISPool;
typedef struct OCIAuthInfo OCIAuthInfo;
typedef struct OCIDirPathCtx OCIDirPathCtx;
typedef struct OCIDirPathColArray OCIDirPathColArray;
typedef struct OCIDirPathStream OCIDirPathStream;
typedef struct OCIExtProcContext OCIExtProcContext;
typedef struct OCIComplexObject OCIComplexObject;
typedef struct OCIDuration_ OCIDurationOpaque;
typedef struct { unsigned char OCINumberPart[22]; } OCINumber;
typedef struct { sb2 OCIDateYYYY; ub1 OCIDateMM; ub1 OCIDateDD;
                 struct { ub1 OCITimeHH, OCITimeMI, OCITimeSS; } OCIDateTime; } OCIDate;
typedef ub2 OCIDuration;
typedef ub1 OCITypeGetOpt;
typedef ub2 OCITypeCode;
typedef sb2 OCIInd;
typedef ub1 OCIObjectMarkStatus;
typedef ub2 OCIObjectLifetime;
typedef ub1 OCILockOpt;
typedef ub1 OCIPinOpt;
typedef ub2 OCIRefreshOpt;
typedef ub1 OCIObjectPropId;
typedef ub1 OCILobOffset;

typedef sb4 (*OCICallbackInBind)(void *ictxp, OCIBind *bindp, ub4 iter, ub4 index,
                                 void **bufpp, ub4 *alenp, ub1 *piecep, void **indp);
typedef sb4 (*OCICallbackOutBind)(void *octxp, OCIBind *bindp, ub4 iter, ub4 index,
                                  void **bufpp, ub4 **alenp, ub1 *piecep, void **indp,
                                  ub2 **rcodep);
typedef sb4 (*OCICallbackDefine)(void *octxp, OCIDefine *defnp, ub4 iter, void **bufpp,
                                 ub4 **alenp, ub1 *piecep, void **indp, ub2 **rcodep);

/* Return codes. */
#define OCI_SUCCESS 0
#define OCI_SUCCESS_WITH_INFO 1
#define OCI_NEED_DATA 99
#define OCI_NO_DATA 100
#define OCI_ERROR (-1)
#define OCI_INVALID_HANDLE (-2)
#define OCI_STILL_EXECUTING (-3123)
#define OCI_CONTINUE (-24200)

/* Modes. */
#define OCI_DEFAULT 0x00
#define OCI_THREADED 0x01
#define OCI_OBJECT 0x02
#define OCI_NO_MUTEX 0x08
#define OCI_DESCRIBE_ONLY 0x10
#define OCI_COMMIT_ON_SUCCESS 0x20
#define OCI_BATCH_ERRORS 0x80
#define OCI_SESSGET_SPOOL 0x0001
#define OCI_STMT_SCROLLABLE_READONLY 0x08
#define OCI_DATA_AT_EXEC 0x02
#define OCI_DYNAMIC_FETCH 0x02
#define OCI_NTV_SYNTAX 1
#define OCI_CRED_RDBMS 1
#define OCI_CRED_EXT 2
#define OCI_SYSDBA 0x02
#define OCI_SYSOPER 0x04
#define OCI_STMT_CACHE 0x40
#define OCI_FETCH_CURRENT 0x01
#define OCI_FETCH_NEXT 0x02
#define OCI_FETCH_FIRST 0x04
#define OCI_FETCH_LAST 0x08
#define OCI_FETCH_PRIOR 0x10
#define OCI_FETCH_ABSOLUTE 0x20
#define OCI_FETCH_RELATIVE 0x40

/* Handle and descriptor types. */
#define OCI_HTYPE_ENV 1
#define OCI_HTYPE_ERROR 2
#define OCI_HTYPE_SVCCTX 3
#define OCI_HTYPE_STMT 4
#define OCI_HTYPE_BIND 5
#define OCI_HTYPE_DEFINE 6
#define OCI_HTYPE_DESCRIBE 7
#define OCI_HTYPE_SERVER 8
#define OCI_HTYPE_SESSION 9
#define OCI_HTYPE_AUTHINFO OCI_HTYPE_SESSION
#define OCI_HTYPE_TRANS 10
#define OCI_HTYPE_SPOOL 27
#define OCI_DTYPE_LOB 50
#define OCI_DTYPE_SNAP 51
#define OCI_DTYPE_RSET 52
#define OCI_DTYPE_PARAM 53
#define OCI_DTYPE_ROWID 54
#define OCI_DTYPE_FILE 56
#define OCI_DTYPE_DATE 65
#define OCI_DTYPE_TIMESTAMP 68
#define OCI_DTYPE_TIMESTAMP_TZ 69
#define OCI_DTYPE_TIMESTAMP_LTZ 70

/* Attributes. */
#define OCI_ATTR_DATA_SIZE 1
#define OCI_ATTR_DATA_TYPE 2
#define OCI_ATTR_NAME 4
#define OCI_ATTR_PRECISION 5
#define OCI_ATTR_SCALE 6
#define OCI_ATTR_IS_NULL 7
#define OCI_ATTR_TYPE_NAME 8
#define OCI_ATTR_SCHEMA_NAME 9
#define OCI_ATTR_ROW_COUNT 9
#define OCI_ATTR_SQLFNCODE 10
#define OCI_ATTR_PREFETCH_ROWS 11
#define OCI_ATTR_PREFETCH_MEMORY 13
#define OCI_ATTR_ENV 5
#define OCI_ATTR_SERVER 6
#define OCI_ATTR_SESSION 7
#define OCI_ATTR_TRANS 8
#define OCI_ATTR_PARAM_COUNT 18
#define OCI_ATTR_ROWID 19
#define OCI_ATTR_USERNAME 22
#define OCI_ATTR_PASSWORD 23
#define OCI_ATTR_STMT_TYPE 24
#define OCI_ATTR_CHARSET_ID 31
#define OCI_ATTR_CHARSET_FORM 32
#define OCI_ATTR_MAXDATA_SIZE 33
#define OCI_ATTR_NUM_COLS 102
#define OCI_ATTR_PARSE_ERROR_OFFSET 129
#define OCI_ATTR_SERVER_STATUS 143
#define OCI_ATTR_CURRENT_POSITION 164
#define OCI_ATTR_STMTCACHESIZE 176
#define OCI_ATTR_ROWS_FETCHED 197
#define OCI_ATTR_STATEMENT 144
#define OCI_ATTR_CHAR_USED 285
#define OCI_ATTR_CHAR_SIZE 286
#define OCI_ATTR_STMT_IS_RETURNING 218
#define OCI_ATTR_ROWS_RETURNED 42
#define OCI_ATTR_NUM_DML_ERRORS 73
#define OCI_ATTR_DML_ROW_OFFSET 74
#define OCI_ATTR_ENV_CHARSET_ID OCI_ATTR_CHARSET_ID
#define OCI_ATTR_ENV_NCHARSET_ID 262
#define OCI_ATTR_CLIENT_IDENTIFIER 278
#define OCI_ATTR_MODULE 366
#define OCI_ATTR_ACTION 367
#define OCI_ATTR_CLIENT_INFO 368
#define OCI_ATTR_SERVICENAME 393
#define OCI_ATTR_DRIVER_NAME 424
#define OCI_ATTR_INTERNAL_NAME 25
#define OCI_ATTR_EXTERNAL_NAME 26
#define OCI_ATTR_TYPECODE 216
#define OCI_ATTR_FSPRECISION 16
#define OCI_ATTR_LFPRECISION 17

/* Character sets and forms. */
#define OCI_UTF16ID 1000
#define SQLCS_IMPLICIT 1
#define SQLCS_NCHAR 2

/* NLS items. */
#define OCI_NLS_CHARSET_MAXBYTESZ 91
#define OCI_NLS_CHARSET_FIXEDWIDTH 92
#define OCI_NLS_CHARSET_ID 93
#define OCI_NLS_NCHARSET_ID 94
#define OCI_NLS_MAXBUFSZ 100

/* OCINumber integers. */
#define OCI_NUMBER_UNSIGNED 0
#define OCI_NUMBER_SIGNED 2

/* Statement types. */
#define OCI_STMT_SELECT 1
#define OCI_STMT_UPDATE 2
#define OCI_STMT_DELETE 3
#define OCI_STMT_INSERT 4
#define OCI_STMT_CREATE 5
#define OCI_STMT_DROP 6
#define OCI_STMT_ALTER 7
#define OCI_STMT_BEGIN 8
#define OCI_STMT_DECLARE 9

/* External data types. */
#define SQLT_CHR 1
#define SQLT_NUM 2
#define SQLT_INT 3
#define SQLT_FLT 4
#define SQLT_STR 5
#define SQLT_VNU 6
#define SQLT_LNG 8
#define SQLT_VCS 9
#define SQLT_RID 11
#define SQLT_DAT 12
#define SQLT_BIN 23
#define SQLT_LBI 24
#define SQLT_UIN 68
#define SQLT_AFC 96
#define SQLT_AVC 97
#define SQLT_RDD 104
#define SQLT_BFLOAT 21
#define SQLT_BDOUBLE 22
#define SQLT_IBFLOAT 100
#define SQLT_IBDOUBLE 101
#define SQLT_ODT 156
#define SQLT_LVC 94
#define SQLT_LVB 95
#define SQLT_CLOB 112
#define SQLT_BLOB 113
#define SQLT_RSET 116
#define SQLT_DATE 184
#define SQLT_TIMESTAMP 187
#define SQLT_TIMESTAMP_TZ 188
#define SQLT_TIMESTAMP_LTZ 232

/* Pieces. */
#define OCI_ONE_PIECE 0
#define OCI_FIRST_PIECE 1
#define OCI_NEXT_PIECE 2
#define OCI_LAST_PIECE 3

#define OCI_SERVER_NOT_CONNECTED 0
#define OCI_SERVER_NORMAL 1

/* Environment, handles and descriptors. */
sword OCIInitialize(ub4 mode, void *ctxp, void *(*malocfp)(void *, size_t),
                    void *(*ralocfp)(void *, void *, size_t), void (*mfreefp)(void *, void *));
sword OCIEnvInit(OCIEnv **envp, ub4 mode, size_t xtramem_sz, void **usrmempp);
sword OCIEnvCreate(OCIEnv **envhpp, ub4 mode, void *ctxp, void *(*malocfp)(void *, size_t),
                   void *(*ralocfp)(void *, void *, size_t), void (*mfreefp)(void *, void *),
                   size_t xtramem_sz, void **usrmempp);
sword OCIEnvNlsCreate(OCIEnv **envhpp, ub4 mode, void *ctxp, void *(*malocfp)(void *, size_t),
                      void *(*ralocfp)(void *, void *, size_t), void (*mfreefp)(void *, void *),
                      size_t xtramem_sz, void **usrmempp, ub2 charset, ub2 ncharset);
sword OCIHandleAlloc(const void *parenth, void **hndlpp, ub4 type, size_t xtramem_sz,
                     void **usrmempp);
sword OCIHandleFree(void *hndlp, ub4 type);
sword OCIDescriptorAlloc(const void *parenth, void **descpp, ub4 type, size_t xtramem_sz,
                         void **usrmempp);
sword OCIDescriptorFree(void *descp, ub4 type);
sword OCIAttrGet(const void *trgthndlp, ub4 trghndltyp, void *attributep, ub4 *sizep,
                 ub4 attrtype, OCIError *errhp);
sword OCIAttrSet(void *trgthndlp, ub4 trghndltyp, void *attributep, ub4 size, ub4 attrtype,
                 OCIError *errhp);
sword OCIParamGet(const void *hndlp, ub4 htype, OCIError *errhp, void **parmdpp, ub4 pos);
sword OCIParamSet(void *hdlp, ub4 htyp, OCIError *errhp, const void *dscp, ub4 dtyp, ub4 pos);
sword OCIErrorGet(void *hndlp, ub4 recordno, OraText *sqlstate, sb4 *errcodep, OraText *bufp,
                  ub4 bufsiz, ub4 type);

/* Connection. */
sword OCIServerAttach(OCIServer *srvhp, OCIError *errhp, const OraText *dblink, sb4 dblink_len,
                      ub4 mode);
sword OCIServerDetach(OCIServer *srvhp, OCIError *errhp, ub4 mode);
sword OCISessionBegin(OCISvcCtx *svchp, OCIError *errhp, OCISession *usrhp, ub4 credt,
                      ub4 mode);
sword OCISessionEnd(OCISvcCtx *svchp, OCIError *errhp, OCISession *usrhp, ub4 mode);
sword OCILogon(OCIEnv *envhp, OCIError *errhp, OCISvcCtx **svchp, const OraText *username,
               ub4 uname_len, const OraText *password, ub4 passwd_len, const OraText *dbname,
               ub4 dbname_len);
sword OCILogoff(OCISvcCtx *svchp, OCIError *errhp);
sword OCIPasswordChange(OCISvcCtx *svchp, OCIError *errhp, const OraText *user_name,
                        ub4 usernm_len, const OraText *opasswd, ub4 opasswd_len,
                        const OraText *npasswd, ub4 npasswd_len, ub4 mode);
sword OCIServerVersion(void *hndlp, OCIError *errhp, OraText *bufp, ub4 bufsz, ub1 hndltype);
sword OCIBreak(void *hndlp, OCIError *errhp);
sword OCITransStart(OCISvcCtx *svchp, OCIError *errhp, uword timeout, ub4 flags);
sword OCITransDetach(OCISvcCtx *svchp, OCIError *errhp, ub4 flags);
sword OCITransCommit(OCISvcCtx *svchp, OCIError *errhp, ub4 flags);
sword OCITransRollback(OCISvcCtx *svchp, OCIError *errhp, ub4 flags);
sword OCITransPrepare(OCISvcCtx *svchp, OCIError *errhp, ub4 flags);
sword OCITransForget(OCISvcCtx *svchp, OCIError *errhp, ub4 flags);

/* Statements. */
sword OCIStmtPrepare(OCIStmt *stmtp, OCIError *errhp, const OraText *stmt, ub4 stmt_len,
                     ub4 language, ub4 mode);
sword OCIStmtPrepare2(OCISvcCtx *svchp, OCIStmt **stmtp, OCIError *errhp, const OraText *stmt,
                      ub4 stmt_len, const OraText *key, ub4 key_len, ub4 language, ub4 mode);
sword OCIStmtRelease(OCIStmt *stmtp, OCIError *errhp, const OraText *key, ub4 key_len,
                     ub4 mode);
sword OCIBindByName(OCIStmt *stmtp, OCIBind **bindp, OCIError *errhp, const OraText *placeholder,
                    sb4 placeh_len, void *valuep, sb4 value_sz, ub2 dty, void *indp,
                    ub2 *alenp, ub2 *rcodep, ub4 maxarr_len, ub4 *curelep, ub4 mode);
sword OCIBindByPos(OCIStmt *stmtp, OCIBind **bindp, OCIError *errhp, ub4 position,
                   void *valuep, sb4 value_sz, ub2 dty, void *indp, ub2 *alenp, ub2 *rcodep,
                   ub4 maxarr_len, ub4 *curelep, ub4 mode);
sword OCIBindDynamic(OCIBind *bindp, OCIError *errhp, void *ictxp, OCICallbackInBind icbfp,
                     void *octxp, OCICallbackOutBind ocbfp);
sword OCIBindArrayOfStruct(OCIBind *bindp, OCIError *errhp, ub4 pvskip, ub4 indskip,
                           ub4 alskip, ub4 rcskip);
sword OCIBindObject(OCIBind *bindp, OCIError *errhp, const OCIType *type, void **pgvpp,
                    ub4 *pvszsp, void **indpp, ub4 *indszp);
sword OCIDefineByPos(OCIStmt *stmtp, OCIDefine **defnp, OCIError *errhp, ub4 position,
                     void *valuep, sb4 value_sz, ub2 dty, void *indp, ub2 *rlenp, ub2 *rcodep,
                     ub4 mode);
sword OCIDefineDynamic(OCIDefine *defnp, OCIError *errhp, void *octxp,
                       OCICallbackDefine ocbfp);
sword OCIDefineArrayOfStruct(OCIDefine *defnp, OCIError *errhp, ub4 pvskip, ub4 indskip,
                             ub4 rlskip, ub4 rcskip);
sword OCIDefineObject(OCIDefine *defnp, OCIError *errhp, const OCIType *type, void **pgvpp,
                      ub4 *pvszsp, void **indpp, ub4 *indszp);
sword OCIStmtExecute(OCISvcCtx *svchp, OCIStmt *stmtp, OCIError *errhp, ub4 iters,
                     ub4 rowoff, const OCISnapshot *snap_in, OCISnapshot *snap_out, ub4 mode);
sword OCIStmtFetch(OCIStmt *stmtp, OCIError *errhp, ub4 nrows, ub2 orientation, ub4 mode);
sword OCIStmtFetch2(OCIStmt *stmtp, OCIError *errhp, ub4 nrows, ub2 orientation,
                    sb4 scrollOffset, ub4 mode);
sword OCIStmtGetPieceInfo(OCIStmt *stmtp, OCIError *errhp, void **hndlpp, ub4 *typep,
                          ub1 *in_outp, ub4 *iterp, ub4 *idxp, ub1 *piecep);
sword OCIStmtSetPieceInfo(void *hndlp, ub4 type, OCIError *errhp, const void *bufp,
                          ub4 *alenp, ub1 piece, const void *indp, ub2 *rcodep);
sword OCIStmtGetBindInfo(OCIStmt *stmtp, OCIError *errhp, ub4 size, ub4 startloc, sb4 *found,
                         OraText *bvnp[], ub1 bvnl[], OraText *invp[], ub1 inpl[],
                         ub1 dupl[], OCIBind **hndl);
sword OCIDescribeAny(OCISvcCtx *svchp, OCIError *errhp, void *objptr, ub4 objnm_len,
                     ub1 objptr_typ, ub1 info_level, ub1 objtyp, OCIDescribe *dschp);
sword OCIRowidToChar(OCIRowid *rowidDesc, OraText *outbfp, ub2 *outbflp, OCIError *errhp);
sword OCIResultSetToStmt(OCIResult *rsetdp, OCIError *errhp);

/* Client version, threads, NLS, server release. */
void OCIClientVersion(sword *major, sword *minor, sword *update, sword *patch, sword *port_update);
typedef struct OCIThreadKey OCIThreadKey;
typedef void (*OCIThreadKeyDestFunc)(void *);
void OCIThreadProcessInit(void);
sword OCIThreadKeyInit(void *hndl, OCIError *err, OCIThreadKey **key, OCIThreadKeyDestFunc destFn);
sword OCIThreadKeyDestroy(void *hndl, OCIError *err, OCIThreadKey **key);
sword OCIThreadKeyGet(void *hndl, OCIError *err, OCIThreadKey *key, void **pValue);
sword OCIThreadKeySet(void *hndl, OCIError *err, OCIThreadKey *key, void *value);
sword OCINlsCharSetIdToName(void *envhp, OraText *buf, size_t buflen, ub2 id);
ub2 OCINlsCharSetNameToId(void *envhp, const OraText *name);
sword OCINlsNumericInfoGet(void *envhp, OCIError *errhp, sb4 *val, ub2 item);
sword OCIServerRelease(void *hndlp, OCIError *errhp, OraText *bufp, ub4 bufsz, ub1 hndltype,
                       ub4 *version);
sword OCIPing(OCISvcCtx *svchp, OCIError *errhp, ub4 mode);
sword OCIArrayDescriptorAlloc(const void *parenth, void **descpp, const ub4 type, ub4 array_size,
                              const size_t xtramem_sz, void **usrmempp);
sword OCIArrayDescriptorFree(void **descp, const ub4 type);

/* OCINumber and OCIDateTime. */
sword OCINumberFromInt(OCIError *err, const void *inum, uword inum_length, uword inum_s_flag,
                       OCINumber *number);
sword OCINumberToInt(OCIError *err, const OCINumber *number, uword rsl_length, uword rsl_flag,
                     void *rsl);
sword OCINumberFromReal(OCIError *err, const void *rnum, uword rnum_length, OCINumber *number);
sword OCINumberToReal(OCIError *err, const OCINumber *number, uword rsl_length, void *rsl);
sword OCIDateTimeConstruct(void *hndl, OCIError *err, OCIDateTime *datetime, sb2 year, ub1 month,
                           ub1 day, ub1 hour, ub1 min, ub1 sec, ub4 fsec, OraText *timezone,
                           size_t timezone_length);
sword OCIDateTimeGetDate(void *hndl, OCIError *err, const OCIDateTime *datetime, sb2 *year,
                         ub1 *month, ub1 *day);
sword OCIDateTimeGetTime(void *hndl, OCIError *err, OCIDateTime *datetime, ub1 *hour, ub1 *min,
                         ub1 *sec, ub4 *fsec);
sword OCIDateTimeGetTimeZoneOffset(void *hndl, OCIError *err, const OCIDateTime *datetime,
                                   sb1 *hour, sb1 *min);

/* Session pools. */
sword OCISessionPoolCreate(OCIEnv *envhp, OCIError *errhp, OCISPool *spoolhp, OraText **poolName,
                           ub4 *poolNameLen, const OraText *connStr, ub4 connStrLen, ub4 sessMin,
                           ub4 sessMax, ub4 sessIncr, OraText *userid, ub4 useridLen,
                           OraText *password, ub4 passwordLen, ub4 mode);
sword OCISessionPoolDestroy(OCISPool *spoolhp, OCIError *errhp, ub4 mode);
sword OCISessionGet(OCIEnv *envhp, OCIError *errhp, OCISvcCtx **svchp, OCIAuthInfo *authhp,
                    OraText *poolName, ub4 poolName_len, const OraText *tagInfo, ub4 tagInfo_len,
                    OraText **retTagInfo, ub4 *retTagInfo_len, int *found, ub4 mode);
sword OCISessionRelease(OCISvcCtx *svchp, OCIError *errhp, OraText *tag, ub4 tag_len, ub4 mode);

/* LOB locators. */
typedef sb4 (*OCICallbackLobRead2)(void *ctxp, const void *bufp, oraub8 len, ub1 piece,
                                   void **changed_bufpp, oraub8 *changed_lenp);
typedef sb4 (*OCICallbackLobWrite2)(void *ctxp, void *bufp, oraub8 *lenp, ub1 *piece,
                                    void **changed_bufpp, oraub8 *changed_lenp);
sword OCILobCreateTemporary(OCISvcCtx *svchp, OCIError *errhp, OCILobLocator *locp, ub2 csid,
                            ub1 csfrm, ub1 lobtype, int cache, OCIDuration duration);
sword OCILobFreeTemporary(OCISvcCtx *svchp, OCIError *errhp, OCILobLocator *locp);
sword OCILobGetLength2(OCISvcCtx *svchp, OCIError *errhp, OCILobLocator *locp, oraub8 *lenp);
sword OCILobRead2(OCISvcCtx *svchp, OCIError *errhp, OCILobLocator *locp, oraub8 *byte_amtp,
                  oraub8 *char_amtp, oraub8 offset, void *bufp, oraub8 bufl, ub1 piece, void *ctxp,
                  OCICallbackLobRead2 cbfp, ub2 csid, ub1 csfrm);
sword OCILobWrite2(OCISvcCtx *svchp, OCIError *errhp, OCILobLocator *locp, oraub8 *byte_amtp,
                   oraub8 *char_amtp, oraub8 offset, void *bufp, oraub8 buflen, ub1 piece,
                   void *ctxp, OCICallbackLobWrite2 cbfp, ub2 csid, ub1 csfrm);
sword OCILobTrim2(OCISvcCtx *svchp, OCIError *errhp, OCILobLocator *locp, oraub8 newlen);

/* OCI 7 conversion (not supported by this library; present for loaders). */
sword OCISvcCtxToLda(OCISvcCtx *svchp, OCIError *errhp, void *ldap);
sword OCILdaToSvcCtx(OCISvcCtx **svchpp, OCIError *errhp, void *ldap);

#ifdef __cplusplus
}
#endif

#endif
