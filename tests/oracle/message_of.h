// The message of the Exception a call raises, or "(none)".
#ifndef KAVO_TESTS_ORACLE_MESSAGE_OF_H_
#define KAVO_TESTS_ORACLE_MESSAGE_OF_H_

#include "rtl/exceptions.h"

namespace kavo::testing {

template <class F>
String MessageOf(F&& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message();
  }
  return u"(none)";
}

}  // namespace kavo::testing

#endif  // KAVO_TESTS_ORACLE_MESSAGE_OF_H_
