// A parameter list whose owner is asked before every change, with the list
// as it would become, and told after it: a connection refuses changes while
// attached, a transaction while active, a statement compares the new text.
#ifndef KAVO_IB_IB_PARAM_LIST_H_
#define KAVO_IB_IB_PARAM_LIST_H_

#include <functional>

#include "rtl/string_list.h"

namespace kavo {

class TIBParamList {
 public:
  // May raise; the list then stays as it was.
  std::function<void(const TStringList& proposed)> OnChanging;
  std::function<void()> OnChange;

  int Count() const { return list_.Count(); }
  const String& operator[](int index) const { return list_[index]; }
  const TStringList& List() const { return list_; }
  String Text() const { return list_.Text(); }
  String Values(StringView name) const { return list_.Values(name); }
  int IndexOfName(StringView name) const { return list_.IndexOfName(name); }

  int Add(const String& s) {
    Edit([&](TStringList& l) { l.Add(s); });
    return list_.Count() - 1;
  }
  void Insert(int index, const String& s) { Edit([&](TStringList& l) { l.Insert(index, s); }); }
  void Delete(int index) { Edit([&](TStringList& l) { l.Delete(index); }); }
  void Clear() { Edit([](TStringList& l) { l.Clear(); }); }
  void SetStrings(int index, const String& s) {
    Edit([&](TStringList& l) { l.SetStrings(index, s); });
  }
  void SetText(StringView text) { Edit([&](TStringList& l) { l.SetText(text); }); }
  void Assign(const TStringList& other) { Edit([&](TStringList& l) { l.Assign(other); }); }
  void SetValue(StringView name, const String& value) {
    Edit([&](TStringList& l) { l.SetValue(name, value); });
  }

 private:
  // The change is made on a copy first, so the owner sees the outcome and a
  // failing index leaves the list untouched.
  template <typename F>
  void Edit(F&& f) {
    TStringList proposed;
    proposed.Assign(list_);
    f(proposed);
    if (OnChanging) OnChanging(proposed);
    list_.Assign(proposed);
    if (OnChange) OnChange();
  }
  TStringList list_;
};

}  // namespace kavo

#endif  // KAVO_IB_IB_PARAM_LIST_H_
