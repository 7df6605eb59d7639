// The client library files of the Linux build: Debian's libfbclient2 for
// both types; a local path reaches the embedded engine through it.
#include "ib/ib_intf.h"

namespace kavo {

const char* const kIBXMLLibraryName = "libibxml.so";

std::string TIBServerLibrary::LibraryName() const { return "libfbclient.so.2"; }
std::vector<std::string> TIBServerLibrary::AlternativeLibraryNames() const { return {}; }

std::string TIBEmbeddedLibrary::LibraryName() const { return "libfbclient.so.2"; }
std::vector<std::string> TIBEmbeddedLibrary::AlternativeLibraryNames() const { return {}; }

}  // namespace kavo
