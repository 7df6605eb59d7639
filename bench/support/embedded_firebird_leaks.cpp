// What the embedded Firebird engine leaves behind at exit, kept out of
// LeakSanitizer's report: it loads ICU, which keeps its converters until the
// process ends, and loads and unloads plugins (with thread-local storage)
// while it runs, which leaves the dynamic loader's own lists behind. Compiled
// into each program that links kavo_bench_raw_firebird: the sanitizer looks
// these up in the program, so a library's copy would never be linked in.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libicuuc.so\nleak:libicui18n.so\nleak:libfbclient.so\nleak:libEngine12.so\n"
         "leak:_dl_map_object_deps\nleak:_dlerror_run\n";
}
extern "C" const char* __lsan_default_options() { return "use_tls=0"; }
