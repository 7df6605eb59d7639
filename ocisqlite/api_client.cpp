// What current OCI clients ask before and besides SQL: the client's version,
// OCI's thread keys and mutexes, character-set look-ups, the server's release
// as a number, ping, OCINumber and OCIDateTime.
#include <pthread.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

#include "api.h"
#include "charset.h"
#include "datetime.h"
#include "ora_number.h"

using namespace kavo::ocisqlite;

typedef struct OCIThreadMutex OCIThreadMutex;

// The client library's release. 11.2 is the oldest current drivers accept and
// asks nothing of the later generations' features.
OCI_API void OCIClientVersion(sword* major, sword* minor, sword* update, sword* patch, sword* port_update) {
  if (major) *major = 11;
  if (minor) *minor = 2;
  if (update) *update = 0;
  if (patch) *patch = 4;
  if (port_update) *port_update = 0;
}

// Thread keys and mutexes: POSIX ones behind OCI's opaque pointers.
OCI_API void OCIThreadProcessInit() {}
OCI_API sword OCIThreadInit(void*, OCIError*) { return OCI_SUCCESS; }
OCI_API sword OCIThreadTerm(void*, OCIError*) { return OCI_SUCCESS; }

OCI_API sword OCIThreadKeyInit(void*, OCIError* err, OCIThreadKey** key, OCIThreadKeyDestFunc destFn) {
  if (!key) return FailCode(err, 3001);
  auto* k = new pthread_key_t;
  if (pthread_key_create(k, destFn) != 0) {
    delete k;
    return FailCode(err, 600);
  }
  *key = reinterpret_cast<OCIThreadKey*>(k);
  return OCI_SUCCESS;
}

OCI_API sword OCIThreadKeyDestroy(void*, OCIError* err, OCIThreadKey** key) {
  if (!key || !*key) return FailCode(err, 3001);
  auto* k = reinterpret_cast<pthread_key_t*>(*key);
  pthread_key_delete(*k);
  delete k;
  *key = nullptr;
  return OCI_SUCCESS;
}

OCI_API sword OCIThreadKeyGet(void*, OCIError* err, OCIThreadKey* key, void** value) {
  if (!key || !value) return FailCode(err, 3001);
  *value = pthread_getspecific(*reinterpret_cast<pthread_key_t*>(key));
  return OCI_SUCCESS;
}

OCI_API sword OCIThreadKeySet(void*, OCIError* err, OCIThreadKey* key, void* value) {
  if (!key) return FailCode(err, 3001);
  return pthread_setspecific(*reinterpret_cast<pthread_key_t*>(key), value) == 0 ? OCI_SUCCESS : FailCode(err, 600);
}

OCI_API sword OCIThreadMutexInit(void*, OCIError* err, OCIThreadMutex** mutex) {
  if (!mutex) return FailCode(err, 3001);
  *mutex = reinterpret_cast<OCIThreadMutex*>(new std::recursive_mutex);
  return OCI_SUCCESS;
}

OCI_API sword OCIThreadMutexDestroy(void*, OCIError* err, OCIThreadMutex** mutex) {
  if (!mutex || !*mutex) return FailCode(err, 3001);
  delete reinterpret_cast<std::recursive_mutex*>(*mutex);
  *mutex = nullptr;
  return OCI_SUCCESS;
}

OCI_API sword OCIThreadMutexAcquire(void*, OCIError* err, OCIThreadMutex* mutex) {
  if (!mutex) return FailCode(err, 3001);
  reinterpret_cast<std::recursive_mutex*>(mutex)->lock();
  return OCI_SUCCESS;
}

OCI_API sword OCIThreadMutexRelease(void*, OCIError* err, OCIThreadMutex* mutex) {
  if (!mutex) return FailCode(err, 3001);
  reinterpret_cast<std::recursive_mutex*>(mutex)->unlock();
  return OCI_SUCCESS;
}

// Character sets by id and name: the ones this library converts.
OCI_API sword OCINlsCharSetIdToName(void* envhp, OraText* buf, size_t buflen, ub2 id) {
  if (!As<Env>(envhp, OCI_HTYPE_ENV)) return OCI_INVALID_HANDLE;
  const char* name = CharSetName(id);
  if (!name || !buf) return OCI_ERROR;
  if (std::strlen(name) + 1 > buflen) return OCI_ERROR;
  std::memcpy(buf, name, std::strlen(name) + 1);
  return OCI_SUCCESS;
}

