// The process's command line, kept once by main() so that any layer can look
// at its arguments and switches.
#ifndef KAVO_PLATFORM_COMMAND_LINE_H_
#define KAVO_PLATFORM_COMMAND_LINE_H_

#include <vector>

#include "rtl/ustring.h"

namespace kavo {

// Stores argv (as OS text: rtl/os_text.h). Call once from main().
void SetCommandLine(int argc, const char* const* argv);
void SetCommandLine(std::vector<String> args);  // args[0] is the program

// Number of arguments after the program, and argument `index` (0 is the
// program); an index out of range gives an empty text.
int ParamCount();
String ParamStr(int index);

// True when some argument after the program begins with '-' or '/' and the
// rest of it equals `name` without regard to case. "/install" and "-INSTALL"
// match INSTALL; "/install:x" and a bare "install" do not.
bool FindCmdLineSwitch(StringView name);
bool FindCmdLineSwitch(const std::vector<String>& args, StringView name);

}  // namespace kavo

#endif  // KAVO_PLATFORM_COMMAND_LINE_H_
