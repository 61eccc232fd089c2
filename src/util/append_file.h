#pragma once
// A file opened by name for appending and closed when the object goes. Opening never fails loudly:
// callers that log must carry on whatever happens to the log.

#include <string>
#include <string_view>

namespace strivex {

class AppendFile {
 public:
  // Opens `name` for appending, creating it 0600; a failure only leaves the object closed.
  explicit AppendFile(const std::string& name);
  // Closes the file.
  ~AppendFile();
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Whether the open succeeded; writes to a closed file fail quietly.
  bool IsOpen() const { return fd_ >= 0; }
  // Writes all bytes (one write call when the kernel takes them at once); false on failure.
  bool Write(std::string_view bytes);
  // Writes the text with every LF stored as CR LF, as the text logs have always been on disk.
  bool WriteText(std::string_view text);

 private:
  int fd_ = -1;
};

// Every LF of `text` as CR LF.
std::string WithCrLf(std::string_view text);

}  // namespace strivex
