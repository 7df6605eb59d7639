// Where the Oracle layer (and OCI called directly) finds the OCI stand-in
// while a benchmark runs.
#ifndef KAVO_BENCH_STAND_IN_HOME_H_
#define KAVO_BENCH_STAND_IN_HOME_H_

namespace kavo::bench {

// The stand-in loaded from `oracle_home`, with no oratab of the machine and
// no NLS_LANG: the numbers must not depend on how the machine is set up.
void UseStandInHome(const char* oracle_home);

}  // namespace kavo::bench

#endif  // KAVO_BENCH_STAND_IN_HOME_H_
