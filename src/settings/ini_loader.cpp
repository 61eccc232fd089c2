#include "settings/ini_loader.h"

#include <cerrno>
#include <iterator>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "util/format.h"
#include "util/text_scan.h"

namespace strivex {

namespace {

class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::string& name) : fd_(::open(name.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~ReadOnlyFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  bool IsOpen() const { return fd_ >= 0; }

  // Up to `size` bytes; a read error keeps what was read before it.
  std::string Read(size_t size) {
    std::string bytes(size, '\0');
    size_t got = 0;
    while (got < size) {
      const ssize_t n = ::read(fd_, bytes.data() + got, size - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    return bytes;
  }

 private:
  int fd_;
};

}  // namespace

bool INILoader::Load(const std::string& fileName) {
  failure_.clear();
  struct stat info {};
  if (::stat(fileName.c_str(), &info) != 0) {
    const int code = errno;
    errno = 0;
    // A missing file just means this installation has no translations.
    if (code != ENOENT) failure_ = Format("Eroare: %d la fuctia FindFirstFile", code);
    return false;
  }
  // A directory or device of that name cannot be read as the file.
  if (!S_ISREG(info.st_mode)) return false;
  // The size has always been taken from its low 32 bits.
  const auto size = static_cast<uint32_t>(static_cast<uint64_t>(info.st_size));

  ReadOnlyFile file(fileName);
  if (!file.IsOpen()) return false;
  std::vector<IniEntry> read;
  try {
    read = ParseIniText(file.Read(size));
  } catch (const std::bad_alloc&) {
    return false;  // a file too large to hold is as good as unreadable
  }
  // Entries go after any already held, so an earlier name keeps answering first.
  entries_.insert(entries_.end(), std::make_move_iterator(read.begin()),
                  std::make_move_iterator(read.end()));
  return true;
}

bool INILoader::GetValue(std::string& value, std::string_view name) const {
  // Copied before `value` is emptied, in case `name` looks into it.
  std::string wanted(name);
  value.clear();
  ToUpperAscii(wanted);
  std::string candidate;
  for (const IniEntry& entry : entries_) {
    candidate = entry.name;
    ToUpperAscii(candidate);
    if (candidate == wanted) {
      value = entry.value;
      return true;
    }
  }
  return false;
}

std::vector<IniEntry> ParseIniText(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::vector<IniEntry> entries;
  int32_t pos = 0;
  std::string_view line;
  // The first over-long line ends the reading; what came before it stays.
  while (ReadLineView(text, pos, line, INILoader::kLineLimit)) {
    if (line.empty()) continue;
    int32_t linePos = 0;
    std::string_view name;
    std::string_view value;
    // A failed scan leaves its part empty: a line of spaces is an entry with no name and no value.
    NextTokenView(line, linePos, name, INILoader::kLineLimit, '=');
    NextTokenView(line, linePos, value, INILoader::kLineLimit, '\r');
    entries.push_back(IniEntry{std::string(name), std::string(value)});
  }
  return entries;
}

}  // namespace strivex
