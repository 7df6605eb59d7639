#include "service/date_time_text.h"
#include "service/integration_cycle.h"
#include "service/kavo_servico_integrador.h"

namespace kavo {

void TKavoServicoIntegrador::Integrar() {
  if (!OracleSession || !OracleDataSet || !IBDatabase || !FB_TMP_INTEGRACAO) {
    Logar(u" Iniciado integracao " + DT());
    return;
  }
  RunIntegrationCycle({*OracleSession, *OracleDataSet, *IBDatabase, *FB_TMP_INTEGRACAO},
                      {CaminhoOracle(), UsuarioOracle(), SenhaOracle(), CaminhoFirebird()},
                      [this](const String& texto) { Logar(texto); }, [] { return DT(); });
}

}  // namespace kavo
