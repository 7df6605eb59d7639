#include "platform/unit_installer.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "rtl/exceptions.h"
#include "rtl/os_text.h"

extern char** environ;

namespace kavo {
namespace {

constexpr const char* kDefaultUnitDirectory = "/etc/systemd/system";

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(const std::string& bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    auto c = static_cast<unsigned char>(bytes[i]);
    size_t n = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : 9;
    if (n == 9 || i + n >= bytes.size()) return false;
    uint32_t cp = n == 0 ? c : c & (0x3F >> n);
    for (size_t k = 1; k <= n; ++k) {
      auto cc = static_cast<unsigned char>(bytes[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = cp << 6 | (cc & 0x3F);
    }
    static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n + 1;
  }
  return true;
}

// A value's bytes as a message can show them: controls, and bytes of a value
// that is no UTF-8, as \xNN.
std::string Shown(const std::string& bytes) {
  const bool utf8 = IsUtf8(bytes);
  std::string shown;
  for (unsigned char c : bytes) {
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && !utf8)) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      shown += hex;
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown;
}

[[noreturn]] void Refuse(const char* what, const std::string& value, const char* why) {
  throw Exception(OsTextToString(std::string("The ") + what + " \"" + Shown(value) +
                                 "\" cannot be written into a systemd unit: " + why + "."));
}

// What no unit line can carry: a line break would start a line of its own
// (any setting, injected), other controls and bytes that are no UTF-8
// systemd refuses.
void RequireUnitText(const char* what, const std::string& value) {
  for (unsigned char c : value)
    if (c < 0x20 || c == 0x7F)
      Refuse(what, value, "it holds a line break or another control character");
  if (!IsUtf8(value)) Refuse(what, value, "it is not valid UTF-8");
}

// Specifiers (%) are expanded in every value that takes them.
std::string EscapeSpecifiers(const std::string& value) {
  std::string escaped;
  for (char c : value) {
    if (c == '%') escaped += '%';
    escaped += c;
  }
  return escaped;
}

// ExecStart's program. systemd takes its path literally but for specifiers
// (a "$$" would stay "$$": variables are expanded in the arguments only), and
// refuses a program name with a quote or a backslash in it, whatever the
// escaping; blanks need the quotes.
std::string ExecStartPath(const std::string& path) {
  RequireUnitText("program path", path);
  if (path.find_first_of("\"'\\") != std::string::npos)
    Refuse("program path", path, "systemd takes no quote or backslash in a program's name");
  std::string escaped = EscapeSpecifiers(path);
  return path.find(' ') != std::string::npos ? "\"" + escaped + "\"" : escaped;
}

// A single word (user, unit name): no blanks either.
std::string UnitWord(const char* what, const std::string& value) {
  RequireUnitText(what, value);
  if (value.find(' ') != std::string::npos) Refuse(what, value, "it holds a blank");
  return EscapeSpecifiers(value);
}

// systemd-analyze verify on the written unit, when it is there. The first
// line it writes tells why it refused the unit; empty when it took it.
// Absent, it cannot tell: the unit stands.
std::string VerifyUnit(const std::string& path, bool& refused) {
  refused = false;
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
  std::string program = "systemd-analyze", verb = "verify", unit = path;
  char* argv[] = {program.data(), verb.data(), unit.data(), nullptr};
  pid_t pid;
  int rc = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::string said;
  if (rc == 0) {
    char buffer[4096];
    for (;;) {
      ssize_t n = read(out[0], buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      if (said.size() < 64 * 1024) said.append(buffer, static_cast<size_t>(n));
    }
  }
  close(out[0]);
  if (rc != 0) return {};
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  refused = !WIFEXITED(status) || WEXITSTATUS(status) != 0;
  if (!refused) return {};
  // The line that names the unit's own fault, else the first.
  size_t at = said.find(path);
  size_t start = at == std::string::npos ? 0 : said.rfind('\n', at);
  start = start == std::string::npos || at == std::string::npos ? 0 : start + 1;
  std::string line = said.substr(start, said.find('\n', start) - start);
  return line.empty() ? "systemd-analyze verify failed" : line;
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
// The locale and the Oracle client's character set are set for the service,
// as systemd starts it with neither; `systemctl edit` overrides them.
std::string UnitFileText(const UnitDescription& unit) {
  std::string description = StringToOsText(unit.description);
  RequireUnitText("description", description);
  std::string text = "[Unit]\nDescription=" + EscapeSpecifiers(description) + "\n";
  for (const String& d : unit.dependencies) {
    if (d.empty() || d[0] == u'+') continue;
    std::string dep = UnitWord("dependency", StringToOsText(d)) + ".service";
    text += "Requires=" + dep + "\nAfter=" + dep + "\n";
  }
  text += "\n[Service]\nType=notify\nExecStart=" + ExecStartPath(StringToOsText(unit.executable)) +
          "\nEnvironment=LANG=C.UTF-8\nEnvironment=NLS_LANG=AMERICAN_AMERICA.AL32UTF8"
          "\nRestart=no\n";
  if (!unit.user.empty()) text += "User=" + UnitWord("user", StringToOsText(unit.user)) + "\n";
  if (unit.auto_start) text += "\n[Install]\nWantedBy=multi-user.target\n";
  return text;
}

UnitInstaller::~UnitInstaller() = default;

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
  std::string text = UnitFileText(unit);  // refuses before anything is written
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) RaiseLastOSError();
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
  bool refused = false;
  std::string why = VerifyUnit(path, refused);
  if (refused) {
    unlink(path.c_str());
    throw Exception(OsTextToString("systemd would not use the unit, so it was removed again: " +
                                   Shown(why)));
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
