// TVariableData: one bind variable with its value buffer (ArraySize elements
// of bufsize bytes) and indicators; TVariables: a statement's variable list
// with its stored form.
#ifndef KAVO_ORACLE_VARIABLE_DATA_H_
#define KAVO_ORACLE_VARIABLE_DATA_H_

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "oracle/oci_types.h"
#include "recordset/variant.h"
#include "rtl/datetime.h"
#include "rtl/ustring.h"

namespace kavo {

class TOracleQuery;
class TOracleSession;

// Allocates like std::allocator, but growing a vector leaves the new bytes
// as they are instead of zeroing them: a text variable's buffer holds 4001
// bytes and is declared anew for each row written, and its readers never go
// past the terminator written at declaration.
template <class T>
struct UninitialisedAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = UninitialisedAllocator<U>;
  };
  UninitialisedAllocator() = default;
  template <class U>
  UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... A>
  void construct(U* p, A&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<A>(args)...);
  }
};

using VariableBuffer = std::vector<uint8_t, UninitialisedAllocator<uint8_t>>;

class TVariableData {
 public:
  String name;             // ":" + upper-cased name
  int16_t buftype = 0;     // variable type code
  int32_t bufsize = 0;     // bytes per element
  VariableBuffer buf;            // owned buffer
  void* obj = nullptr;           // object reference of a complex variable
  std::vector<int16_t> indp;     // -1 NULL, 0 set
  int32_t len = 0;               // byte length of a LONG, LONG RAW or UTF-16 value
  // Byte length of each element of a UTF-16 value (what OCI reads and, for
  // values it returns, writes), and of a LONG value at bind time.
  std::vector<ub2> alen;
  int32_t ArrayLowBound = 0;
  int32_t ArraySize = 1;
  bool IsPLSQLTable = false;
  int32_t PLSQLTableElemCount = 0;
  ub4 CurrentElemCount = 0;      // what OCI reads and writes for a PL/SQL table
  bool BufOwner = true;
  bool Complex = false;
  // A TIMESTAMP variable's value, and the descriptor made from it for one
  // execution (what a block assigns comes back through it).
  TDateTime tsv = 0;
  OCIHandle desc = nullptr;
  // A CLOB or BLOB variable holds its value in buf (a CLOB's as UTF-8) and
  // binds a temporary LOB written from it for one execution (in only).
  bool temporary = false;
  OCIHandle bindhp = nullptr;
  void* bindbuf = nullptr;
  uint8_t CharSetForm = 0;
  uint16_t CharSetID = 0;
  // A copy bound in place of buf when OCI must see smaller elements than
  // bufsize (BindBuffer), its element lengths, and the element size of the
  // current binding.
  std::vector<uint8_t> bindcopy;
  std::vector<ub2> bindalen;
  int32_t bindsize = 0;

  // Stores `value` into element `index` (or the only element of LONG, LONG
  // RAW and substitution variables). Raises Exception with the texts
  // "Variant conversion error for variable ", "Unsupported variable type for ",
  // "Pass LongInt(Object) to complex variable ",
  // "Only one-dimensional array of bytes allowed for " + name.
  void SetValue(int index, const OraVariant& value, const TOracleSession* session);
  // Element `index` read back; NULL gives empty.
  OraVariant GetValue(int index, const TOracleSession* session) const;
  // New element count and, for strings, size (-1 keeps it); all elements NULL.
  void ReDim(int32_t new_dim, int32_t new_size, TOracleSession* session);
  void FreeBuffer();
  // Back to the state of a variable never declared; the memory of its
  // buffers stays for the next variable declared into this record (up to a
  // limit, for a statement that may never declare such a variable again).
  void Recycle();
  // For a debug view: the value, "Null", or the kind in brackets.
  String DisplayString(const TOracleSession* session) const;

  // The text buffer to bind with elements of `element_size` bytes: buf when
  // that is its spacing, else bindcopy with that spacing, each text cut to fit
  // (never inside a character), so that the variable keeps its own value.
  // Null when there is no buffer.
  void* BindBuffer(int32_t element_size);
  // The element lengths that go with it for a UTF-16 variable, else null.
  ub2* BindLengths();
  // After an execution: the elements OCI changed in bindcopy come back into
  // buf (values a PL/SQL block or RETURNING assigned).
  void ReturnBindBuffer();

  uint8_t* Element(int index) { return buf.data() + static_cast<size_t>(index) * bufsize; }
  const uint8_t* Element(int index) const {
    return buf.data() + static_cast<size_t>(index) * bufsize;
  }
  bool IsNull(int index) const { return indp.at(index) == -1; }
  bool IsUTF16() const;
  bool IsUTF8() const;
};

// One entry of a standard parameter list: a name without colon and a value.
struct TParamValue {
  String name;
  OraVariant value;
};

class TVariables {
 public:
  explicit TVariables(TOracleQuery* owner) : owner_(owner) {}

  TOracleQuery* Owner() const { return owner_; }
  int Count() const { return static_cast<int>(list_.size()); }
  TVariableData& Data(int index) { return *list_.at(index); }
  const TVariableData& Data(int index) const { return *list_.at(index); }
  // Index of the normalised name, or -1.
  int IndexOf(const String& normalised_name) const;

  // Copies the variables into those of another statement (names, types,
  // values, PL/SQL table sizes).
  void AssignTo(TVariables& dest) const;
  // Exchange with a parameter list: each parameter becomes a variable ":" +
  // name typed by its value (integers and booleans 3, doubles 4, dates 12,
  // text 5; anything else raises "Unsupported variable type"), and back, a
  // NULL variable giving an empty value.
  void Assign(const std::vector<TParamValue>& params);
  void AssignTo(std::vector<TParamValue>& params) const;

  // The stored form ("Data" property): version 4 written, versions 1 to 4 read,
  // anything newer refused with "Invalid version of Query variables".
  std::string Save() const;
  void Load(const std::string& data);

  // For the statement that owns the list.
  std::vector<std::unique_ptr<TVariableData>>& List() { return list_; }

 private:
  TOracleQuery* owner_;
  std::vector<std::unique_ptr<TVariableData>> list_;
};

// A column or variable buffer element as a value (see variable_data.cpp for
// the table by type). `length` is the element's byte length where it counts.
OraVariant OracleToNativeData(const uint8_t* buffer, int type, uint16_t charset_id,
                              const TOracleSession* session, int32_t length);

}  // namespace kavo

#endif  // KAVO_ORACLE_VARIABLE_DATA_H_
