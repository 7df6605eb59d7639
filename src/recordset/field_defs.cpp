#include "recordset/field_defs.h"

#include "recordset/field_name.h"

namespace kavo {

TFieldDef& TFieldDefs::Add(TFieldDef def) {
  if (def.FieldNo == 0) def.FieldNo = Count() + 1;
  items_.push_back(std::move(def));
  return items_.back();
}

TFieldDef& TFieldDefs::Add(const String& name, TFieldType type, int size, bool required) {
  TFieldDef def;
  def.Name = name;
  def.DataType = type;
  def.Size = size;
  def.Required = required;
  return Add(std::move(def));
}

int TFieldDefs::IndexOf(StringView name) const {
  for (int i = 0; i < Count(); ++i)
    if (SameFieldName(items_[i].Name, name)) return i;
  return -1;
}

const TFieldDef* TFieldDefs::Find(StringView name) const {
  int i = IndexOf(name);
  return i < 0 ? nullptr : &items_[i];
}

}  // namespace kavo
