// Installing and removing a service: as a systemd unit file on Linux
// (posix/), through the service control manager on Windows (win32/:
// OpenSCManager with full access, CreateService, DeleteService; failures raise
// EOSError with the system's code and text).
//
// Linux:
// The unit directory is $KAVO_UNIT_DIR when that variable is set, else
// /etc/systemd/system. Only for the default directory, and only when systemd
// runs (/run/systemd/system exists), are `systemctl daemon-reload`, `enable`
// and `disable` called as well; their own failures are left to their output.
// Failures of the unit directory or file raise EOSError with errno and its
// text: EEXIST for a unit that exists already, ENOENT for one that does not.
#ifndef KAVO_PLATFORM_UNIT_INSTALLER_H_
#define KAVO_PLATFORM_UNIT_INSTALLER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "rtl/ustring.h"

namespace kavo {

struct UnitDescription {
  String name;         // the unit is <name>.service
  String description;  // Description=
  String executable;   // ExecStart=, quoted for systemd when it must be
  bool auto_start = true;             // WantedBy=multi-user.target
  std::vector<String> dependencies;   // Requires= and After=; "+group" entries are skipped
  String user;                        // User=, when not empty
  // Registration values of the service control manager (the unit file has
  // no place for them): type, start type, error control, load-order group,
  // password (passed even when empty).
  uint32_t service_type = 0x10;
  uint32_t start_type = 2;
  uint32_t error_control = 1;
  String load_group;
  String password;
};

String UnitDirectory();

// The unit file's text.
std::string UnitFileText(const UnitDescription& unit);

// The open service manager database: on Linux the unit directory, checked
// for writing when opened; on Windows the service control manager's handle.
class UnitInstaller {
 public:
  // Raises EOSError when the database cannot be opened (Linux: the unit
  // directory is missing or cannot be written; Windows: no right to it).
  UnitInstaller();
  explicit UnitInstaller(String directory);
  ~UnitInstaller();
  UnitInstaller(const UnitInstaller&) = delete;
  UnitInstaller& operator=(const UnitInstaller&) = delete;

  const String& Directory() const { return directory_; }
  String UnitPath(StringView name) const;

  void Install(const UnitDescription& unit);
  void Uninstall(StringView name);

 private:
  void Systemctl(const std::vector<std::string>& arguments) const;

  // One backend uses each: Linux the directory and systemctl, Windows the
  // service control manager's handle.
  String directory_;
  [[maybe_unused]] bool use_systemctl_ = false;
  [[maybe_unused]] void* manager_ = nullptr;
};

}  // namespace kavo

#endif  // KAVO_PLATFORM_UNIT_INSTALLER_H_
