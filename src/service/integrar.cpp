#include "service/date_time_text.h"
#include "service/integration_cycle.h"
#include "service/kavo_servico_integrador.h"

namespace kavo {

void TKavoServicoIntegrador::Integrar() {
  RunIntegrationCycle(CycleComponents(),
                      {CaminhoOracle(), UsuarioOracle(), SenhaOracle(), CaminhoFirebird()},
                      [this](const String& texto) { Logar(texto); }, [] { return DT(); },
                      [this](const String& texto) { LogMessage(texto); });
}

}  // namespace kavo
