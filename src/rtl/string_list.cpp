#include "rtl/string_list.h"

namespace kavo {

void TStringList::Changed() {
  if (OnChange) OnChange();
}

void TStringList::SetStrings(int index, const String& value) {
  items_.at(index) = value;
  Changed();
}

int TStringList::Add(const String& s) {
  items_.push_back(s);
  Changed();
  return Count() - 1;
}

void TStringList::Insert(int index, const String& s) {
  if (index < 0 || index > Count()) index = Count();
  items_.insert(items_.begin() + index, s);
  Changed();
}

void TStringList::Delete(int index) {
  items_.erase(items_.begin() + index);
  Changed();
}

void TStringList::Clear() {
  if (items_.empty()) return;
  items_.clear();
  Changed();
}

void TStringList::Assign(const TStringList& other) {
  items_ = other.items_;
  Changed();
}

String TStringList::Text() const {
  String out;
  for (const String& s : items_) {
    out += s;
    out += kLineBreak;
  }
  return out;
}

void TStringList::SetText(StringView text) {
  items_.clear();
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' || text[i] == u'\n') {
      items_.emplace_back(text.substr(start, i - start));
      if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      start = i + 1;
    }
  }
  if (start < text.size()) items_.emplace_back(text.substr(start));
  Changed();
}

int TStringList::IndexOf(StringView s) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(items_[i], s)) return i;
  return -1;
}

String TStringList::Names(int index) const {
  const String& s = items_.at(index);
  size_t eq = s.find(u'=');
  return eq == String::npos ? String() : s.substr(0, eq);
}

String TStringList::ValueFromIndex(int index) const {
  const String& s = items_.at(index);
  size_t eq = s.find(u'=');
  return eq == String::npos ? String() : s.substr(eq + 1);
}

int TStringList::IndexOfName(StringView name) const {
  for (int i = 0; i < Count(); ++i) {
    size_t eq = items_[i].find(u'=');
    if (eq != String::npos && SameText(StringView(items_[i]).substr(0, eq), name)) return i;
  }
  return -1;
}

String TStringList::Values(StringView name) const {
  int i = IndexOfName(name);
  return i < 0 ? String() : ValueFromIndex(i);
}

void TStringList::SetValue(StringView name, const String& value) {
  int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) Delete(i);
    return;
  }
  String line = String(name) + u"=" + value;
  if (i >= 0) SetStrings(i, line);
  else Add(line);
}

}  // namespace kavo