OCI_API ub2 OCINlsCharSetNameToId(void* envhp, const OraText* name) {
  if (!As<Env>(envhp, OCI_HTYPE_ENV) || !name) return 0;
  return CharSetId(reinterpret_cast<const char*>(name));
}

OCI_API sword OCINlsNumericInfoGet(void* envhp, OCIError* errhp, sb4* val, ub2 item) {
  Env* env = As<Env>(envhp, OCI_HTYPE_ENV);
  if (!env || !Err(errhp)) return OCI_INVALID_HANDLE;
  if (!val) return FailCode(errhp, 3001);
  const ub2 cs = env->charset ? env->charset : kAL32UTF8;
  switch (item) {
    case OCI_NLS_CHARSET_MAXBYTESZ: *val = cs == kAL32UTF8 ? 4 : cs == kUTF8 ? 3 : static_cast<sb4>(UnitBytes(cs)); break;
    case OCI_NLS_CHARSET_FIXEDWIDTH: *val = IsUtf8Set(cs) ? 0 : static_cast<sb4>(UnitBytes(cs)); break;
    case OCI_NLS_CHARSET_ID: *val = cs; break;
    case OCI_NLS_NCHARSET_ID: *val = env->ncharset ? env->ncharset : cs; break;
    default: return FailCode(errhp, 3001);
  }
  return OCI_SUCCESS;
}

// The character set NLS_LANG names (its part after the dot), else US7ASCII;
// the national one from NLS_NCHAR, else the same.
OCI_API sword OCINlsEnvironmentVariableGet(void* val, size_t size, ub2 item, ub2, size_t* rsize) {
  if (!val || size < sizeof(ub2) || (item != OCI_NLS_CHARSET_ID && item != OCI_NLS_NCHARSET_ID)) return OCI_ERROR;
  ub2 id = DefaultClientCharSet();
  if (const char* nchar = std::getenv("NLS_NCHAR"); nchar && item == OCI_NLS_NCHARSET_ID) id = CharSetId(nchar);
  if (id == 0) return OCI_ERROR;
  std::memcpy(val, &id, sizeof id);
  if (rsize) *rsize = sizeof id;
  return OCI_SUCCESS;
}

namespace {

Server* ServerOf(void* hndlp, ub1 hndltype) {
  if (hndltype == OCI_HTYPE_SERVER) return As<Server>(hndlp, OCI_HTYPE_SERVER);
  if (hndltype != OCI_HTYPE_SVCCTX) return nullptr;
  SvcCtx* svc = As<SvcCtx>(hndlp, OCI_HTYPE_SVCCTX);
  return svc && IsHandle(svc->server, OCI_HTYPE_SERVER) ? svc->server : nullptr;
}

}  // namespace

// The banner as OCIServerVersion gives it, and the release as one number:
// major << 24 | minor << 20 | update << 12 | port release << 8 | port update.
OCI_API sword OCIServerRelease(void* hndlp, OCIError* errhp, OraText* bufp, ub4 bufsz, ub1 hndltype, ub4* version) {
  Server* s = ServerOf(hndlp, hndltype);
  if (!s || !Err(errhp)) return OCI_INVALID_HANDLE;
  if (!s->attached) return FailCode(errhp, 3114);
  std::string release;
  try {
    auto conn = Connection::Open(s->path);
    release = conn->Setting("release", "11.2.0.4.0");
  } catch (const OraError& err) {
    return Fail(errhp, err);
  }
  sword rc = OCIServerVersion(hndlp, errhp, bufp, bufsz, hndltype);
  if (rc != OCI_SUCCESS) return rc;
  unsigned part[5] = {};
  std::sscanf(release.c_str(), "%u.%u.%u.%u.%u", &part[0], &part[1], &part[2], &part[3], &part[4]);
  if (version)
    *version = (part[0] & 0xFF) << 24 | (part[1] & 0x0F) << 20 | (part[2] & 0xFF) << 12 | (part[3] & 0x0F) << 8 | (part[4] & 0xFF);
  return OCI_SUCCESS;
}

