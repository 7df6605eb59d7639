// KavoIntegradorOracle: installs, removes or runs the integration service.
#include <clocale>
#include <cstdio>
#include <string>

#include "platform/application.h"
#include "platform/command_line.h"
#include "platform/service_control.h"
#include "rtl/code_page.h"
#include "service/kavo_servico_integrador.h"
#include "service/operator_commands.h"
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

kavo::OutputLine LinesTo(std::FILE* stream) {
  return [stream](const kavo::String& text) {
    std::string line = kavo::StringToAnsi(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
  };
}

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
    int exit_code = 0;
    if (services.Installing()) {
      services.Run();
    } else if (kavo::FindCmdLineSwitch(u"CHECK")) {
      // Reads only: a signal may end it at any point.
      kavo::UnblockControlSignals();
      exit_code = kavo::RunCheck(*kavo::KavoServicoIntegrador, LinesTo(stdout));
    } else if (kavo::FindCmdLineSwitch(u"ONCE")) {
      // The control signals stay blocked: a SIGTERM (a timer's stop, a cron
      // timeout) waits for the cycle's end instead of leaving a row copied
      // but unmarked.
      exit_code = kavo::RunOnce(*kavo::KavoServicoIntegrador, LinesTo(stdout), LinesTo(stderr));
    } else {
      services.Run();
    }
    kavo::KavoServicoIntegrador = nullptr;
    return exit_code;
  } catch (...) {
    kavo::KavoServicoIntegrador = nullptr;
    kavo::ShowUnhandledError();
    return 1;
  }
}
