// TKavoServicoIntegrador: the service module. It loads its configuration
// from the INI file beside the executable, writes the activity log there,
// and runs one integration cycle (Integrar) at every tick of its timer Tempo.
#ifndef KAVO_SERVICE_KAVO_SERVICO_INTEGRADOR_H_
#define KAVO_SERVICE_KAVO_SERVICO_INTEGRADOR_H_

#include <cstdint>
#include <mutex>

#include "platform/timer.h"
#include "recordset/roles.h"
#include "service/service.h"

namespace kavo {

class TKavoServicoIntegrador : public TService {
 public:
  static constexpr const Char* kIniFileName = u"KavoIntegradorOracle.ini";
  static constexpr const Char* kLogFileName = u"LogKavoIntegracao.txt";
  static constexpr const Char* kIniSection = u"KavoIntegracao";

  // Creates the module's components with their stored settings: the timer is
  // armed with its stored period of 20 minutes at once.
  explicit TKavoServicoIntegrador(TComponent* owner);
  ~TKavoServicoIntegrador() override;

  HandlerFunction GetServiceController() override;

  TTimer* Tempo = nullptr;

  // The database components the cycle drives, by their component names. The
  // module does not create them yet: until the database layers provide them
  // (or a test attaches stand-ins), Integrar only marks the cycle's start.
  roles::OracleSession* OracleSession = nullptr;
  roles::OracleDataSet* OracleDataSet = nullptr;
  roles::IBDatabase* IBDatabase = nullptr;
  roles::FB_TMP_INTEGRACAO* FB_TMP_INTEGRACAO = nullptr;

  // Handlers.
  void ServiceStart(TService* sender, bool& started);
  void ServiceExecute(TService* sender);
  void ServiceStop(TService* sender, bool& stopped);
  void TempoTimer(TComponent* sender);

  void CarregaINI();
  void Logar(const String& texto);
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
  int32_t Minutos() const {
    std::lock_guard<std::mutex> lock(fields_mutex_);
    return MINUTOS;
  }

 private:
  String Field(const String& field) const {
    std::lock_guard<std::mutex> lock(fields_mutex_);
    return field;
  }

  mutable std::mutex fields_mutex_;  // guards the configuration fields below
  String base_directory_;
  String CAMINHO_ORACLE;
  String USUARIO_ORACLE;
  String SENHA_ORACLE;
  String CAMINHO_FIREBIRD;
  int32_t MINUTOS = 0;           // milliseconds
  int32_t minutos_value_ = 0;    // the INI value, to judge the period
};

// The program's module reference, through which the control handler reaches
// the module.
extern TKavoServicoIntegrador* KavoServicoIntegrador;

// The control handler: Controller(code) of the module above.
void ServiceController(uint32_t code);

}  // namespace kavo

#endif  // KAVO_SERVICE_KAVO_SERVICO_INTEGRADOR_H_
