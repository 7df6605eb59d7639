// KavoIntegradorOracle: installs, removes or runs the integration service.
#include <clocale>

#include "platform/application.h"
#include "platform/command_line.h"
#include "platform/service_control.h"
#include "rtl/code_page.h"
#include "service/kavo_servico_integrador.h"
#include "service/service_application.h"
#include "service/unhandled_error.h"

namespace {

// A control signal may come at any moment after systemd started the process;
// blocked before anything else runs (the libraries' initialisation included),
// it waits for the dispatcher instead of killing the process. Every thread
// inherits the mask.
void BlockControlSignalsAtStart(int, char**, char**) { kavo::BlockControlSignals(); }
[[gnu::section(".preinit_array"), gnu::used]] void (*const kBlockControlSignalsAtStart)(
    int, char**, char**) = BlockControlSignalsAtStart;

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  try {
    // An unknown KAVO_ANSI_CODEPAGE ends the program here, in every use.
    kavo::AnsiCodePage();
    kavo::SetCommandLine(argc, argv);
    kavo::TApplication application;
    kavo::TServiceApplication services;
    if (!services.DelayInitialize || services.Installing()) services.Initialize();
    // Installing is a command like any other: a signal may end it.
    if (services.Installing()) kavo::UnblockControlSignals();
    services.CreateForm(kavo::KavoServicoIntegrador);
    services.Run();
    kavo::KavoServicoIntegrador = nullptr;
    return 0;
  } catch (...) {
    kavo::KavoServicoIntegrador = nullptr;
    kavo::ShowUnhandledError();
    return 1;
  }
}
