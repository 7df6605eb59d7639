// TSQLVAR: access to one column entry of a descriptor area, in either of the
// two entry layouts. Firebird clients use version 1 (Firebird's own XSQLVAR);
// InterBase 7.0 and later clients use version 2, with a precision field and
// 68-character names.
#ifndef KAVO_IB_IB_SQLVAR_H_
#define KAVO_IB_IB_SQLVAR_H_

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

#include "ib/ib_header.h"

namespace kavo {

// InterBase's version-2 column entry.
struct XSQLVAR_V2 {
  ISC_SHORT sqltype;
  ISC_SHORT sqlscale;
  ISC_SHORT sqlprecision;
  ISC_SHORT sqlsubtype;
  ISC_SHORT sqllen;
  ISC_SCHAR* sqldata;
  ISC_SHORT* sqlind;
  ISC_SHORT sqlname_length;
  ISC_SCHAR sqlname[68];
  ISC_SHORT relname_length;
  ISC_SCHAR relname[68];
  ISC_SHORT ownname_length;
  ISC_SCHAR ownname[68];
  ISC_SHORT aliasname_length;
  ISC_SCHAR aliasname[68];
};

constexpr short kSQLDAVersion2 = 2;

class TSQLVAR {
 public:
  virtual ~TSQLVAR() = default;
  virtual short Version() const = 0;
  virtual size_t EntrySize() const = 0;
  virtual int NameLimit() const = 0;  // characters of a name

  void Attach(void* entry) { entry_ = entry; }
  void* Entry() const { return entry_; }

  virtual short SqlType() const = 0;
  virtual void SetSqlType(short v) = 0;
  virtual short SqlScale() const = 0;
  virtual void SetSqlScale(short v) = 0;
  // Version 1 has no field: derived from the type; setting it raises
  // ibceNotSupported.
  virtual short SqlPrecision() const = 0;
  virtual void SetSqlPrecision(short v) = 0;
  virtual short SqlSubtype() const = 0;
  virtual void SetSqlSubtype(short v) = 0;
  virtual short SqlLen() const = 0;
  virtual void SetSqlLen(short v) = 0;
  virtual char* SqlData() const = 0;
  virtual void SetSqlData(char* p) = 0;
  virtual short* SqlInd() const = 0;
  virtual void SetSqlInd(short* p) = 0;
  virtual std::string SqlName() const = 0;
  virtual std::string RelName() const = 0;
  virtual std::string OwnName() const = 0;
  virtual std::string AliasName() const = 0;
  virtual void SetAliasName(const std::string& name) = 0;
  // A value's type (the null flag kept), scale, length and data in one call:
  // parameters are assigned every row. Returns whether the entry is nullable.
  virtual bool SetValue(short sqltype, short scale, short len, char* data) = 0;

 protected:
  static short DerivedPrecision(short sqltype);
  void* entry_ = nullptr;
};

// The accessors both layouts share, over the raw entry type.
template <typename Raw, short kVersion>
class TSQLVARLayout : public TSQLVAR {
 public:
  short Version() const override { return kVersion; }
  size_t EntrySize() const override { return sizeof(Raw); }
  int NameLimit() const override { return static_cast<int>(sizeof(Raw::sqlname)); }
  short SqlType() const override { return V()->sqltype; }
  void SetSqlType(short v) override { V()->sqltype = v; }
  short SqlScale() const override { return V()->sqlscale; }
  void SetSqlScale(short v) override { V()->sqlscale = v; }
  short SqlSubtype() const override { return V()->sqlsubtype; }
  void SetSqlSubtype(short v) override { V()->sqlsubtype = v; }
  short SqlLen() const override { return V()->sqllen; }
  void SetSqlLen(short v) override { V()->sqllen = v; }
  char* SqlData() const override { return V()->sqldata; }
  void SetSqlData(char* p) override { V()->sqldata = p; }
  short* SqlInd() const override { return V()->sqlind; }
  void SetSqlInd(short* p) override { V()->sqlind = p; }
  bool SetValue(short sqltype, short scale, short len, char* data) override {
    Raw* v = V();
    const short nullable = static_cast<short>(v->sqltype & 1);
    v->sqltype = static_cast<short>(sqltype | nullable);
    v->sqlscale = scale;
    v->sqllen = len;
    v->sqldata = data;
    return nullable != 0;
  }
  std::string SqlName() const override { return Text(V()->sqlname, V()->sqlname_length); }
  std::string RelName() const override { return Text(V()->relname, V()->relname_length); }
  std::string OwnName() const override { return Text(V()->ownname, V()->ownname_length); }
  std::string AliasName() const override { return Text(V()->aliasname, V()->aliasname_length); }
  void SetAliasName(const std::string& name) override {
    size_t n = std::min(name.size(), sizeof(Raw::aliasname));
    std::memset(V()->aliasname, 0, sizeof(Raw::aliasname));
    std::memcpy(V()->aliasname, name.data(), n);
    V()->aliasname_length = static_cast<short>(n);
  }

 protected:
  Raw* V() const { return static_cast<Raw*>(entry_); }
  // A name field; a length outside the field never reads beyond it.
  template <size_t N>
  static std::string Text(const char (&field)[N], short length) {
    size_t n = length < 0 ? 0 : std::min(static_cast<size_t>(length), N);
    return std::string(field, n);
  }
};

class TSQLVAR_V1 : public TSQLVARLayout<XSQLVAR, SQLDA_VERSION1> {
 public:
  short SqlPrecision() const override { return DerivedPrecision(SqlType()); }
  void SetSqlPrecision(short v) override;
};

class TSQLVAR_V2 : public TSQLVARLayout<XSQLVAR_V2, kSQLDAVersion2> {
 public:
  short SqlPrecision() const override {
    return V()->sqlprecision != 0 ? V()->sqlprecision : DerivedPrecision(SqlType());
  }
  void SetSqlPrecision(short v) override { V()->sqlprecision = v; }
};

}  // namespace kavo

#endif  // KAVO_IB_IB_SQLVAR_H_
