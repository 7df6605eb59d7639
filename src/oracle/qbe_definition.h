// TQBEDefinition: the record set's query-by-example field list, and its
// stored form, the binary property "QBEFieldDefs" (little-endian):
//
//   version     int32   5 when written; above 5 is refused
//   count       int32
//   per field:  name length int32 (bytes), name (UTF-16 from version 5 on,
//               8-bit before), Queryable, AutoPartialMatch, CaseInsensitive
//               (1 byte each), IgnoreTime (from version 2), AutoContains
//               (from 3), AutoSoundex (from 4)
//
// A stream whose counts or lengths do not fit the bytes it has is refused
// with a clear error; nothing is read past its end.
#ifndef KAVO_ORACLE_QBE_DEFINITION_H_
#define KAVO_ORACLE_QBE_DEFINITION_H_

#include <cstdint>
#include <string>
#include <vector>

#include "rtl/ustring.h"

namespace kavo {

struct TQBEField {
  String FieldName;
  bool Queryable = true;
  bool AutoPartialMatch = false;
  bool AutoContains = false;
  bool AutoSoundex = false;
  bool CaseInsensitive = false;
  bool IgnoreTime = false;
  String Value;  // the last query value (not part of the stream)

  bool operator==(const TQBEField& o) const;
};

// The colour value that means "the default colour".
constexpr int32_t kQBEDefaultColor = 0x1FFFFFFF;

class TQBEDefinition {
 public:
  bool SaveQBEValues = true;
  bool AllowFileWildCards = true;
  bool AllowOperators = false;
  int32_t QBEFontColor = kQBEDefaultColor;
  int32_t QBEBackgroundColor = kQBEDefaultColor;

  std::vector<TQBEField>& Fields() { return fields_; }
  const std::vector<TQBEField>& Fields() const { return fields_; }
  // The entry of a field, without regard to case; null when none.
  TQBEField* FieldByName(StringView name);

  // Raises "Invalid version of QBEDefinition" for a version above 5 and
  // "Invalid QBEDefinition stream: <reason>" for a malformed one; a failed
  // load leaves the list as it was.
  void LoadFromStream(const std::string& bytes);
  std::string SaveToStream() const;
  // Whether the property is written: the list differs from the ancestor's,
  // or, without an ancestor, is not empty.
  bool ShouldStore(const TQBEDefinition* ancestor) const;

  // After the record set described its columns: every name without an entry
  // gets one (Queryable) at the end; entries whose name is not among them go.
  void Synchronize(const std::vector<String>& field_names);

 private:
  std::vector<TQBEField> fields_;
};

}  // namespace kavo

#endif  // KAVO_ORACLE_QBE_DEFINITION_H_
