#pragma once
// The file --frames-file names: every frame with a correct check byte, without that byte, one a
// line as the instrument interface's tools write frames (bytes outside 0x20-0x7E as \xHH), so a
// test compares it byte for byte with what it expected to be sent.

#include <cstdio>
#include <memory>
#include <string>

#include "frame_decoder.h"

namespace strivex::sim {

class FrameFile {
 public:
  // Creates or empties the file; `error` says why when the result is null.
  static std::unique_ptr<FrameFile> Create(const std::string& path, std::string& error);

  // Appends the frame's line and flushes it, so a reader sees it at once. A write failure is
  // logged once; later frames are still tried.
  void Write(const Frame& frame);

 private:
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  FrameFile(std::FILE* file, std::string path) : file_(file), path_(std::move(path)) {}

  std::unique_ptr<std::FILE, Closer> file_;
  std::string path_;
  bool failed_ = false;
};

}  // namespace strivex::sim
