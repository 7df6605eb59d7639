#include "testkit/ib_support.h"

#include <sys/stat.h>
#ifdef _WIN32
#include <winsock2.h>
#undef DispatchMessage  // windows.h's; the platform layer has its own
#else
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>

#include "platform/message_queue.h"
#include "rtl/code_page.h"
#include "rtl/datetime.h"
#include "rtl/format_settings.h"

namespace kavo::test {

const Char* const kStoredParams[3] = {u"user_name=VAVAVOR", u"password=kat4ro2",
                                      u"lc_ctype=ISO8859_1"};
const Char* const kStoredTransactionParams[3] = {u"read_committed", u"rec_version", u"nowait"};

const Char* const kCreateTmpIntegracao[] = {
    u"CREATE TABLE TMP_INTEGRACAO (\n"
    u"  NRECNO BIGINT,\n"
    u"  ACAO VARCHAR(3),\n"
    u"  DADOS VARCHAR(500),\n"
    u"  DATA DATE,\n"
    u"  HORA TIME,\n"
    u"  TIPO VARCHAR(50),\n"
    u"  VERSAO VARCHAR(10),\n"
    u"  STATUS VARCHAR(10),\n"
    u"  ERRO VARCHAR(200),\n"
    u"  STATUS_INTEGRACAO VARCHAR(10),\n"
    u"  ERRO_INTEGRACAO VARCHAR(200))",
    u"CREATE GENERATOR GEN_TMP_INTEGRACAO",
    u"CREATE TRIGGER TMP_INTEGRACAO_BI FOR TMP_INTEGRACAO BEFORE INSERT AS\n"
    u"BEGIN\n"
    u"  IF (NEW.NRECNO IS NULL) THEN NEW.NRECNO = GEN_ID(GEN_TMP_INTEGRACAO, 1);\n"
    u"END",
    nullptr};

const Char* const kInsertTmpIntegracao =
    u"insert into TMP_INTEGRACAO\r\n"
    u"  (ACAO, DADOS, DATA, ERRO, ERRO_INTEGRACAO, HORA, NRECNO, STATUS, STATUS_INTEGRACAO, \r\n"
    u"   TIPO, VERSAO)\r\n"
    u"values\r\n"
    u"  (:ACAO, :DADOS, :DATA, :ERRO, :ERRO_INTEGRACAO, :HORA, :NRECNO, :STATUS, \r\n"
    u"   :STATUS_INTEGRACAO, :TIPO, :VERSAO)";

namespace {

#ifdef _WIN32
// Under Wine the client is Linux's, behind the fbclient.dll bridge, which
// hands it FIREBIRD_LOCK and translates drive letters (Z: is the root).
// Windows has no server script to run: the server is expected up, as the
// test script leaves it.
struct Environment {
  Environment() {
    const char* lock = "Z:\\tmp\\kavo-ib-test-lock";
    std::error_code ec;
    std::filesystem::create_directories(lock, ec);
    if (getenv("FIREBIRD_LOCK") == nullptr) _putenv_s("FIREBIRD_LOCK", lock);
    SetAnsiCodePage("UTF-8");
  }
};
const Environment environment;

}  // namespace

DatabaseDir::DatabaseDir() : TempDir("Z:\\tmp\\kavo-ib-") {}

int RunServerScript(const std::string&) { return ServerListening() ? 0 : 1; }

bool ServerListening() {
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return false;
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(3050);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool up = s != INVALID_SOCKET && connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
  if (s != INVALID_SOCKET) closesocket(s);
  WSACleanup();
  return up;
}

bool EnsureServer() { return ServerListening(); }

std::string NameTheClientSees(const std::string& path) {
  if (path.size() < 2 || (path[0] != 'Z' && path[0] != 'z') || path[1] != ':') return path;
  std::string name = path.substr(2);
  for (char& c : name)
    if (c == '\\') c = '/';
  return name;
}
#else
// The embedded engine keeps its lock files in a directory of its own for the
// tests, so nothing the tests leave can get in the server's way.
struct Environment {
  Environment() {
    std::string lock = "/tmp/kavo-ib-test-lock";
    ::mkdir(lock.c_str(), 0777);
    ::chmod(lock.c_str(), 0777);
    ::setenv("FIREBIRD_LOCK", lock.c_str(), 0);
    SetAnsiCodePage("UTF-8");
  }
};
const Environment environment;

}  // namespace

DatabaseDir::DatabaseDir() : TempDir("/tmp/kavo-ib-") { ::chmod(path().c_str(), 0777); }

