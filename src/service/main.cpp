// KavoIntegradorOracle: installs, removes or runs the integration service.
#include <clocale>

#include "platform/application.h"
#include "platform/command_line.h"
#include "service/kavo_servico_integrador.h"
#include "service/service_application.h"
#include "service/unhandled_error.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  kavo::SetCommandLine(argc, argv);
  try {
    kavo::TApplication application;
    kavo::TServiceApplication services;
    if (!services.DelayInitialize || services.Installing()) services.Initialize();
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
