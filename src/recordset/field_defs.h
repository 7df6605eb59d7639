// Column definitions: what a record set describes of its open result.
#ifndef KAVO_RECORDSET_FIELD_DEFS_H_
#define KAVO_RECORDSET_FIELD_DEFS_H_

#include <vector>

#include "recordset/db_types.h"
#include "rtl/ustring.h"

namespace kavo {

struct TFieldDef {
  String Name;
  TFieldType DataType = ftUnknown;
  int Size = 0;         // characters for text types, 0 for the others
  int FieldNo = 0;      // the column's number; Add gives position + 1
  bool Required = false;
  bool ReadOnly = false;
  bool InternalCalcField = false;
};

class TFieldDefs {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  const TFieldDef& operator[](int index) const { return items_.at(index); }
  TFieldDef& operator[](int index) { return items_.at(index); }

  // Adds a definition; a FieldNo of 0 becomes its position plus 1.
  TFieldDef& Add(TFieldDef def);
  TFieldDef& Add(const String& name, TFieldType type, int size = 0, bool required = false);
  void Clear() { items_.clear(); }

  // Position of the definition with that name, without regard to case; -1.
  int IndexOf(StringView name) const;
  const TFieldDef* Find(StringView name) const;

 private:
  std::vector<TFieldDef> items_;
};

}  // namespace kavo

#endif  // KAVO_RECORDSET_FIELD_DEFS_H_
