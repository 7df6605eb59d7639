// TStringList: an ordered list of texts, with the name=value view that
// parameter lists use.
#ifndef KAVO_RTL_STRING_LIST_H_
#define KAVO_RTL_STRING_LIST_H_

#include <functional>
#include <vector>

#include "rtl/ustring.h"

namespace kavo {

class TStringList {
 public:
  // Lines are joined with CR LF, as the stored texts were written.
  static constexpr const Char* kLineBreak = u"\r\n";

  int Count() const { return static_cast<int>(items_.size()); }
  const String& operator[](int index) const { return items_.at(index); }
  const String& Strings(int index) const { return items_.at(index); }
  void SetStrings(int index, const String& value);

  int Add(const String& s);
  void Insert(int index, const String& s);
  void Delete(int index);
  void Clear();
  void Assign(const TStringList& other);

  // Every line followed by a line break; setting splits at CR LF, CR or LF.
  String Text() const;
  void SetText(StringView text);

  // Index of the line equal to `s` without regard to case, or -1.
  int IndexOf(StringView s) const;

  // name=value lines. Names match without regard to case.
  int IndexOfName(StringView name) const;
  String Names(int index) const;
  String ValueFromIndex(int index) const;
  String Values(StringView name) const;
  // An empty value removes the line, as parameter lists expect.
  void SetValue(StringView name, const String& value);

  // Called after every change.
  std::function<void()> OnChange;

  const std::vector<String>& Items() const { return items_; }

 private:
  void Changed();
  std::vector<String> items_;
};

}  // namespace kavo

#endif  // KAVO_RTL_STRING_LIST_H_
