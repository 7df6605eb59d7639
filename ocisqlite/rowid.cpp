#include "rowid.h"

namespace kavo::ocisqlite {

namespace {

const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void Put(std::string* out, uint64_t v, int width) {
  for (int i = width - 1; i >= 0; --i) (*out)[out->size() - width + i] = kDigits[v & 63], v >>= 6;
}

int DigitValue(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool Get(std::string_view s, size_t from, int width, uint64_t* v) {
  *v = 0;
  for (int i = 0; i < width; ++i) {
    int d = DigitValue(s[from + i]);
    if (d < 0) return false;
    *v = (*v << 6) | static_cast<uint64_t>(d);
  }
  return true;
}

}  // namespace

RowidParts RowidFromRowNumber(uint32_t object, int64_t rownum) {
  RowidParts p;
  p.object = object;
  p.file = kRowidFile;
  p.block = static_cast<uint32_t>(static_cast<uint64_t>(rownum) >> 12);
  p.row = static_cast<uint32_t>(rownum & 0xFFF);
  return p;
}

int64_t RowNumberFromRowid(const RowidParts& p) {
  return (static_cast<int64_t>(p.block) << 12) | p.row;
}

std::string RowidText(const RowidParts& p) {
  std::string out;
  out.resize(6), Put(&out, p.object, 6);
  out.resize(9), Put(&out, p.file, 3);
  out.resize(15), Put(&out, p.block, 6);
  out.resize(18), Put(&out, p.row, 3);
  return out;
}

bool ParseRowid(std::string_view s, RowidParts* out) {
  if (s.size() != 18) return false;
  uint64_t o, f, b, r;
  if (!Get(s, 0, 6, &o) || !Get(s, 6, 3, &f) || !Get(s, 9, 6, &b) || !Get(s, 15, 3, &r))
    return false;
  if (o > 0xFFFFFFFFu || b > 0xFFFFFFFFu) return false;
  out->object = static_cast<uint32_t>(o);
  out->file = static_cast<uint32_t>(f);
  out->block = static_cast<uint32_t>(b);
  out->row = static_cast<uint32_t>(r);
  return true;
}

}  // namespace kavo::ocisqlite
