#include "errors.h"

#include <cstdio>
#include <map>

namespace kavo::ocisqlite {

namespace {

const std::map<int, const char*>& Messages() {
  static const std::map<int, const char*> m = {
      {1, "unique constraint (%s) violated"},
      {54, "resource busy and acquire with NOWAIT specified or timeout expired"},
      {600, "internal error code, arguments: [%s]"},
      {900, "invalid SQL statement"},
      {903, "invalid table name"},
      {904, "%s: invalid identifier"},
      {905, "missing keyword"},
      {907, "missing right parenthesis"},
      {909, "invalid number of arguments"},
      {910, "specified length too long for its datatype"},
      {911, "invalid character"},
      {913, "too many values"},
      {918, "column ambiguously defined"},
      {922, "missing or invalid option"},
      {923, "FROM keyword not found where expected"},
      {925, "missing INTO keyword"},
      {932, "inconsistent datatypes: expected %s got %s"},
      {933, "SQL command not properly ended"},
      {934, "group function is not allowed here"},
      {936, "missing expression"},
      {938, "not enough arguments for function"},
      {939, "too many arguments for function"},
      {942, "table or view does not exist"},
      {947, "not enough values"},
      {955, "name is already used by an existing object"},
      {957, "duplicate column name"},
      {972, "identifier is too long"},
      {979, "not a GROUP BY expression"},
      {1002, "fetch out of sequence"},
      {1005, "null password given; logon denied"},
      {1007, "variable not in select list"},
      {1008, "not all variables bound"},
      {1012, "not logged on"},
      {1013, "user requested cancel of current operation"},
      {1017, "invalid username/password; logon denied"},
      {1031, "insufficient privileges"},
      {1036, "illegal variable name/number"},
      {1086, "savepoint '%s' never established in this session or is invalid"},
      {1400, "cannot insert NULL into (%s)"},
      {1403, "no data found"},
      {1405, "fetched column value is NULL"},
      {1406, "fetched column value was truncated"},
      {1407, "cannot update (%s) to NULL"},
      {1410, "invalid ROWID"},
      {1422, "exact fetch returns more than requested number of rows"},
      {1426, "numeric overflow"},
      {1460, "unimplemented or unreasonable conversion requested"},
      {1465, "invalid hex number"},
      {1455, "converting column overflows integer datatype"},
      {1481, "invalid number format model"},
      {1438, "value larger than specified precision allowed for this column"},
      {1489, "result of string concatenation is too long"},
      {1704, "string literal too long"},
      {1722, "invalid number"},
      {1740, "missing double quote in identifier"},
      {1741, "illegal zero-length identifier"},
      {1742, "comment not properly terminated"},
      {1756, "quoted string not properly terminated"},
      {1830, "date format picture ends before converting entire input string"},
      {1841, "(full) year must be between -4713 and +9999, and not be 0"},
      {1843, "not a valid month"},
      {1849, "hour must be between 1 and 12"},
      {1850, "hour must be between 0 and 23"},
      {1851, "minutes must be between 0 and 59"},
      {1852, "seconds must be between 0 and 59"},
      {1847, "day of month must be between 1 and last day of month"},
      {1858, "a non-numeric character was found where a numeric was expected"},
      {1861, "literal does not match format string"},
      {1878, "requested field not found in the datetime or interval"},
      {1880, "the fractional seconds must be between 0 and 999999999"},
      {1882, "timezone region not found"},
      {1891, "Datetime/Interval internal error"},
      {1918, "user '%s' does not exist"},
      {1920, "user name '%s' conflicts with another user or role name"},
      {1789, "query block has incorrect number of result columns"},
      {1792, "maximum number of columns in a table or view is 1000"},
      {1821, "date format not recognized"},
      {2003, "invalid %s parameter"},
      {2260, "table can have only one primary key"},
      {2290, "check constraint (%s) violated"},
      {2291, "integrity constraint (%s) violated - parent key not found"},
      {2292, "integrity constraint (%s) violated - child record found"},
      {3001, "unimplemented feature"},
      {3114, "not connected to ORACLE"},
      {6502, "PL/SQL: numeric or value error: character string buffer too small"},
      {6550, "line %s, column %s:\nPLS-00103: Encountered the symbol \"%s\""},
      {8177, "can't serialize access for this transaction"},
      {12154, "TNS:could not resolve the connect identifier specified"},
      {12715, "invalid character set specified"},
      {12899, "value too large for column %s"},
      {21000, "error number argument to raise_application_error of %s is out of range"},
      {22275, "invalid LOB locator specified"},
      {24315, "illegal attribute type"},
      {24333, "zero iteration count"},
      {24334, "no descriptor for this position"},
      {24337, "statement handle not prepared"},
      {24338, "statement handle not executed"},
      {24374, "define not done before fetch or execute and fetch"},
      {24381, "error(s) in array DML"},
      {24413, "Invalid number of sessions specified"},
      {24418, "Cannot open further sessions."},
      {24496, "OCISessionGet() timed out waiting for a free connection."},
      {28000, "the account is locked"},
      {28002, "the password will expire within %s days"},
      {30088, "datetime/interval precision is out of range"},
  };
  return m;
}

}  // namespace

std::string OracleMessage(int code) {
  auto it = Messages().find(code);
  return it == Messages().end() ? std::string("Message ") + std::to_string(code) + " not found"
                                : it->second;
}

OraError MakeError(int code, const std::string& a, const std::string& b, const std::string& c) {
  // Built in one string: a refused attribute read makes one of these per call.
  const std::string tmpl = OracleMessage(code);
  const std::string* args[] = {&a, &b, &c};
  std::string text;
  text.reserve(12 + tmpl.size() + a.size() + b.size() + c.size());
  if (code >= 0 && code <= 99999) {
    char prefix[] = "ORA-00000: ";
    for (int i = 8, v = code; i >= 4; --i, v /= 10) prefix[i] = static_cast<char>('0' + v % 10);
    text.append(prefix, sizeof prefix - 1);
  } else {
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "ORA-%05d: ", code);
    text += prefix;
  }
  int next = 0;
  for (size_t i = 0; i < tmpl.size(); ++i) {
    if (tmpl[i] == '%' && i + 1 < tmpl.size() && tmpl[i + 1] == 's') {
      if (next < 3) text += *args[next++];
      ++i;
    } else {
      text += tmpl[i];
    }
  }
  text += '\n';
  return OraError(code, std::move(text));
}

}  // namespace kavo::ocisqlite
