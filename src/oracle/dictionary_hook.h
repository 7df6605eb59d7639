// DictionaryHook: the data-dictionary options' say in how the reader
// describes columns and in what the writer does around a record's post. The
// record set installs it only while an option asks for it, so that the main
// loops know nothing of the dictionary and pay one pointer test.
#ifndef KAVO_ORACLE_DICTIONARY_HOOK_H_
#define KAVO_ORACLE_DICTIONARY_HOOK_H_

namespace kavo {

class TField;

namespace oracle_engine {

class DictionaryHook {
 public:
  virtual ~DictionaryHook() = default;
  // Whether the field of a column (that may be null, or not) is required.
  virtual bool Required(bool optional_column) = 0;
  // A record being inserted takes the column defaults.
  virtual void NewRecord() = 0;
  // The record about to be posted is checked against the constraints.
  virtual void Posting() = 0;
  // `field` of the edited record `record` was just written.
  virtual void FieldWritten(TField* field, const unsigned char* record) = 0;
};

}  // namespace oracle_engine

}  // namespace kavo

#endif  // KAVO_ORACLE_DICTIONARY_HOOK_H_
