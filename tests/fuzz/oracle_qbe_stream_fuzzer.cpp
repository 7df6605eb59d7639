// The record set's stored query-by-example definition ("QBEFieldDefs"): any
// bytes as the stream, then the stream written back and read again.
// Input: the stream bytes.
#include <string>

#include "fuzz_input.h"
#include "oracle/qbe_definition.h"
#include "rtl/code_page.h"
#include "rtl/exceptions.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kavo::SetAnsiCodePage("CP1252");  // names before version 5 are 8-bit
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  kavo::TQBEDefinition qbe;
  try {
    qbe.LoadFromStream(bytes);
  } catch (const kavo::Exception&) {
    // A refused stream leaves the list as it was: empty.
    FUZZ_CHECK(qbe.Fields().empty());
    return 0;
  }
  // What was read is written in the current version and reads back equal.
  kavo::TQBEDefinition again;
  again.LoadFromStream(qbe.SaveToStream());
  FUZZ_CHECK(again.Fields() == qbe.Fields());
  qbe.FieldByName(u"CODIGO");
  return 0;
}
