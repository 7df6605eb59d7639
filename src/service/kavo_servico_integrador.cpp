#include "service/kavo_servico_integrador.h"

#include "platform/executable_path.h"
#include "platform/ini_file.h"
#include "rtl/format.h"
#include "service/activity_log.h"
#include "service/date_time_text.h"
#include "service/exactly_once.h"
#include "service/stored_firebird_connection.h"
#include "service/stored_firebird_dataset.h"
#include "service/stored_oracle_dataset.h"
#include "service/stored_setting.h"
#include "service/timer_period.h"
#include "service/trace_flags_setting.h"

namespace kavo {

TKavoServicoIntegrador* KavoServicoIntegrador = nullptr;

void ServiceController(uint32_t code) {
  if (TKavoServicoIntegrador* module = KavoServicoIntegrador) module->Controller(code);
}

TKavoServicoIntegrador::TKavoServicoIntegrador(TComponent* owner)
    : TService(owner), base_directory_(ExecutableDirectory()) {
  SetName(u"KavoServicoIntegrador");
  DisplayName = u"KavoIntegradorOracle";
  SetInteractive(true);
  OnStart = [this](TService* s, bool& started) { ServiceStart(s, started); };
  OnExecute = [this](TService* s) { ServiceExecute(s); };
  SetOnStop([this](TService* s, bool& stopped) { ServiceStop(s, stopped); });

  BeginLoading();
  Tempo = new TTimer(this);
  Tempo->SetName(u"Tempo");
  Tempo->SetInterval(static_cast<uint32_t>(MinutosToMilliseconds(20, MinuteMilliseconds())));
  Tempo->SetOnTimer([this](TComponent* sender) { TempoTimer(sender); });

  IBDatabase = CreateStored<TIBDatabase>(u"IBDatabase");
  ApplyStoredSettings(*IBDatabase);
  IBTransaction = CreateStored<TIBTransaction>(u"IBTransaction");
  ApplyStoredSettings(*IBTransaction, *IBDatabase);
  FB_TMP_INTEGRACAO = CreateStored<TIBDataSet>(u"FB_TMP_INTEGRACAO");
  ApplyStoredSetting(*FB_TMP_INTEGRACAO, u"Database",
                     [this] { FB_TMP_INTEGRACAO->SetDatabase(IBDatabase); });
  ApplyStoredSetting(*FB_TMP_INTEGRACAO, u"Transaction",
                     [this] { FB_TMP_INTEGRACAO->SetTransaction(IBTransaction); });
  ApplyStoredSettings(*FB_TMP_INTEGRACAO, *this);
  OracleSession = CreateStored<TOracleSession>(u"OracleSession");
  ApplyStoredSetting(*OracleSession, u"Preferences.ConvertUTF",
                     [this] { OracleSession->Preferences().SetConvertUTF(cuUTF8ToUTF16); });
  OracleDataSet = CreateStored<TOracleDataSet>(u"OracleDataSet");
  ApplyStoredSettings(*OracleDataSet, *OracleSession, *this);
  // The cycle puts each row in edit before copying it: locking it there means
  // a row another session holds fails before its copy, not at the write of
  // its "X" after the copy was committed (which the next cycle would copy
  // again). The lock ends with the row's post and commit.
  OracleDataSet->SetLockingMode(lmLockImmediate);

  // A link to a component stored later is resolved once all exist.
  ApplyStoredSetting(*IBDatabase, u"DefaultTransaction",
                     [this] { IBDatabase->SetDefaultTransaction(IBTransaction); });
  DropUnreachableStoredAttach(*IBDatabase);
  ApplyTraceFlagsFromEnvironment(*IBDatabase);
  // Each component acts on its stored open state, in the stored order.
  EndLoading();
}

template <class Kind>
Kind* TKavoServicoIntegrador::CreateStored(const Char* name) {
  auto* component = new Kind(this);
  component->SetName(name);
  component->BeginLoading();
  return component;
}

IntegrationComponents TKavoServicoIntegrador::CycleComponents() const {
  if (cycle_components_) return *cycle_components_;
  return {*OracleSession, *OracleDataSet, *IBDatabase, *FB_TMP_INTEGRACAO};
}

TKavoServicoIntegrador::~TKavoServicoIntegrador() = default;

HandlerFunction TKavoServicoIntegrador::GetServiceController() { return &ServiceController; }

void TKavoServicoIntegrador::Logar(const String& texto) {
  AppendLogLine(LogPath(), texto);
  if (log_echo_) log_echo_(texto);
}

IntegrationSettings TKavoServicoIntegrador::ReadIni() const {
  IniFile ini(IniPath());
  ini.Load();
  return {ini.ReadString(kIniSection, u"ORACLE", u""), ini.ReadString(kIniSection, u"UU", u""),
          ini.ReadString(kIniSection, u"SS", u""), ini.ReadString(kIniSection, u"FIREBIRD", u"")};
}

void TKavoServicoIntegrador::CarregaINI() {
  String path = IniPath();
  Logar(u"Ini = " + path);
  IniFile ini(path);
  ini.Load();
  String oracle = ini.ReadString(kIniSection, u"ORACLE", u"");
  String uu = ini.ReadString(kIniSection, u"UU", u"");
  String ss = ini.ReadString(kIniSection, u"SS", u"");
  String firebird = ini.ReadString(kIniSection, u"FIREBIRD", u"");
  int32_t minutos = MinutosFromText(ini.ReadString(kIniSection, u"MINUTOS", u""));
  String entrega = ini.ReadString(kIniSection, u"ENTREGA_UNICA", u"");
  std::optional<bool> entrega_unica = EntregaUnicaFromText(entrega);
  // A value it cannot read keeps the delivery that copies no row twice.
  if (!entrega_unica)
    LogMessage(u"ENTREGA_UNICA = " + entrega +
               u" is neither on (1, S, SIM, TRUE) nor off (0, N, NAO, FALSE); exactly-once "
               u"delivery stays on");
  // The service thread and the main thread's ticks both load; neither may
  // see the other's half-written fields.
  std::lock_guard<std::mutex> lock(fields_mutex_);
  CAMINHO_ORACLE = std::move(oracle);
  USUARIO_ORACLE = std::move(uu);
  SENHA_ORACLE = std::move(ss);
  CAMINHO_FIREBIRD = std::move(firebird);
  minutos_value_ = minutos;
  MINUTOS = MinutosToMilliseconds(minutos_value_, MinuteMilliseconds());
  ENTREGA_UNICA = entrega_unica.value_or(true);
}

void TKavoServicoIntegrador::ServiceStart(TService*, bool&) {
  Logar(u" Iniciado " + DT());
  CarregaINI();
  int32_t minutos_value, period;
  {
    std::lock_guard<std::mutex> lock(fields_mutex_);
    minutos_value = minutos_value_;
    period = MINUTOS;
  }
  if (UsableTimerPeriod(minutos_value, MinuteMilliseconds())) {
    Tempo->SetInterval(static_cast<uint32_t>(period));
  } else {
    // A period the timer cannot keep: leave it unarmed, as for 0, and say why.
    LogMessage(Format(u"MINUTOS = %d gives no usable timer period; the timer is not armed",
                      {minutos_value}));
    Tempo->SetInterval(0);
  }
  Tempo->SetEnabled(true);
}

void TKavoServicoIntegrador::ServiceExecute(TService*) {
  CarregaINI();
  while (!Terminated()) ServiceThread()->ProcessRequests(true);
}

void TKavoServicoIntegrador::ServiceStop(TService*, bool&) { Tempo->SetEnabled(false); }

void TKavoServicoIntegrador::TempoTimer(TComponent*) {
  CarregaINI();
  Integrar();
}

}  // namespace kavo