OCI_API sword OCIPing(OCISvcCtx* svchp, OCIError* errhp, ub4) {
  SvcCtx* svc = As<SvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  if (!svc || !Err(errhp)) return OCI_INVALID_HANDLE;
  if (!IsHandle(svc->session, OCI_HTYPE_SESSION) || !svc->session->conn || svc->session->conn->closed())
    return FailCode(errhp, 3114);
  return OCI_SUCCESS;
}

// OCINumber: Oracle's NUMBER bytes with their length in front.
namespace {

bool NumberText(const OCINumber* n, std::string* text) {
  return n && DecodeOraNumber(n->OCINumberPart + 1, n->OCINumberPart[0], text);
}

sword StoreNumber(OCIError* err, OCINumber* out, const std::string& text) {
  if (!out) return FailCode(err, 3001);
  try {
    size_t len = EncodeOraNumber(std::string_view(text), out->OCINumberPart + 1);
    if (len == 0) return FailCode(err, 1722);
    out->OCINumberPart[0] = static_cast<unsigned char>(len);
  } catch (const OraError& e) {
    return Fail(err, e);
  }
  return OCI_SUCCESS;
}

}  // namespace

OCI_API sword OCINumberFromInt(OCIError* err, const void* inum, uword inum_length, uword inum_s_flag, OCINumber* number) {
  if (!Err(err)) return OCI_INVALID_HANDLE;
  if (!inum) return FailCode(err, 3001);
  std::string text;
  const bool is_signed = inum_s_flag == OCI_NUMBER_SIGNED;
  switch (inum_length) {
    case 1: text = is_signed ? std::to_string(*static_cast<const int8_t*>(inum)) : std::to_string(*static_cast<const uint8_t*>(inum)); break;
    case 2: text = is_signed ? std::to_string(*static_cast<const int16_t*>(inum)) : std::to_string(*static_cast<const uint16_t*>(inum)); break;
    case 4: text = is_signed ? std::to_string(*static_cast<const int32_t*>(inum)) : std::to_string(*static_cast<const uint32_t*>(inum)); break;
    case 8: text = is_signed ? std::to_string(*static_cast<const int64_t*>(inum)) : std::to_string(*static_cast<const uint64_t*>(inum)); break;
    default: return FailCode(err, 3001);
  }
  return StoreNumber(err, number, text);
}

OCI_API sword OCINumberToInt(OCIError* err, const OCINumber* number, uword rsl_length, uword rsl_flag, void* rsl) {
  if (!Err(err)) return OCI_INVALID_HANDLE;
  std::string text;
  if (!rsl || !NumberText(number, &text)) return FailCode(err, 3001);
  // Rounded to a whole number, as Oracle converts; a value the integer cannot hold overflows.
  long double v = std::strtold(text.c_str(), nullptr);
  v = v < 0 ? -std::floor(-v + 0.5L) : std::floor(v + 0.5L);
  const bool is_signed = rsl_flag == OCI_NUMBER_SIGNED;
  if (rsl_length != 1 && rsl_length != 2 && rsl_length != 4 && rsl_length != 8) return FailCode(err, 3001);
  const int bits = static_cast<int>(rsl_length * 8);
  const long double lo = is_signed ? -std::ldexp(1.0L, bits - 1) : 0.0L;
  const long double hi = is_signed ? std::ldexp(1.0L, bits - 1) : std::ldexp(1.0L, bits);
  if (v < lo || v >= hi) return FailCode(err, 1455);
  if (is_signed) {
    const int64_t x = static_cast<int64_t>(v);
    std::memcpy(rsl, reinterpret_cast<const char*>(&x), rsl_length);  // little-endian: the low bytes first
  } else {
    const uint64_t x = static_cast<uint64_t>(v);
    std::memcpy(rsl, reinterpret_cast<const char*>(&x), rsl_length);
  }
  return OCI_SUCCESS;
}

OCI_API sword OCINumberFromReal(OCIError* err, const void* rnum, uword rnum_length, OCINumber* number) {
  if (!Err(err)) return OCI_INVALID_HANDLE;
  if (!rnum || !number) return FailCode(err, 3001);
  double v;
  if (rnum_length == sizeof(float)) v = *static_cast<const float*>(rnum);
  else if (rnum_length == sizeof(double)) v = *static_cast<const double*>(rnum);
  else return FailCode(err, 3001);
  try {
    size_t len = EncodeOraNumber(v, number->OCINumberPart + 1);
    number->OCINumberPart[0] = static_cast<unsigned char>(len);
  } catch (const OraError& e) {
    return Fail(err, e);
  }
  return OCI_SUCCESS;
}

