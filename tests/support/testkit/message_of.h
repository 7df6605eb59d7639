// The message of the Exception a call raises, or "(none)".
#ifndef KAVO_TESTKIT_MESSAGE_OF_H_
#define KAVO_TESTKIT_MESSAGE_OF_H_

#include "rtl/exceptions.h"

namespace kavo::test {

template <class F>
String MessageOf(F&& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message();
  }
  return u"(none)";
}

}  // namespace kavo::test

#endif  // KAVO_TESTKIT_MESSAGE_OF_H_
