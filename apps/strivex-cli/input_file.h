#pragma once
// Whole-file reads for the commands: reports are interpreted from one buffer, and errors carry
// the system's reason so the operator sees why a file was refused.

#include <string>

namespace strivex::cli {

// The name that stands for standard input.
inline constexpr char kStandardInputName[] = "-";

// Reads every byte of `path` (standard input for "-") into `bytes`. Returns 0, or the errno value
// of the failure (EISDIR for a directory, ENOMEM when the file does not fit in memory).
int ReadInputFile(const std::string& path, std::string& bytes);

// Opens `path` and reads from it once, without keeping anything: 0 when it can be read, else the
// errno value. For files that another component loads by name ("-" is a file name here).
int CheckReadable(const std::string& path);

}  // namespace strivex::cli
