// A temporary directory for one test, removed with what is left in it.
#ifndef KAVO_TESTKIT_TEMP_DIR_H_
#define KAVO_TESTKIT_TEMP_DIR_H_

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <random>
#include <string>

namespace kavo::test {

class TempDir {
 public:
  // The directory is `prefix` followed by six random characters.
  explicit TempDir(const std::string& prefix = DefaultPrefix()) {
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::mt19937 draw(seed());
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      std::string name = prefix;
      for (int i = 0; i < 6; ++i) name += kChars[draw() % (sizeof kChars - 1)];
      std::error_code ec;
      if (std::filesystem::create_directory(name, ec)) {
        std::filesystem::permissions(name, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace, ec);
        path_ = name;
      } else if (ec) {
        throw std::runtime_error("cannot create " + name + ": " + ec.message());
      }
    }
    if (path_.empty()) throw std::runtime_error("no free name for " + prefix + "XXXXXX");
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
  static std::string DefaultPrefix() {
#ifdef _WIN32
    return (std::filesystem::temp_directory_path() / "kavo_test_").string();
#else
    return "/tmp/kavo_test_";
#endif
  }

  std::string path_;
};

}  // namespace kavo::test

#endif  // KAVO_TESTKIT_TEMP_DIR_H_
