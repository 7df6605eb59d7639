// KavoIntegradorOracle: installs, removes or runs the integration service.
#include <clocale>

#include "platform/application.h"
#include "platform/command_line.h"
#include "platform/service_control.h"
#include "rtl/code_page.h"
#include "service/kavo_servico_integrador.h"
#include "service/service_application.h"
#include "service/unhandled_error.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  try {
    // An unknown KAVO_ANSI_CODEPAGE ends the program here, in every use.
    kavo::AnsiCodePage();
    kavo::SetCommandLine(argc, argv);
    kavo::TApplication application;
    kavo::TServiceApplication services;
    if (!services.DelayInitialize || services.Installing()) services.Initialize();
    // Threads started while the module is created (client libraries) inherit
    // the mask, so control signals reach only the dispatcher.
    if (!services.Installing()) kavo::BlockControlSignals();
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
