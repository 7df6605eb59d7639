#include "platform/unit_installer.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "rtl/exceptions.h"
#include "rtl/os_text.h"

extern char** environ;

namespace kavo {
namespace {

constexpr const char* kDefaultUnitDirectory = "/etc/systemd/system";

// systemd expands specifiers and variables in ExecStart and splits it at
// blanks; a path must survive both.
std::string ExecStartPath(const std::string& path) {
  std::string escaped;
  bool quote = false;
  for (char c : path) {
    if (c == '%') escaped += "%%";
    else if (c == '$') escaped += "$$";
    else if (c == '"' || c == '\\') { escaped += '\\'; escaped += c; quote = true; }
    else { escaped += c; if (c == ' ' || c == '\t' || c == '\'') quote = true; }
  }
  return quote ? "\"" + escaped + "\"" : escaped;
}

void RequireValidName(StringView name) {
  if (name.empty() || name.find(u'/') != StringView::npos) RaiseLastOSError(EINVAL);
}

}  // namespace

String UnitDirectory() {
  const char* dir = std::getenv("KAVO_UNIT_DIR");
  return OsTextToString(dir ? dir : kDefaultUnitDirectory);
}

// systemd reads unit files as UTF-8; the path is the executable's own bytes.
std::string UnitFileText(const UnitDescription& unit) {
  std::string text = "[Unit]\nDescription=" + StringToUtf8(unit.description) + "\n";
  for (const String& d : unit.dependencies) {
    if (d.empty() || d[0] == u'+') continue;
    std::string dep = StringToUtf8(d) + ".service";
    text += "Requires=" + dep + "\nAfter=" + dep + "\n";
  }
  text += "\n[Service]\nType=notify\nExecStart=" + ExecStartPath(StringToOsText(unit.executable)) +
          "\nRestart=no\n";
  if (!unit.user.empty()) text += "User=" + StringToUtf8(unit.user) + "\n";
  if (unit.auto_start) text += "\n[Install]\nWantedBy=multi-user.target\n";
  return text;
}

UnitInstaller::UnitInstaller() : UnitInstaller(UnitDirectory()) {
  use_systemctl_ = std::getenv("KAVO_UNIT_DIR") == nullptr && access("/run/systemd/system", F_OK) == 0;
}

UnitInstaller::UnitInstaller(String directory) : directory_(std::move(directory)) {
  std::string dir = StringToOsText(directory_);
  struct stat st;
  if (stat(dir.c_str(), &st) != 0) RaiseLastOSError();
  if (!S_ISDIR(st.st_mode)) RaiseLastOSError(ENOTDIR);
  if (access(dir.c_str(), W_OK) != 0) RaiseLastOSError();
}

String UnitInstaller::UnitPath(StringView name) const {
  String path = directory_;
  if (path.empty() || path.back() != u'/') path += u'/';
  return path + String(name) + u".service";
}

void UnitInstaller::Systemctl(const std::vector<std::string>& arguments) const {
  if (!use_systemctl_) return;
  std::vector<char*> argv;
  std::string program = "systemctl";
  argv.push_back(program.data());
  std::vector<std::string> args = arguments;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, "systemctl", nullptr, nullptr, argv.data(), environ) != 0) return;
  int status;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

void UnitInstaller::Install(const UnitDescription& unit) {
  RequireValidName(unit.name);
  std::string path = StringToOsText(UnitPath(unit.name));
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) RaiseLastOSError();
  std::string text = UnitFileText(unit);
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int e = n < 0 ? errno : EIO;
      close(fd);
      unlink(path.c_str());
      RaiseLastOSError(e);
    }
    done += static_cast<size_t>(n);
  }
  if (close(fd) != 0) {
    int e = errno;
    unlink(path.c_str());
    RaiseLastOSError(e);
  }
  Systemctl({"daemon-reload"});
  if (unit.auto_start) Systemctl({"enable", StringToOsText(unit.name) + ".service"});
}

void UnitInstaller::Uninstall(StringView name) {
  RequireValidName(name);
  std::string path = StringToOsText(UnitPath(name));
  struct stat st;
  if (stat(path.c_str(), &st) != 0) RaiseLastOSError();
  Systemctl({"disable", StringToOsText(name) + ".service"});
  if (unlink(path.c_str()) != 0) RaiseLastOSError();
  Systemctl({"daemon-reload"});
}

}  // namespace kavo
