#include "frame_file.h"

#include <cerrno>
#include <cstring>

#include "console.h"
#include "worklist/work_list_frame.h"

namespace strivex::sim {

std::unique_ptr<FrameFile> FrameFile::Create(const std::string& path, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "wbe");
  if (file == nullptr) {
    error = "--frames-file: cannot create '" + path + "': " + std::strerror(errno);
    return nullptr;
  }
  return std::unique_ptr<FrameFile>(new FrameFile(file, path));
}

void FrameFile::Write(const Frame& frame) {
  const std::string line = VisibleFrameText(frame.bytes) + '\n';
  const bool written = std::fwrite(line.data(), 1, line.size(), file_.get()) == line.size() &&
                       std::fflush(file_.get()) == 0;
  if (!written && !failed_) Log("cannot write to " + path_ + ": " + std::strerror(errno));
  failed_ = failed_ || !written;
}

}  // namespace strivex::sim
