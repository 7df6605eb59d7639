// Setting an environment variable of the test process on either system (the
// C runtime's change reaches the Windows environment the layers read too).
#ifndef KAVO_TESTKIT_ENV_H_
#define KAVO_TESTKIT_ENV_H_

#include <cstdlib>

namespace kavo::test {

inline void SetEnvVar(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value);
#else
  setenv(name, value, 1);
#endif
}

inline void UnsetEnvVar(const char* name) {
#ifdef _WIN32
  _putenv_s(name, "");
#else
  unsetenv(name);
#endif
}

}  // namespace kavo::test

#endif  // KAVO_TESTKIT_ENV_H_