OCI_API sword OCINumberToReal(OCIError* err, const OCINumber* number, uword rsl_length, void* rsl) {
  if (!Err(err)) return OCI_INVALID_HANDLE;
  std::string text;
  if (!rsl || !NumberText(number, &text)) return FailCode(err, 3001);
  const double v = std::strtod(text.c_str(), nullptr);
  if (rsl_length == sizeof(float)) *static_cast<float*>(rsl) = static_cast<float>(v);
  else if (rsl_length == sizeof(double)) *static_cast<double*>(rsl) = v;
  else return FailCode(err, 3001);
  return OCI_SUCCESS;
}

OCI_API sword OCINumberToText(OCIError* err, const OCINumber*, const OraText*, ub4, const OraText*, ub4, ub4*, OraText*) {
  return Unimplemented(err);
}

OCI_API sword OCINumberFromText(OCIError* err, const OraText*, ub4, const OraText*, ub4, const OraText*, ub4, OCINumber*) {
  return Unimplemented(err);
}

// OCIDateTime descriptors.
namespace {

DateTimeDesc* DateTime(const void* p) {
  auto* d = static_cast<DateTimeDesc*>(const_cast<void*>(p));
  if (!IsHandle(p, 0) || d->type < OCI_DTYPE_DATE || d->type > OCI_DTYPE_TIMESTAMP_LTZ) return nullptr;
  return d;
}

// "+hh:mm" or "-hh:mm"; false for anything else (region names are not known).
bool ParseOffset(const char* tz, size_t n, int* minutes) {
  std::string s(tz, n);
  int h = 0, m = 0;
  char sign = 0;
  if (std::sscanf(s.c_str(), " %c%d:%d", &sign, &h, &m) != 3 || (sign != '+' && sign != '-')) return false;
  if (h > 14 || m > 59) return false;
  *minutes = (sign == '-' ? -1 : 1) * (h * 60 + m);
  return true;
}

}  // namespace

OCI_API sword OCIDateTimeConstruct(void* hndl, OCIError* err, OCIDateTime* datetime, sb2 year, ub1 month, ub1 day,
                                   ub1 hour, ub1 min, ub1 sec, ub4 fsec, OraText* timezone, size_t timezone_length) {
  if (!IsHandle(hndl, 0) || !Err(err)) return OCI_INVALID_HANDLE;
  DateTimeDesc* d = DateTime(datetime);
  if (!d) return OCI_INVALID_HANDLE;
  DateParts parts{year, month, day, hour, min, sec};
  if (parts.year < 1 || parts.year > 9999) return FailCode(err, 1841);
  if (parts.month < 1 || parts.month > 12) return FailCode(err, 1843);
  if (parts.hour > 23) return FailCode(err, 1850);
  if (parts.minute > 59) return FailCode(err, 1851);
  if (parts.second > 59) return FailCode(err, 1852);
  if (!ValidDate(parts)) return FailCode(err, 1847);
  if (fsec > 999999999) return FailCode(err, 1880);
  int tz = 0;
  if (timezone && timezone_length > 0) {
    if (!ParseOffset(reinterpret_cast<const char*>(timezone), timezone_length, &tz)) return FailCode(err, 1882);
  } else {
    tz = LocalOffsetMinutes(parts);  // the session's time zone
  }
  d->d = parts;
  d->fsec = d->type == OCI_DTYPE_DATE ? 0 : fsec;
  d->tz_minutes = tz;
  d->set = true;
  return OCI_SUCCESS;
}

OCI_API sword OCIDateTimeGetDate(void* hndl, OCIError* err, const OCIDateTime* datetime, sb2* year, ub1* month, ub1* day) {
  if (!IsHandle(hndl, 0) || !Err(err)) return OCI_INVALID_HANDLE;
  DateTimeDesc* d = DateTime(datetime);
  if (!d) return OCI_INVALID_HANDLE;
  if (!d->set) return FailCode(err, 1878);
  if (year) *year = static_cast<sb2>(d->d.year);
  if (month) *month = static_cast<ub1>(d->d.month);
  if (day) *day = static_cast<ub1>(d->d.day);
  return OCI_SUCCESS;
}

