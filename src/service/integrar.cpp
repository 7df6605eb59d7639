#include "service/date_time_text.h"
#include "service/kavo_servico_integrador.h"

namespace kavo {

// Until the database components exist, a cycle only marks its start.
void TKavoServicoIntegrador::Integrar() { Logar(u" Iniciado integracao " + DT()); }

}  // namespace kavo
