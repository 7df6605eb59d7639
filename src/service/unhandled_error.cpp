#include "service/unhandled_error.h"

#include <cstdio>
#include <exception>
#include <typeinfo>

#include "platform/executable_path.h"
#include "rtl/code_page.h"
#include "rtl/exceptions.h"
#include "rtl/format.h"

namespace kavo {

String UnhandledErrorText(StringView class_name, StringView module, StringView message) {
  String stop = (!message.empty() && message.back() == u'.') ? String() : String(u".");
  return Format(u"Exception %s in module %s at %s.\r\n%s%s\r\n",
                {String(class_name), String(module), IntToHex(0, 16), String(message), stop});
}

void ShowUnhandledError() {
  String class_name = u"Exception";
  String message;
  try {
    throw;
  } catch (const Exception& e) {
    class_name = e.ClassName();
    message = e.Message();
  } catch (const std::exception& e) {
    class_name = AsciiToString(typeid(e).name());
    message = Utf8ToString(e.what());
  } catch (...) {
    message = u"Unknown exception";
  }
  String full = UnhandledErrorText(class_name, ExecutableFileName(), message);
  std::string text;
  try {
    text = StringToAnsi(full);
  } catch (const EConvertError&) {
    text = StringToUtf8(full);  // the ANSI code page itself is what failed
  }
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace kavo
