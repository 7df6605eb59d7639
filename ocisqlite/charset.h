// Client character sets: text crosses the interface in the set a bind, a
// define or the environment names and is held in the store as UTF-8 (the
// database set AL32UTF8), converted as Oracle converts it, with its
// replacement character for what the other side cannot hold.
#ifndef OCISQLITE_CHARSET_H
#define OCISQLITE_CHARSET_H

#include <string>
#include <string_view>

#include "oci.h"

namespace kavo::ocisqlite {

constexpr ub2 kUS7ASCII = 1, kWE8ISO8859P1 = 31, kWE8MSWIN1252 = 178, kUTF8 = 871,
              kAL32UTF8 = 873, kUTF16 = 1000, kAL16UTF16 = 2000;

// Whether the library converts from and to the set (0: the environment's).
bool KnownCharSet(ub2 id);
// Oracle's name of a set the library knows, or empty.
const char* CharSetName(ub2 id);
// The id of a set named (any case), 0 when unknown.
ub2 CharSetId(std::string_view name);
// Bytes per character unit: 2 for the UTF-16 sets, else 1.
inline size_t UnitBytes(ub2 id) { return id == kUTF16 || id == kAL16UTF16 ? 2 : 1; }
// Whether the set is held as the store holds text.
inline bool IsUtf8Set(ub2 id) { return id == 0 || id == kUTF8 || id == kAL32UTF8; }

// Client bytes in set id to the store's UTF-8.
std::string ToStore(const char* p, size_t n, ub2 id);
// Store text to client bytes in set id.
std::string FromStore(std::string_view utf8, ub2 id);
// The longest prefix of client bytes in set id of at most max bytes that ends
// on a whole character.
size_t WholePrefix(std::string_view bytes, size_t max, ub2 id);

// The client's set when it names none: the part of NLS_LANG after its dot,
// else US7ASCII as Oracle's client on Linux takes it. 0 when NLS_LANG names a
// set this library does not know.
ub2 DefaultClientCharSet();

}  // namespace kavo::ocisqlite

#endif
