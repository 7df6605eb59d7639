// Installing and removing a service as a systemd unit file.
//
// The unit directory is $KAVO_UNIT_DIR when that variable is set, else
// /etc/systemd/system. Only for the default directory, and only when systemd
// runs (/run/systemd/system exists), are `systemctl daemon-reload`, `enable`
// and `disable` called as well; their own failures are left to their output.
// Failures of the unit directory or file raise EOSError with errno and its
// text: EEXIST for a unit that exists already, ENOENT for one that does not.
#ifndef KAVO_PLATFORM_UNIT_INSTALLER_H_
#define KAVO_PLATFORM_UNIT_INSTALLER_H_

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
};

String UnitDirectory();

// The unit file's text.
std::string UnitFileText(const UnitDescription& unit);

// The open "service manager database": the unit directory, checked for
// writing when opened.
class UnitInstaller {
 public:
  // Raises EOSError when the unit directory is missing or cannot be written.
  UnitInstaller();
  explicit UnitInstaller(String directory);

  const String& Directory() const { return directory_; }
  String UnitPath(StringView name) const;

  void Install(const UnitDescription& unit);
  void Uninstall(StringView name);

 private:
  void Systemctl(const std::vector<std::string>& arguments) const;

  String directory_;
  bool use_systemctl_ = false;
};

}  // namespace kavo

#endif  // KAVO_PLATFORM_UNIT_INSTALLER_H_
