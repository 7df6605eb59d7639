// The client library files of the Windows build. "gds32.dll" and
// "ibtogo.dll" are the types' own names; a Firebird installation has its
// client as fbclient.dll (gds32.dll only when its installer was asked for
// the old name), and its embedded engine as fbembed.dll (Firebird 2.x) or as
// fbclient.dll with the engine beside it (Firebird 3 and later).
#include "ib/ib_intf.h"

namespace kavo {

const char* const kIBXMLLibraryName = "ibxml.dll";

std::string TIBServerLibrary::LibraryName() const { return "gds32.dll"; }
std::vector<std::string> TIBServerLibrary::AlternativeLibraryNames() const {
  return {"fbclient.dll"};
}

std::string TIBEmbeddedLibrary::LibraryName() const { return "ibtogo.dll"; }
std::vector<std::string> TIBEmbeddedLibrary::AlternativeLibraryNames() const {
  return {"fbembed.dll", "fbclient.dll"};
}

}  // namespace kavo
