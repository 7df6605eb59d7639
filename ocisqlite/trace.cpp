#include "trace.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace kavo::ocisqlite {

void TraceRecord(const std::string& text) {
  const char* path = std::getenv("OCISQLITE_TRACE");
  if (path == nullptr || *path == 0) return;
  std::string line;
  for (char c : text) {
    if (c == '\n')
      line += "\\n";
    else if (c != '\r')
      line += c;
  }
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
  while (line.size() >= 2 && line.compare(line.size() - 2, 2, "\\n") == 0) line.resize(line.size() - 2);
  static std::mutex mutex;
  std::lock_guard<std::mutex> lock(mutex);
  if (FILE* f = std::fopen(path, "a")) {
    std::fputs(line.c_str(), f);
    std::fputc('\n', f);
    std::fclose(f);
  }
}

}  // namespace kavo::ocisqlite
