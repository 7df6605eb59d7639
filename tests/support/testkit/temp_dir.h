// A temporary directory for one test, removed with what is left in it.
#ifndef KAVO_TESTKIT_TEMP_DIR_H_
#define KAVO_TESTKIT_TEMP_DIR_H_

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace kavo::test {

class TempDir {
 public:
  // The directory is `prefix` followed by six random characters.
  explicit TempDir(const std::string& prefix = "/tmp/kavo_test_") {
    std::string tmpl = prefix + "XXXXXX";
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp " + tmpl);
    path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(File(name), std::ios::binary) << bytes;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(File(name), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  bool Exists(const std::string& name) const { return std::filesystem::exists(File(name)); }

 private:
  std::string path_;
};

}  // namespace kavo::test

#endif  // KAVO_TESTKIT_TEMP_DIR_H_
