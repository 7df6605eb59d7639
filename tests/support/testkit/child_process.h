// A child process run by a test, its standard output and error in files of
// a folder, with waits on what it printed and on its end.
#ifndef KAVO_TESTKIT_CHILD_PROCESS_H_
#define KAVO_TESTKIT_CHILD_PROCESS_H_

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace kavo::test {

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// How often `needle` occurs in `text`.
inline size_t Count(const std::string& text, const std::string& needle) {
  size_t n = 0;
  for (size_t pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + 1))
    ++n;
  return n;
}

// A child process whose standard output and error go to files.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const std::string& dir, uid_t uid = 0)
      : out_(dir + "/out." + std::to_string(++serial_)), err_(out_ + ".err") {
    pid_ = fork();
    if (pid_ == 0) {
      if (!freopen(out_.c_str(), "w", stdout) || !freopen(err_.c_str(), "w", stderr)) _exit(126);
      if (uid != 0 && (setgid(uid) != 0 || setuid(uid) != 0)) _exit(125);
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
  }
  ~Child() {
    if (status_ < 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  std::string Out() const { return ReadFile(out_); }
  std::string Err() const { return ReadFile(err_); }
  bool AwaitOut(const std::string& needle, size_t times = 1,
                std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
    auto until = std::chrono::steady_clock::now() + timeout;
    while (Count(Out(), needle) < times) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }
  bool AwaitErr(const std::string& needle) const {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Err().find(needle) == std::string::npos) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }
  void Signal(int sig) const { kill(pid_, sig); }
  pid_t Pid() const { return pid_; }
  // The exit code, or -1 when it has not ended within `timeout`.
  int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(15)) {
    auto until = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > until) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    status_ = status;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  static inline int serial_ = 0;
  std::string out_, err_;
  pid_t pid_;
  int status_ = -1;
};

}  // namespace kavo::test

#endif  // KAVO_TESTKIT_CHILD_PROCESS_H_
