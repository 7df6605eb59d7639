// Runs the built executable in a directory of its own, the way the service
// manager would: a hard link (or copy) of the program, its INI file and log
// beside it, a notify socket to hear its status reports, and the test-only
// event file to read its error events.
#ifndef KAVO_TESTKIT_SERVICE_PROCESS_H_
#define KAVO_TESTKIT_SERVICE_PROCESS_H_

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "testkit/temp_dir.h"

namespace kavo::test {

class ServiceProcess {
 public:
  // The program goes into `folder` (any bytes but '/') of a fresh temporary
  // directory, or into that directory itself.
  explicit ServiceProcess(const std::string& folder = "");
  ~ServiceProcess();  // kills a process still running; then the directory goes

  // The program's directory; the files below are named relative to it.
  const std::string& Dir() const { return base_; }
  std::string File(const std::string& name) const { return base_ + "/" + name; }
  void WriteFile(const std::string& name, const std::string& bytes) const;
  std::string ReadFile(const std::string& name) const;
  bool Exists(const std::string& name) const;

  void SetIni(const std::string& body) const { WriteFile("KavoIntegradorOracle.ini", body); }
  std::string Log() const { return ReadFile("LogKavoIntegracao.txt"); }
  std::vector<std::string> LogLines() const;
  std::vector<std::string> Events() const;  // lines of the event file

  // Extra environment, "NAME=value".
  void AddEnv(const std::string& entry) { env_.push_back(entry); }
  // The entry "NAME=value" in place of an earlier one of that name.
  void SetEnv(const std::string& name, const std::string& value) {
    std::erase_if(env_, [&](const std::string& e) { return e.rfind(name + "=", 0) == 0; });
    env_.push_back(name + "=" + value);
  }
  // Starts the program; with `notify`, under NOTIFY_SOCKET.
  void Start(const std::vector<std::string>& args, bool notify);
  // Runs it to its end and returns the exit code (-signal when killed).
  int Run(const std::vector<std::string>& args, bool notify = false);
  void Signal(int signal_number) const;
  pid_t Pid() const { return pid_; }
  int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  std::string Stdout() const { return ReadFile("stdout.txt"); }
  std::string Stderr() const { return ReadFile("stderr.txt"); }

  // Receives notify messages until one whose STATUS= text begins with
  // `status` (for example "csRunning checkpoint=0"); false on timeout.
  bool WaitForStatus(const std::string& status,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Every STATUS= text so far, without the "STATUS=" and from " accepts" on.
  std::vector<std::string> Statuses() const;
  const std::vector<std::string>& Messages() const { return messages_; }
  // Takes the messages that arrive within `span`.
  void Drain(std::chrono::milliseconds span);

 private:
  bool Receive(std::chrono::milliseconds timeout);

  TempDir dir_;
  std::string base_;
  std::string exe_;
  std::vector<std::string> env_;
  int socket_ = -1;
  pid_t pid_ = -1;
  std::vector<std::string> messages_;
};

// Occurrences of lines that begin with `prefix`.
int CountPrefix(const std::vector<std::string>& lines, const std::string& prefix);

}  // namespace kavo::test

#endif  // KAVO_TESTKIT_SERVICE_PROCESS_H_
