// Runs a Windows program of the build with arguments and collects its
// standard output (Windows tests only).
#ifndef KAVO_TESTKIT_WIN32_RUN_PROGRAM_H_
#define KAVO_TESTKIT_WIN32_RUN_PROGRAM_H_

#include <windows.h>

#include <filesystem>
#include <string>

namespace kavo::test {

struct ProgramRun {
  DWORD exit_code = 0xFFFFFFFF;
  std::string out;  // standard output as written, CR LF and all
};

inline ProgramRun RunProgram(const std::filesystem::path& exe, const std::wstring& args) {
  ProgramRun run;
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE read_end, write_end;
  if (!CreatePipe(&read_end, &write_end, &sa, 0)) return run;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = write_end;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  std::wstring cmd = L"\"" + exe.wstring() + L"\" " + args;
  BOOL started =
      CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  CloseHandle(write_end);
  if (started) {
    char buf[4096];
    DWORD n;
    while (ReadFile(read_end, buf, sizeof buf, &n, nullptr) && n > 0) run.out.append(buf, n);
    WaitForSingleObject(pi.hProcess, 60000);
    GetExitCodeProcess(pi.hProcess, &run.exit_code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  CloseHandle(read_end);
  return run;
}

}  // namespace kavo::test

#endif  // KAVO_TESTKIT_WIN32_RUN_PROGRAM_H_
