#include "service/date_time_text.h"
#include "service/exactly_once.h"
#include "service/integration_cycle.h"
#include "service/kavo_servico_integrador.h"

namespace kavo {

void TKavoServicoIntegrador::Integrar() {
  LogarFunction logar = [this](const String& texto) { Logar(texto); };
  DateTimeTextFunction dt = [] { return DT(); };
  EventFunction event = [this](const String& texto) { LogMessage(texto); };
  IntegrationSettings settings{CaminhoOracle(), UsuarioOracle(), SenhaOracle(), CaminhoFirebird()};
  // The delivery works on the module's own components; stand-ins put in
  // their place (tests) run the plain cycle.
  if (!EntregaUnica() || cycle_components_) {
    RunIntegrationCycle(CycleComponents(), settings, logar, dt, event);
    return;
  }
  TExactlyOnceDelivery delivery(*IBDatabase, *FB_TMP_INTEGRACAO, *OracleSession, *OracleDataSet,
                                logar, dt);
  RunIntegrationCycle(CycleComponents(), settings, logar, dt, event, &delivery);
}

}  // namespace kavo
