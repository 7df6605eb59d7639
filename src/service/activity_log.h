// The activity log: one line per call, appended to a plain text file in the
// ANSI code page with CR LF after each line. Nothing is added to the text.
#ifndef KAVO_SERVICE_ACTIVITY_LOG_H_
#define KAVO_SERVICE_ACTIVITY_LOG_H_

#include <string>

#include "rtl/ustring.h"

namespace kavo {

// The longest log path accepted; a longer one fails with code 3.
constexpr size_t kMaxLogPathLength = 259;

// Appends `text` and CR LF to the file at `path`, creating it when there is
// none. When the file exists, an end-of-file byte (26) within its last 128
// bytes cuts the file at the first such byte first. Raises EInOutError:
//   3 for a path that is too long or whose directory does not exist,
//   5 for a file without any write permission bit, or one that may not be
//     opened for writing, 4 for too many open files, 101 for a full disk,
//   32 (sharing violation) while another process holds the file locked,
//   else the errno value (Linux) or the system's error code (Windows).
// A link at the path is never followed. Each system's backend (posix/,
// win32/) writes the file.
// Calls from threads of this process take turns, so each line is written.
void AppendLogLine(const String& path, StringView text);

// The system's part (posix/, win32/): opens or creates the file, cuts it at
// an end-of-file byte, appends `bytes` whole or not at all. Called by one
// thread at a time.
void AppendToLogFile(const String& path, const std::string& bytes);

}  // namespace kavo

#endif  // KAVO_SERVICE_ACTIVITY_LOG_H_
