#include "testkit/service_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace kavo::test {
namespace {

std::vector<std::string> SplitLines(const std::string& text, const std::string& sep) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t p = text.find(sep); p != std::string::npos; p = text.find(sep, start)) {
    lines.push_back(text.substr(start, p - start));
    start = p + sep.size();
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

}  // namespace

int CountPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  int n = 0;
  for (const std::string& l : lines)
    if (l.rfind(prefix, 0) == 0) ++n;
  return n;
}

ServiceProcess::ServiceProcess(const std::string& folder)
    : dir_(std::string(KAVO_E2E_WORK) + "/run-"),
      base_(folder.empty() ? dir_.path() : dir_.File(folder)) {
  std::filesystem::create_directories(base_);
  exe_ = File("KavoIntegradorOracle");
  std::error_code ec;
  std::filesystem::create_hard_link(KAVO_EXE, exe_, ec);
  if (ec) std::filesystem::copy_file(KAVO_EXE, exe_);
}

ServiceProcess::~ServiceProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (socket_ >= 0) close(socket_);
}

void ServiceProcess::WriteFile(const std::string& name, const std::string& bytes) const {
  std::ofstream(File(name), std::ios::binary) << bytes;
}

std::string ServiceProcess::ReadFile(const std::string& name) const {
  std::ifstream in(File(name), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool ServiceProcess::Exists(const std::string& name) const {
  return std::filesystem::exists(File(name));
}

std::vector<std::string> ServiceProcess::LogLines() const { return SplitLines(Log(), "\r\n"); }
std::vector<std::string> ServiceProcess::Events() const {
  return SplitLines(ReadFile("events.txt"), "\n");
}

void ServiceProcess::Start(const std::vector<std::string>& args, bool notify) {
  // Entries given by the test come first: getenv takes the first match.
  std::vector<std::string> env = env_;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    // The test's own trace channel stays: the service never reports on the
    // machine's channel from a test.
    bool channel = entry.rfind("KAVO_SQLMONITOR_SUFFIX=", 0) == 0;
    if (entry.rfind("NOTIFY_SOCKET=", 0) == 0 || (entry.rfind("KAVO_", 0) == 0 && !channel))
      continue;
    env.push_back(entry);
  }
  env.push_back("KAVO_EVENT_LOG_FILE=" + File("events.txt"));
  env.push_back("KAVO_UNIT_DIR=" + File("units"));
  if (notify) {
    // Started again after it ended: a fresh socket on the same path.
    if (socket_ >= 0) {
      close(socket_);
      unlink(File("notify").c_str());
    }
    socket_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::string path = File("notify");
    if (path.size() >= sizeof addr.sun_path) throw std::runtime_error("socket path too long");
    std::strcpy(addr.sun_path, path.c_str());
    if (bind(socket_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
      throw std::runtime_error("bind");
    env.push_back("NOTIFY_SOCKET=" + path);
  }

  std::vector<char*> argv{exe_.data()};
  std::vector<std::string> args_copy = args;
  for (std::string& a : args_copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, File("stdout.txt").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, File("stderr.txt").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  int r = posix_spawn(&pid_, exe_.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (r != 0) throw std::runtime_error("posix_spawn");
}

int ServiceProcess::Run(const std::vector<std::string>& args, bool notify) {
  Start(args, notify);
  return Wait();
}

void ServiceProcess::Signal(int signal_number) const { kill(pid_, signal_number); }

int ServiceProcess::Wait(std::chrono::milliseconds timeout) {
  auto end = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      pid_ = -1;
      return -1000;
    }
    usleep(5000);
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

bool ServiceProcess::Receive(std::chrono::milliseconds timeout) {
  pollfd p{socket_, POLLIN, 0};
  if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
  char buf[4096];
  ssize_t n = recv(socket_, buf, sizeof buf, 0);
  if (n <= 0) return false;
  messages_.emplace_back(buf, static_cast<size_t>(n));
  return true;
}

bool ServiceProcess::WaitForStatus(const std::string& status, std::chrono::milliseconds timeout) {
  auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !Receive(left)) return false;
    if (messages_.back().rfind("STATUS=" + status, 0) == 0) return true;
  }
}

void ServiceProcess::Drain(std::chrono::milliseconds span) {
  auto end = std::chrono::steady_clock::now() + span;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    Receive(left);
  }
}

std::vector<std::string> ServiceProcess::Statuses() const {
  std::vector<std::string> out;
  for (const std::string& m : messages_) {
    if (m.rfind("STATUS=", 0) != 0) continue;
    std::string s = m.substr(7);
    out.push_back(s.substr(0, s.find(" accepts")));
  }
  return out;
}

}  // namespace kavo::test
