#include "stand_in_home.h"

#include <stdlib.h>

namespace kavo::bench {

void UseStandInHome(const char* oracle_home) {
  setenv("ORACLE_HOME", oracle_home, 1);
  setenv("KAVO_ORATAB", "/nonexistent/kavo-bench-oratab", 1);
  unsetenv("NLS_LANG");
}

}  // namespace kavo::bench
