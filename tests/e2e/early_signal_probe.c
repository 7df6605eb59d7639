/* Preloaded into the program by a test: raises the signal named by
   KAVO_TEST_EARLY_SIGNAL while the libraries are being initialised, before
   any of the program's own initialisation or main has run. */
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

__attribute__((constructor)) static void RaiseEarlySignal(void) {
  const char* number = getenv("KAVO_TEST_EARLY_SIGNAL");
  /* To the process, as the service manager sends it. */
  if (number && *number) kill(getpid(), atoi(number));
}
