// TKavoServicoIntegrador: the service module. It loads its configuration
// from the INI file beside the executable, writes the activity log there,
// and runs one integration cycle (Integrar) at every tick of its timer Tempo
// over the database components it owns.
#ifndef KAVO_SERVICE_KAVO_SERVICO_INTEGRADOR_H_
#define KAVO_SERVICE_KAVO_SERVICO_INTEGRADOR_H_

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

#include "ib/ib_database.h"
#include "ib/ib_dataset.h"
#include "ib/ib_transaction.h"
#include "oracle/oracle_dataset.h"
#include "oracle/session.h"
#include "platform/timer.h"
#include "service/integration_cycle.h"
#include "service/service.h"

namespace kavo {

class TKavoServicoIntegrador : public TService {
 public:
  static constexpr const Char* kIniFileName = u"KavoIntegradorOracle.ini";
  static constexpr const Char* kLogFileName = u"LogKavoIntegracao.txt";
  static constexpr const Char* kIniSection = u"KavoIntegracao";

  // Creates the module's components in their stored order with their stored
  // settings: the timer is armed with its stored period of 20 minutes at
  // once, and the Firebird client library is loaded (its absence ends the
  // creation with EReadError "Error reading IBDatabase.ServerType: ...").
  // Then each component acts on its stored open state: the connection's
  // attach to its design-time database, whose failure is discarded.
  explicit TKavoServicoIntegrador(TComponent* owner);
  ~TKavoServicoIntegrador() override;

  HandlerFunction GetServiceController() override;

  // The components, owned by the module, by their stored names; the
  // record sets' persistent fields are owned by the module too.
  TTimer* Tempo = nullptr;
  TIBDatabase* IBDatabase = nullptr;
  TIBTransaction* IBTransaction = nullptr;
  TIBDataSet* FB_TMP_INTEGRACAO = nullptr;
  TOracleSession* OracleSession = nullptr;
  TOracleDataSet* OracleDataSet = nullptr;

  // What Integrar runs the cycle over: the module's own components, or
  // stand-ins put in their place (tests).
  IntegrationComponents CycleComponents() const;
  void SetCycleComponents(const IntegrationComponents& components) {
    cycle_components_.emplace(components);
  }

  // Handlers.
  void ServiceStart(TService* sender, bool& started);
  void ServiceExecute(TService* sender);
  void ServiceStop(TService* sender, bool& stopped);
  void TempoTimer(TComponent* sender);

  void CarregaINI();
  void Logar(const String& texto);
  // The INI's connection values as CarregaINI would load them, without a
  // log line and without touching the fields.
  IntegrationSettings ReadIni() const;
  // Called with each line Logar has written (the foreground run shows them).
  void SetLogEcho(std::function<void(const String&)> echo) { log_echo_ = std::move(echo); }
  // One integration cycle.
  void Integrar();

  // The directory of the INI file and the log: the executable's, unless a
  // test moved it.
  const String& BaseDirectory() const { return base_directory_; }
  void SetBaseDirectory(String directory) { base_directory_ = std::move(directory); }
  String IniPath() const { return base_directory_ + kIniFileName; }
  String LogPath() const { return base_directory_ + kLogFileName; }

  // The configuration as the last CarregaINI read it.
  String CaminhoOracle() const { return Field(CAMINHO_ORACLE); }
  String UsuarioOracle() const { return Field(USUARIO_ORACLE); }
  String SenhaOracle() const { return Field(SENHA_ORACLE); }
  String CaminhoFirebird() const { return Field(CAMINHO_FIREBIRD); }
  // ENTREGA_UNICA: exactly-once delivery (service/exactly_once.h).
  bool EntregaUnica() const {
    std::lock_guard<std::mutex> lock(fields_mutex_);
    return ENTREGA_UNICA;
  }
  int32_t Minutos() const {
    std::lock_guard<std::mutex> lock(fields_mutex_);
    return MINUTOS;
  }

 private:
  String Field(const String& field) const {
    std::lock_guard<std::mutex> lock(fields_mutex_);
    return field;
  }

  template <class Kind>
  Kind* CreateStored(const Char* name);

  std::optional<IntegrationComponents> cycle_components_;
  std::function<void(const String&)> log_echo_;
  mutable std::mutex fields_mutex_;  // guards the configuration fields below
  String base_directory_;
  String CAMINHO_ORACLE;
  String USUARIO_ORACLE;
  String SENHA_ORACLE;
  String CAMINHO_FIREBIRD;
  int32_t MINUTOS = 0;           // milliseconds
  int32_t minutos_value_ = 0;    // the INI value, to judge the period
  bool ENTREGA_UNICA = false;
};

// The program's module reference, through which the control handler reaches
// the module.
extern TKavoServicoIntegrador* KavoServicoIntegrador;

// The control handler: Controller(code) of the module above.
void ServiceController(uint32_t code);

}  // namespace kavo

#endif  // KAVO_SERVICE_KAVO_SERVICO_INTEGRADOR_H_