int RunServerScript(const std::string& command) {
  std::string script = std::string(KAVO_SOURCE_DIR) + "/scripts/firebird-server.sh " + command +
                       " >/dev/null 2>&1";
  int rc = std::system(script.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

bool ServerListening() { return RunServerScript("status") == 0; }

bool EnsureServer() { return RunServerScript("start") == 0 && ServerListening(); }

std::string NameTheClientSees(const std::string& path) { return path; }
#endif

void CreateTestDatabase(const std::string& path, bool with_tmp_integracao) {
  TIBDatabase db(nullptr);
  db.SetServerType(u"IBEmbedded");
  db.SetLoginPrompt(false);
  db.SetDatabaseName(Utf8ToString(path));
  db.Params().SetText(u"USER 'VAVAVOR' PASSWORD 'kat4ro2' DEFAULT CHARACTER SET ISO8859_1");
  db.CreateDatabase();
  if (with_tmp_integracao) {
    TIBTransaction tr(nullptr);
    tr.SetDefaultDatabase(&db);
    tr.StartTransaction();
    for (const Char* const* sql = kCreateTmpIntegracao; *sql != nullptr; ++sql) {
      TIBSQL q(nullptr);
      q.SetDatabase(&db);
      q.SetTransaction(&tr);
      q.SQL().SetText(*sql);
      q.SetParamCheck(false);
      q.ExecQuery();
      tr.CommitRetaining();
    }
    tr.Commit();
  }
  db.Close();
  ::chmod(path.c_str(), 0666);
}

Connection::Connection(const String& name)
    : db(std::make_unique<TIBDatabase>(nullptr)), tr(std::make_unique<TIBTransaction>(nullptr)) {
  db->SetDatabaseName(name);
  for (const Char* line : kStoredParams) db->Params().Add(line);
  db->SetLoginPrompt(false);
  db->SetDefaultTransaction(tr.get());
  db->SetServerType(u"IBServer");
  tr->SetDefaultDatabase(db.get());
  for (const Char* line : kStoredTransactionParams) tr->Params().Add(line);
}

Connection::~Connection() {
  tr.reset();
  db.reset();
}

String QueryValue(TIBDatabase& db, TIBTransaction& tr, const String& sql) {
  if (!tr.Active()) tr.StartTransaction();
  TIBSQL q(nullptr);
  q.SetDatabase(&db);
  q.SetTransaction(&tr);
  q.SQL().SetText(sql);
  q.ExecQuery();
  String value = q.Eof() ? String() : q.Fields(0).AsString();
  q.Close();
  return value;
}

void ExecuteCommitted(TIBDatabase& db, std::initializer_list<const Char*> sql) {
  TIBTransaction tr(nullptr);
  tr.SetDefaultDatabase(&db);
  tr.StartTransaction();
  for (const Char* text : sql) {
    TIBSQL q(nullptr);
    q.SetDatabase(&db);
    q.SetTransaction(&tr);
    q.SQL().SetText(text);
    q.SetParamCheck(false);
    q.ExecQuery();
  }
  tr.Commit();
}

void KillAttachment(Connection& killer, Connection& victim) {
  TIBTransaction own(nullptr);  // the victim's transactions stay as they are
  own.SetDefaultDatabase(victim.db.get());
  String id = QueryValue(*victim.db, own, u"select current_connection from RDB$DATABASE");
  own.Commit();
  ASSERT_FALSE(id.empty());
  TIBTransaction tr(nullptr);
  tr.SetDefaultDatabase(killer.db.get());
  tr.StartTransaction();
  TIBSQL q(nullptr);
  q.SetDatabase(killer.db.get());
  q.SetTransaction(&tr);
  q.SQL().SetText(u"delete from MON$ATTACHMENTS where MON$ATTACHMENT_ID = " + id);
  q.ExecQuery();
  ASSERT_EQ(q.RowsAffected(), 1);
  tr.Commit();
}

void ExpectKilledAttachmentClosesTheConnection(const String& name) {
  Connection admin(name);
  Connection victim(name);
  admin.db->Open();
  victim.db->Open();
  victim.tr->StartTransaction();
  TIBSQL q(nullptr);
  q.SetDatabase(victim.db.get());
  q.SQL().SetText(u"select ACAO from TMP_INTEGRACAO where ACAO = :A");
  int disconnects = 0;
  victim.db->AfterDisconnect = [&](TComponent*) { ++disconnects; };
  KillAttachment(admin, victim);
  try {
    q.ParamByName(u"A").SetAsString(u"x");
    q.ExecQuery();
    FAIL() << "executed on a killed attachment";
  } catch (const EIBInterBaseError& e) {
    EXPECT_EQ(e.IBErrorCode(), isc_att_shutdown) << StringToUtf8(e.Message());
  }
  EXPECT_FALSE(victim.db->Connected());
  EXPECT_EQ(disconnects, 1);
  EXPECT_FALSE(victim.tr->Active());
  EXPECT_FALSE(q.Prepared());

  victim.db->Open();
  victim.tr->StartTransaction();
  q.ParamByName(u"A").SetAsString(u"x");
  q.ExecQuery();
  EXPECT_TRUE(q.Eof());
  q.Close();
  // Committing and starting a transaction are calls like any other.
  KillAttachment(admin, victim);
  EXPECT_THROW(victim.tr->Commit(), EIBInterBaseError);
  EXPECT_FALSE(victim.db->Connected());
  EXPECT_EQ(disconnects, 2);
  EXPECT_FALSE(victim.tr->Active());
  victim.db->Open();
  KillAttachment(admin, victim);
  EXPECT_THROW(victim.tr->StartTransaction(), EIBInterBaseError);
  EXPECT_FALSE(victim.db->Connected());
  EXPECT_EQ(disconnects, 3);
  EXPECT_FALSE(victim.tr->Active());
}

std::vector<CommittedRow> ReadCommitted(const String& name, const String& sql) {
  Connection c(name);
  c.db->Open();
  c.tr->StartTransaction();
  std::vector<CommittedRow> rows;
  {
    TIBSQL q(nullptr);
    q.SetDatabase(c.db.get());
    q.SetTransaction(c.tr.get());
    q.SQL().SetText(sql);
    q.ExecQuery();
    TFormatSettings fs = FormatSettings();
    fs.DateSeparator = u'-';
    fs.TimeSeparator = u':';
    for (; !q.Eof(); q.Next()) {
      CommittedRow row;
      for (int i = 0; i < q.Current().Count(); ++i) {
        TIBXSQLVAR& v = q.Current()[i];
        std::optional<String> text;
        if (!v.IsNull()) {
          if (v.SQLType() == SQL_TYPE_DATE)
            text = FormatDateTime(u"yyyy/mm/dd", v.AsDateTime(), fs);
          else if (v.SQLType() == SQL_TYPE_TIME)
            text = FormatDateTime(u"hh:nn:ss.zzz", v.AsDateTime(), fs);
          else
            text = v.AsString();
        }
        row[v.Name()] = text;
      }
      rows.push_back(row);
    }
    q.Close();
  }
  c.tr->Commit();
  c.db->Close();
  return rows;
}

bool PumpMessagesUntil(const std::function<bool()>& done, int timeout_ms) {
  auto queue = MessageQueue::ForCurrentThread();
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    auto now = std::chrono::steady_clock::now();
    if (now >= until) return false;
    if (queue->Wait(std::chrono::duration_cast<std::chrono::milliseconds>(until - now))) {
      Message m;
      while (queue->Peek(m)) DispatchMessage(m);
    }
  }
  return true;
}

void EmbeddedDatabaseTest::SetUp() {
  path_ = dir_.File("kavo.fdb");
  CreateTestDatabase(path_);
  conn_ = std::make_unique<Connection>(Utf8ToString(path_));
}

void ServerDatabaseTest::SetUp() {
  ASSERT_TRUE(EnsureServer()) << "the Firebird server could not be started";
  path_ = dir_.File("server.fdb");
  CreateTestDatabase(path_);
}

int EmbeddedDatabaseTest::CommittedRows() {
  Connection other(Utf8ToString(path_));
  other.db->Open();
  String n = QueryValue(*other.db, *other.tr, u"select count(*) from TMP_INTEGRACAO");
  other.tr->Commit();
  other.db->Close();
  int32_t value = -1;
  TryStrToInt(n, value);
  return value;
}

}  // namespace kavo::test

// The embedded engine loads ICU, which keeps its converters until the
// process ends; they are not the layer's leaks. Nor is the C library's
// message of the last failed dlopen, held in thread-local storage, which the
// checker does not scan here (below).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libicuuc.so\nleak:libicui18n.so\nleak:_dlerror_run\n";
}

// Firebird unloads its plugins (all of which have thread-local storage) while
// the process runs; the leak checker then meets their stale dynamic TLS
// blocks at exit and crashes. TLS holds no heap roots of the layer.
extern "C" const char* __lsan_default_options() { return "use_tls=0"; }
