#include "oracle/qbe_definition.h"

#include <algorithm>

#include "rtl/code_page.h"
#include "rtl/exceptions.h"

namespace kavo {

namespace {

constexpr int32_t kVersion = 5;

class StreamReader {
 public:
  explicit StreamReader(const std::string& bytes) : bytes_(bytes) {}

  size_t Left() const { return bytes_.size() - pos_; }
  int32_t Int(const char16_t* what) {
    Need(4, what);
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
      v |= static_cast<uint32_t>(static_cast<uint8_t>(bytes_[pos_ + i])) << (8 * i);
    pos_ += 4;
    return static_cast<int32_t>(v);
  }
  bool Flag(const char16_t* what) {
    Need(1, what);
    return bytes_[pos_++] != 0;
  }
  std::string Bytes(size_t n, const char16_t* what) {
    Need(n, what);
    std::string s = bytes_.substr(pos_, n);
    pos_ += n;
    return s;
  }
  [[noreturn]] static void Bad(const String& reason) {
    throw Exception(u"Invalid QBEDefinition stream: " + reason);
  }

 private:
  void Need(size_t n, const char16_t* what) {
    if (Left() < n) Bad(String(what) + u" runs past the end of the data");
  }
  const std::string& bytes_;
  size_t pos_ = 0;
};

void PutInt(std::string& out, int32_t v) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF));
}

}  // namespace

bool TQBEField::operator==(const TQBEField& o) const {
  return FieldName == o.FieldName && Queryable == o.Queryable &&
         AutoPartialMatch == o.AutoPartialMatch && AutoContains == o.AutoContains &&
         AutoSoundex == o.AutoSoundex && CaseInsensitive == o.CaseInsensitive &&
         IgnoreTime == o.IgnoreTime;
}

TQBEField* TQBEDefinition::FieldByName(StringView name) {
  for (TQBEField& f : fields_)
    if (SameText(f.FieldName, name)) return &f;
  return nullptr;
}

void TQBEDefinition::LoadFromStream(const std::string& bytes) {
  StreamReader in(bytes);
  int32_t version = in.Int(u"the version");
  if (version > kVersion) throw Exception(u"Invalid version of QBEDefinition");
  if (version < 1) StreamReader::Bad(u"version " + IntToStr(version));
  int32_t count = in.Int(u"the field count");
  // Each field takes at least its length and three flags.
  if (count < 0 || static_cast<size_t>(count) > in.Left() / 7)
    StreamReader::Bad(u"field count " + IntToStr(count) + u" does not fit the data");
  std::vector<TQBEField> fields;
  for (int32_t i = 0; i < count; ++i) {
    TQBEField f;
    int32_t length = in.Int(u"a name length");
    if (length < 0 || static_cast<size_t>(length) > in.Left())
      StreamReader::Bad(u"name length " + IntToStr(length) + u" does not fit the data");
    std::string name = in.Bytes(static_cast<size_t>(length), u"a name");
    if (version >= 5) {
      if (length % 2 != 0) StreamReader::Bad(u"a UTF-16 name of an odd byte length");
      f.FieldName.resize(name.size() / 2);
      for (size_t k = 0; k < f.FieldName.size(); ++k)
        f.FieldName[k] = static_cast<Char>(static_cast<uint8_t>(name[2 * k]) |
                                           static_cast<uint8_t>(name[2 * k + 1]) << 8);
    } else {
      f.FieldName = AnsiToString(name);
    }
    f.Queryable = in.Flag(u"a flag");
    f.AutoPartialMatch = in.Flag(u"a flag");
    f.CaseInsensitive = in.Flag(u"a flag");
    if (version >= 2) f.IgnoreTime = in.Flag(u"a flag");
    if (version >= 3) f.AutoContains = in.Flag(u"a flag");
    if (version >= 4) f.AutoSoundex = in.Flag(u"a flag");
    fields.push_back(std::move(f));
  }
  fields_ = std::move(fields);
}

std::string TQBEDefinition::SaveToStream() const {
  std::string out;
  PutInt(out, kVersion);
  PutInt(out, static_cast<int32_t>(fields_.size()));
  for (const TQBEField& f : fields_) {
    PutInt(out, static_cast<int32_t>(f.FieldName.size() * 2));
    for (Char c : f.FieldName) {
      out.push_back(static_cast<char>(c & 0xFF));
      out.push_back(static_cast<char>(c >> 8));
    }
    for (bool b : {f.Queryable, f.AutoPartialMatch, f.CaseInsensitive, f.IgnoreTime,
                   f.AutoContains, f.AutoSoundex})
      out.push_back(b ? 1 : 0);
  }
  return out;
}

bool TQBEDefinition::ShouldStore(const TQBEDefinition* ancestor) const {
  if (ancestor == nullptr) return !fields_.empty();
  return fields_ != ancestor->fields_;
}

void TQBEDefinition::Synchronize(const std::vector<String>& names) {
  fields_.erase(std::remove_if(fields_.begin(), fields_.end(),
                               [&](const TQBEField& f) {
                                 return std::none_of(names.begin(), names.end(), [&](const String& n) {
                                   return SameText(n, f.FieldName);
                                 });
                               }),
                fields_.end());
  for (const String& n : names) {
    if (FieldByName(n) != nullptr) continue;
    TQBEField f;
    f.FieldName = n;
    fields_.push_back(std::move(f));
  }
}

}  // namespace kavo