OCI_API sword OCIDateTimeGetTime(void* hndl, OCIError* err, OCIDateTime* datetime, ub1* hour, ub1* min, ub1* sec, ub4* fsec) {
  if (!IsHandle(hndl, 0) || !Err(err)) return OCI_INVALID_HANDLE;
  DateTimeDesc* d = DateTime(datetime);
  if (!d) return OCI_INVALID_HANDLE;
  if (!d->set) return FailCode(err, 1878);
  if (hour) *hour = static_cast<ub1>(d->d.hour);
  if (min) *min = static_cast<ub1>(d->d.minute);
  if (sec) *sec = static_cast<ub1>(d->d.second);
  if (fsec) *fsec = d->fsec;
  return OCI_SUCCESS;
}

OCI_API sword OCIDateTimeGetTimeZoneOffset(void* hndl, OCIError* err, const OCIDateTime* datetime, sb1* hour, sb1* min) {
  if (!IsHandle(hndl, 0) || !Err(err)) return OCI_INVALID_HANDLE;
  DateTimeDesc* d = DateTime(datetime);
  if (!d) return OCI_INVALID_HANDLE;
  if (d->type == OCI_DTYPE_TIMESTAMP || d->type == OCI_DTYPE_DATE) return FailCode(err, 1891);
  if (!d->set) return FailCode(err, 1878);
  if (hour) *hour = static_cast<sb1>(d->tz_minutes / 60);
  if (min) *min = static_cast<sb1>(d->tz_minutes % 60);
  return OCI_SUCCESS;
}

OCI_API sword OCIDateTimeAssign(void* hndl, OCIError* err, const OCIDateTime* from, OCIDateTime* to) {
  if (!IsHandle(hndl, 0) || !Err(err)) return OCI_INVALID_HANDLE;
  DateTimeDesc* a = DateTime(from);
  DateTimeDesc* b = DateTime(to);
  if (!a || !b) return OCI_INVALID_HANDLE;
  b->d = a->d;
  b->fsec = b->type == OCI_DTYPE_DATE ? 0 : a->fsec;
  b->tz_minutes = a->tz_minutes;
  b->set = a->set;
  return OCI_SUCCESS;
}

OCI_API sword OCIDateTimeToText(void*, OCIError* err, const OCIDateTime*, const OraText*, ub1, ub1, const OraText*, size_t, ub4*, OraText*) {
  return Unimplemented(err);
}

OCI_API sword OCIDateTimeFromText(void*, OCIError* err, const OraText*, size_t, const OraText*, ub1, const OraText*, size_t, OCIDateTime*) {
  return Unimplemented(err);
}

// Values a client keeps with a session (ODPI-C: its pool bookkeeping).
OCI_API sword OCIContextSetValue(void* hdl, OCIError* err, OCIDuration, ub1* key, ub1 keylen, void* ctx_value) {
  Session* s = As<Session>(hdl, OCI_HTYPE_SESSION);
  if (!s || !Err(err)) return OCI_INVALID_HANDLE;
  if (!key) return FailCode(err, 3001);
  s->context[std::string(reinterpret_cast<const char*>(key), keylen)] = ctx_value;
  return OCI_SUCCESS;
}

OCI_API sword OCIContextGetValue(void* hdl, OCIError* err, ub1* key, ub1 keylen, void** ctx_value) {
  Session* s = As<Session>(hdl, OCI_HTYPE_SESSION);
  if (!s || !Err(err)) return OCI_INVALID_HANDLE;
  if (!key || !ctx_value) return FailCode(err, 3001);
  auto it = s->context.find(std::string(reinterpret_cast<const char*>(key), keylen));
  *ctx_value = it == s->context.end() ? nullptr : it->second;
  return OCI_SUCCESS;
}

OCI_API sword OCIMemoryAlloc(void* hdl, OCIError* err, void** mem, OCIDuration, ub4 size, ub4) {
  if (!IsHandle(hdl, 0) || !Err(err)) return OCI_INVALID_HANDLE;
  if (!mem) return FailCode(err, 3001);
  *mem = std::calloc(1, size ? size : 1);  // always cleared
  return *mem ? OCI_SUCCESS : FailCode(err, 4030);
}

OCI_API sword OCIMemoryFree(void* hdl, OCIError* err, void* mem) {
  if (!IsHandle(hdl, 0) || !Err(err)) return OCI_INVALID_HANDLE;
  std::free(mem);
  return OCI_SUCCESS;
}
