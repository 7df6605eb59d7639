#include "raw_oci.h"

#include <stdexcept>

namespace kavo::bench {
namespace {

const OraText* Text(const std::string& s) { return reinterpret_cast<const OraText*>(s.c_str()); }

}  // namespace

void Check(sword rc, OCIError* err, const std::string& what) {
  if (rc == OCI_SUCCESS || rc == OCI_SUCCESS_WITH_INFO) return;
  char text[512] = "";
  sb4 code = 0;
  if (err != nullptr)
    OCIErrorGet(err, 1, nullptr, &code, reinterpret_cast<OraText*>(text), sizeof text,
                OCI_HTYPE_ERROR);
  throw std::runtime_error(what + ": " + text);
}

OciEnv::OciEnv() {
  OCIEnvNlsCreate(&env, OCI_OBJECT, nullptr, nullptr, nullptr, nullptr, 0, nullptr, 873, 873);  // UTF-8, as the layer asks
  OCIHandleAlloc(env, reinterpret_cast<void**>(&err), OCI_HTYPE_ERROR, 0, nullptr);
}

OciEnv::~OciEnv() { OCIHandleFree(env, OCI_HTYPE_ENV); }

OciLogon::OciLogon(OciEnv& env, const std::string& store, const std::string& user,
                   const std::string& password)
    : e(env) {
  Check(OCILogon(e.env, e.err, &svc, Text(user), static_cast<ub4>(user.size()), Text(password),
                 static_cast<ub4>(password.size()), Text(store), static_cast<ub4>(store.size())),
        e.err, "logon");
}

OciLogon::~OciLogon() { OCILogoff(svc, e.err); }

}  // namespace kavo::bench
