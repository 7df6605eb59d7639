#include "platform/unit_installer.h"

#include <windows.h>

#include "rtl/exceptions.h"

namespace kavo {

namespace {

constexpr DWORD kManagerAllAccess = 0xF003F;
constexpr DWORD kServiceAllAccess = 0xF01FF;

LPCWSTR W(const String& s) { return reinterpret_cast<LPCWSTR>(s.c_str()); }

// Each name followed by a zero, the whole ended by one more; a group keeps
// its "+".
String DependencyText(const std::vector<String>& names) {
  String text;
  for (const String& n : names) {
    text += n;
    text += u'\0';
  }
  if (!text.empty()) text += u'\0';
  return text;
}

// Closes a service handle on every way out, keeping the last error of the
// call that failed.
struct ServiceHandle {
  SC_HANDLE h;
  ~ServiceHandle() {
    if (h == nullptr) return;
    DWORD error = GetLastError();
    CloseServiceHandle(h);
    SetLastError(error);
  }
};

}  // namespace

// Unit files are Linux's; on Windows the database is the manager's.
UnitInstaller::UnitInstaller() : UnitInstaller(String()) {}

UnitInstaller::UnitInstaller(String directory) : directory_(std::move(directory)) {
  manager_ = OpenSCManagerW(nullptr, nullptr, kManagerAllAccess);
  if (manager_ == nullptr) RaiseLastOSError();
}

UnitInstaller::~UnitInstaller() { CloseServiceHandle(static_cast<SC_HANDLE>(manager_)); }

String UnitInstaller::UnitPath(StringView name) const { return String(name); }

void UnitInstaller::Install(const UnitDescription& unit) {
  String dependencies = DependencyText(unit.dependencies);
  // The path goes in as it is, blanks and all, without quotes.
  ServiceHandle service{CreateServiceW(
      static_cast<SC_HANDLE>(manager_), W(unit.name), W(unit.description), kServiceAllAccess,
      unit.service_type, unit.start_type, unit.error_control, W(unit.executable),
      W(unit.load_group), nullptr, dependencies.empty() ? nullptr : W(dependencies),
      unit.user.empty() ? nullptr : W(unit.user), W(unit.password))};
  if (service.h == nullptr) RaiseLastOSError();
}

void UnitInstaller::Uninstall(StringView name) {
  String n(name);
  ServiceHandle service{OpenServiceW(static_cast<SC_HANDLE>(manager_), W(n), kServiceAllAccess)};
  if (service.h == nullptr) RaiseLastOSError();
  if (!DeleteService(service.h)) RaiseLastOSError();
}

}  // namespace kavo
