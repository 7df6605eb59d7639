// The pieces of the Oracle read benchmark that call OCI and SQLite directly
// (the stand-in's oci.h and the layer's own OCI declarations cannot meet in
// one file): the store, and the ways beneath the layer.
#ifndef KAVO_BENCH_ORACLE_READ_WAYS_H_
#define KAVO_BENCH_ORACLE_READ_WAYS_H_

#include <cmath>
#include <memory>
#include <string>

namespace kavo::bench {

constexpr int kBatch = 25;
constexpr int kColumns = 14;

// What a way saw; equal digests mean the same values were read.
struct Digest {
  long rows = 0, nulls = 0;
  long long integers = 0;  // sum of the integer columns
  double floats = 0;       // sum of the floating columns
  long long text = 0;      // characters of text read (UTF-16 units, all in the BMP)
  double days = 0;         // sum of the dates as days since 1899-12-30

  bool SameAs(const Digest& o, bool values) const {
    if (rows != o.rows || nulls != o.nulls) return false;
    if (!values) return true;
    return integers == o.integers && std::fabs(floats - o.floats) <= 1e-6 * std::fabs(floats) &&
           text == o.text && std::fabs(days - o.days) <= 1e-6 * std::fabs(days);
  }
};

class Way {
 public:
  virtual ~Way() = default;
  virtual Digest Pass() = 0;
};

// A new store at `path` with the table BENCH of `rows` rows: 14 columns,
// texts in UTF-8.
void CreateStore(const std::string& path, int rows);

// OCI alone: the buffer types the layer chooses, array fetches of kBatch.
std::unique_ptr<Way> MakeRawWay(const std::string& store);
// sqlite3_step over the stand-in's own table.
std::unique_ptr<Way> MakeSqliteWay(const std::string& store);

}  // namespace kavo::bench

#endif  // KAVO_BENCH_ORACLE_READ_WAYS_H_
