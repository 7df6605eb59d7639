// Logging on and off in OCI 8 mode.
#include <cstring>

#include "oracle/oci_library.h"
#include "oracle/oracle_error.h"
#include "oracle/oracle_text.h"
#include "oracle/query.h"
#include "oracle/session.h"
#include "rtl/code_page.h"

namespace kavo {

namespace {

constexpr ub4 kBannerSize = 501;

// The release number after "RELEASE " in an upper-cased banner, or 0.
int BannerRelease(const String& banner) {
  size_t pos = banner.find(u"RELEASE ");
  if (pos == String::npos) return 0;
  int n = 0;
  bool digits = false;
  for (size_t i = pos + 8; i < banner.size() && banner[i] >= u'0' && banner[i] <= u'9'; ++i) {
    n = n * 10 + (banner[i] - u'0');
    digits = true;
    if (n > 100000) break;
  }
  return digits ? n : 0;
}

// Holds OCISection for a thread-safe session's logon or logoff.
class SectionGuard {
 public:
  explicit SectionGuard(bool take) : taken_(take) {
    if (taken_) OCISection().Enter();
  }
  ~SectionGuard() {
    if (taken_) OCISection().Leave();
  }
  SectionGuard(const SectionGuard&) = delete;
  SectionGuard& operator=(const SectionGuard&) = delete;

