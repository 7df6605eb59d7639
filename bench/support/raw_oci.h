// OCI (the stand-in's oci.h) as the benchmarks' raw ways call it: the
// environment with its error handle, a logon, and a failed call's error as an
// exception. Only the programs with a way beneath the Oracle layer link this
// (and so the stand-in's client library).
#ifndef KAVO_BENCH_RAW_OCI_H_
#define KAVO_BENCH_RAW_OCI_H_

#include <string>

#include "oci.h"

namespace kavo::bench {

// Throws `what` with the error handle's first text unless `rc` is a success.
void Check(sword rc, OCIError* err, const std::string& what);

// An object-mode environment and its error handle, freed together.
struct OciEnv {
  OCIEnv* env = nullptr;
  OCIError* err = nullptr;
  OciEnv();
  ~OciEnv();
  OciEnv(const OciEnv&) = delete;
  OciEnv& operator=(const OciEnv&) = delete;
};

// A session on `store` in `env`, logged off at the end.
struct OciLogon {
  OciEnv& e;
  OCISvcCtx* svc = nullptr;
  OciLogon(OciEnv& env, const std::string& store, const std::string& user,
           const std::string& password);
  ~OciLogon();
  OciLogon(const OciLogon&) = delete;
  OciLogon& operator=(const OciLogon&) = delete;
};

}  // namespace kavo::bench

#endif  // KAVO_BENCH_RAW_OCI_H_
