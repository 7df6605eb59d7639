// A parameter list whose owner is asked before every change and told after
// it: a connection refuses changes while attached, a transaction while active.
#ifndef KAVO_IB_IB_PARAM_LIST_H_
#define KAVO_IB_IB_PARAM_LIST_H_

#include <functional>

#include "rtl/string_list.h"

namespace kavo {

class TIBParamList {
 public:
  std::function<void()> OnChanging;  // may raise; the list is then unchanged
  std::function<void()> OnChange;

  int Count() const { return list_.Count(); }
  const String& operator[](int index) const { return list_[index]; }
  const TStringList& List() const { return list_; }
  String Text() const { return list_.Text(); }
  String Values(StringView name) const { return list_.Values(name); }
  int IndexOfName(StringView name) const { return list_.IndexOfName(name); }

  int Add(const String& s) {
    Changing();
    int i = list_.Add(s);
    Changed();
    return i;
  }
  void Insert(int index, const String& s) { Edit([&] { list_.Insert(index, s); }); }
  void Delete(int index) { Edit([&] { list_.Delete(index); }); }
  void Clear() { Edit([&] { list_.Clear(); }); }
  void SetStrings(int index, const String& s) { Edit([&] { list_.SetStrings(index, s); }); }
  void SetText(StringView text) { Edit([&] { list_.SetText(text); }); }
  void Assign(const TStringList& other) { Edit([&] { list_.Assign(other); }); }
  void SetValue(StringView name, const String& value) {
    Edit([&] { list_.SetValue(name, value); });
  }

 private:
  template <typename F>
  void Edit(F&& f) {
    Changing();
    f();
    Changed();
  }
  void Changing() {
    if (OnChanging) OnChanging();
  }
  void Changed() {
    if (OnChange) OnChange();
  }
  TStringList list_;
};

}  // namespace kavo

#endif  // KAVO_IB_IB_PARAM_LIST_H_