 private:
  bool taken_;
};

}  // namespace

void TOracleSession::DecodeUsername() {
  const String text = logon_username_;
  String up = UpperCase(text);
  for (Char& c : up)
    if (c == u'\t') c = u' ';
  bool quoted = false;
  size_t as_pos = String::npos;
  bool separator = false;
  for (size_t i = 0; i < up.size(); ++i) {
    if (up[i] == u'"') quoted = !quoted;
    if (quoted) continue;
    if (up[i] == u'/' || up[i] == u'@') separator = true;
    if (as_pos == String::npos && up.compare(i, 4, u" AS ") == 0) as_pos = i;
  }
  if (!separator && as_pos == String::npos && text != u"/") return;

  String connect_part;
  String before = text;
  if (as_pos != String::npos) {
    connect_part = Trim(text.substr(as_pos + 4));
    before = text.substr(0, as_pos);
  }
  before = Trim(before);
  String parts[3];
  int part = 0;
  quoted = false;
  for (Char c : before) {
    if (c == u'"') quoted = !quoted;
    if (!quoted && c == u'/' && part == 0) {
      part = 1;
      continue;
    }
    if (!quoted && c == u'@' && part < 2) {
      part = 2;
      continue;
    }
    parts[part] += c;
  }
  logon_username_ = parts[0];
  logon_password_ = parts[1];
  if (!parts[2].empty()) logon_database_ = parts[2];
  if (SameText(connect_part, u"SYSDBA"))
    connect_as_ = caSYSDBA;
  else if (SameText(connect_part, u"SYSOPER"))
    connect_as_ = caSYSOPER;
  else
    connect_as_ = caNormal;
}

// AL32UTF8 both ways where the client can be asked for it: a client set
// that cannot hold a character replaces it before the layer sees it, where
// nothing can tell.
sword TOracleSession::CreateEnvironment(OCIHandle* env, ub4 mode) {
  if (oci_.Has(OCIEntry::OCIEnvNlsCreate))
    return oci_.OCIEnvNlsCreate(env, mode, nullptr, nullptr, nullptr, nullptr, 0, nullptr,
                                ocsAL32UTF8, ocsAL32UTF8);
  return oci_.OCIEnvCreate(env, mode, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
}

void TOracleSession::Attach() {
  if (envhp_ == nullptr) {
    sword status;
    if (oci_.UseSingleEnvironment) {
      std::lock_guard<TOracleCriticalSection> lock(OCISection());
      status = OCI_SUCCESS;
      if (oci_.SingleEnv == nullptr)
        status = oci_.OCI81() ? CreateEnvironment(&oci_.SingleEnv, OCI_THREADED | OCI_OBJECT)
                              : oci_.OCIEnvInit(&oci_.SingleEnv, OCI_DEFAULT, 0, nullptr);
      envhp_ = oci_.SingleEnv;
    } else if (oci_.OCI81()) {
      status = CreateEnvironment(&envhp_, thread_safe_ ? OCI_THREADED | OCI_OBJECT : OCI_OBJECT);
    } else {
      status = oci_.OCIEnvInit(&envhp_, thread_safe_ ? OCI_DEFAULT : OCI_NO_MUTEX, 0, nullptr);
    }
    last_oci_error_ = status;
    if (envhp_ == nullptr)
      throw Exception(u"Could not create the OCI environment (status " + IntToStr(status) + u")");
    const std::pair<OCIHandle*, ub4> handles[] = {{&svchp_, OCI_HTYPE_SVCCTX},
                                                   {&srvhp_, OCI_HTYPE_SERVER},
                                                   {&errhp_, OCI_HTYPE_ERROR},
                                                   {&secerrhp_, OCI_HTYPE_ERROR},
                                                   {&authp_, OCI_HTYPE_SESSION}};
    for (const auto& [handle, type] : handles)
      CheckAllocation(oci_.OCIHandleAlloc(envhp_, handle, type, 0, nullptr), "OCIHandleAlloc");
  }
  if (server_attached_) {
    // A stale attachment goes before the new one: its failure is not this logon's.
    last_oci_error_ = ReleaseStatus(oci_.OCIServerDetach(srvhp_, secerrhp_, OCI_DEFAULT),
                                    last_oci_error_);
    server_attached_ = false;
  }
  std::string db = StringToAnsi(logon_database_);
  Check(oci_.OCIServerAttach(srvhp_, errhp_, reinterpret_cast<const OraText*>(db.c_str()),
                             static_cast<sb4>(db.size()), OCI_DEFAULT));
  server_attached_ = true;
  Check(oci_.OCIAttrSet(svchp_, OCI_HTYPE_SVCCTX, srvhp_, 0, OCI_ATTR_SERVER, errhp_));
  Check(oci_.OCIAttrSet(svchp_, OCI_HTYPE_SVCCTX, authp_, 0, OCI_ATTR_SESSION, errhp_));
}

ub4 TOracleSession::SetCredentials() {
  if (logon_username_.empty() && logon_password_.empty()) return OCI_CRED_EXT;
  std::string user = StringToAnsi(logon_username_);
  std::string password = StringToAnsi(logon_password_);
  Check(oci_.OCIAttrSet(authp_, OCI_HTYPE_SESSION, user.data(), static_cast<ub4>(user.size()),
                        OCI_ATTR_USERNAME, errhp_));
  Check(oci_.OCIAttrSet(authp_, OCI_HTYPE_SESSION, password.data(),
                        static_cast<ub4>(password.size()), OCI_ATTR_PASSWORD, errhp_));
  return OCI_CRED_RDBMS;
}

void TOracleSession::ReadBanner() {
  OraText buf[kBannerSize] = {0};
  CheckSideCall(oci_.OCIServerVersion(srvhp_, secerrhp_, buf, kBannerSize, OCI_HTYPE_SERVER));
  buf[kBannerSize - 1] = 0;
  banner_ = AnsiToString(reinterpret_cast<const char*>(buf));
  String up = UpperCase(banner_);
  bool oci8_banner = up.find(u"ORACLE8") != String::npos ||
                     up.find(u"ORACLE9") != String::npos ||
                     up.find(u"RELEASE 1") != String::npos;
  oracle10_ = BannerRelease(up) >= 10;
  // Without OCI 7 routines in the client every server is driven through
  // OCI 8; a client that has them would be switched to OCI 7 mode.
  if (!oci8_banner && oci_.OCI70()) {
    last_oci_error_ = ReleaseStatus(oci_.OCISessionEnd(svchp_, secerrhp_, authp_, OCI_DEFAULT),
                                    last_oci_error_);
    RaiseOCI7NotSupported("OCISvcCtxToLda");
  }
}

void TOracleSession::LogOn() {
  in_transaction_ = -1;
  ResetCharSizes();
  oracle10_ = false;
  if (pooling_ != spNone)
    throw Exception(u"Session pooling is not supported: set Pooling to spNone");
  if (BeforeLogOn) BeforeLogOn(this);
  {
    SectionGuard section(thread_safe_);
    try {
      oci_.InitOCI();
      LogOff();
      use_oci80_ = !(preferences_.UseOCI7() || !oci_.OCI80Detected() || oci_.ForceOCI7);
      DecodeUsername();
      if (!use_oci80_) RaiseOCI7NotSupported(oci_.OCI72() ? "olog" : "orlon");
      Attach();

      const ub4 credentials = SetCredentials();
      ub4 mode = OCI_DEFAULT;
      if (connect_as_ == caSYSDBA) mode |= OCI_SYSDBA;
      if (connect_as_ == caSYSOPER) mode |= OCI_SYSOPER;
      bool cached = statement_cache_ && oci_.OCI92();
      if (cached) mode |= OCI_STMT_CACHE;
      last_oci_error_ = oci_.OCISessionBegin(svchp_, errhp_, authp_, credentials, mode);

      // The pending record first: reading the banner reuses the error handle.
      int rc = ReturnCode();
      bool expiring = rc == 28002 || rc == 28011;
      String pending;
      if (expiring) pending = EOracleError(this, this, errhp_).Message();

      if (last_oci_error_ == OCI_SUCCESS || last_oci_error_ == OCI_SUCCESS_WITH_INFO) ReadBanner();

      expiration_message_ = pending;  // empty unless the password is expiring
      if (expiring)
        last_oci_error_ = OCI_SUCCESS;
      else if (rc != 0)
        RaiseError();
      if (cached) {
        ub4 size = static_cast<ub4>(statement_cache_size_);
        CheckSideCall(oci_.OCIAttrSet(svchp_, OCI_HTYPE_SVCCTX, &size, sizeof size,
                                      OCI_ATTR_STMTCACHESIZE, secerrhp_));
      }
      connected_ = true;
      std::vector<TOracleQuery*> queries;
      {
        std::lock_guard<std::recursive_mutex> lock(lists_mutex_);
        queries = queries_;
      }
      for (TOracleQuery* q : queries) q->SetDefaultVariableCharSets();
      ApplySessionSettings();
    } catch (...) {
      oci_.ResetOCIPath();
      throw;
    }
  }
  oci_.ResetOCIPath();
  if (!Loading()) {
    if (AfterLogOn) AfterLogOn(this);
    if (OnChange) OnChange(this);
  }
}

void TOracleSession::LogOff() {
  if (connected_) {
    if (rollback_on_disconnect_) {
      try {
        Rollback();
      } catch (const std::exception&) {
      }
    }
    std::vector<TOracleQuery*> queries;
    std::vector<TOracleSessionDataSet*> datasets;
    {
      std::lock_guard<std::recursive_mutex> lock(lists_mutex_);
      queries = queries_;
      datasets = datasets_;
    }
    for (TOracleQuery* q : queries) {
      try {
        q->Close();
      } catch (const std::exception&) {
      }
    }
    for (TOracleSessionDataSet* d : datasets) {
      if (d->SessionDetachable()) continue;
      try {
        d->SessionClose();
      } catch (const std::exception&) {
      }
    }
    connected_ = false;
    date_format_length_ = -1;
    ResetCharSizes();
    {
      SectionGuard section(thread_safe_);
      Check(oci_.OCISessionEnd(svchp_, errhp_, authp_, OCI_DEFAULT));
    }
    if (!Destroying() && OnChange) OnChange(this);
  }
  if (server_attached_) {
    server_attached_ = false;
    Check(oci_.OCIServerDetach(srvhp_, errhp_, OCI_DEFAULT));
  }
  if (envhp_ != nullptr) FreeHandles();
  std::vector<TOracleSessionDataSet*> datasets;
  {
    std::lock_guard<std::recursive_mutex> lock(lists_mutex_);
    datasets = datasets_;
  }
  for (TOracleSessionDataSet* d : datasets) {
    try {
      if (d->SessionDetachable()) d->SessionStateChanged();
    } catch (const std::exception&) {
    }
  }
}

}  // namespace kavo
