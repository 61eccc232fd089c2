#include "serial/port_serial.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include "serial/arbitrary_baud.h"
#include "serial/port_link.h"
#include "serial/port_names.h"
#include "serial/reader_thread.h"
#include "serial/termios_mapping.h"
#include "util/format.h"
#include "util/unique_fd.h"

namespace strivex {

namespace {

constexpr int kIdleNice = 15;

// Opens the device for reading and writing, exclusively; an empty owner (errno set) when it
// cannot.
UniqueFd OpenExclusive(const std::string& device) {
  // Non-blocking only for the open itself: a modem line without carrier must not hang it.
  UniqueFd fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return fd;
  if (!isatty(fd.get()) || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    // A lock held elsewhere means the port is in use, which EBUSY says in the logs.
    const int error = !isatty(fd.get()) ? ENOTTY : errno == EWOULDBLOCK ? EBUSY : errno;
    fd.Reset();
    errno = error;
    return fd;
  }
  ::ioctl(fd.get(), TIOCEXCL);  // other opens fail too (root passes this one, hence the flock)
  ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
  return fd;
}

// Applies the line settings; 0, or the error number to report.
int ApplyLineSettings(int fd, const LineSettings& dcb) {
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) return errno;
  if (!MapLineSettings(dcb, tio)) return EINVAL;
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) return errno;
  if (!StandardSpeed(dcb.BaudRate) && !SetArbitraryBaud(fd, dcb.BaudRate)) return errno;
  // Raise DTR and RTS; a pseudo-terminal has no modem lines and refuses, which is harmless.
  int lines = 0;
  if (dcb.fDtrControl == DTR_CONTROL_ENABLE) lines |= TIOCM_DTR;
  if (dcb.fRtsControl == RTS_CONTROL_ENABLE) lines |= TIOCM_RTS;
  if (lines != 0) ::ioctl(fd, TIOCMBIS, &lines);
  return 0;
}

bool ApplyReadTimeout(int fd) {
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) return false;
  MapReadTimeout(tio);
  return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

}  // namespace

struct PortSerial::Writer {
  std::thread thread;
  std::atomic<bool> done{false};
};

PortSerial::PortSerial() : link_(std::make_shared<PortLink>()) {}

PortSerial::~PortSerial() {
  {
    std::lock_guard lock(writersMutex_);
    for (auto& writer : writers_) writer->thread.join();
    writers_.clear();
  }
  // A reader that was never told to stop would outlive the object it reports to.
  std::thread reader;
  {
    std::lock_guard lock(mutex_);
    if (readerContext_ != nullptr && ReaderRunning()) readerContext_->stop.store(1);
    reader = std::move(reader_);
  }
  link_->Wake();
  if (reader.joinable()) reader.join();
  std::lock_guard lock(mutex_);
  CloseHandleLocked();
}

void PortSerial::Configure(LineSettings& dcb, uint32_t BaudRate, uint8_t ByteSize, uint8_t Parity,
                           uint8_t StopBits, uint32_t fBinary, uint32_t DCBlength,
                           uint32_t fParity, uint32_t fOutxCtsFlow, uint32_t fOutxDsrFlow,
                           uint32_t fDtrControl, uint32_t fDsrSensitivity,
                           uint32_t fTXContinueOnXoff, uint32_t fOutX, uint32_t fInX,
                           uint32_t fErrorChar, uint32_t fNull, uint32_t fRtsControl,
                           uint32_t fAbortOnError, uint32_t fDummy2, uint16_t wReserved,
                           uint16_t XonLim, uint16_t XoffLim, char XonChar, char XoffChar,
                           char ErrorChar, char EofChar, char EvtChar, uint16_t wReserved1) {
  dcb.BaudRate = BaudRate;
  dcb.ByteSize = ByteSize;
  dcb.Parity = Parity;
  dcb.StopBits = StopBits;
  dcb.fBinary = fBinary;
  dcb.DCBlength = DCBlength;
  dcb.fParity = fParity;
  dcb.fOutxCtsFlow = fOutxCtsFlow;
  dcb.fOutxDsrFlow = fOutxDsrFlow;
  dcb.fDtrControl = fDtrControl;
  dcb.fDsrSensitivity = fDsrSensitivity;
  dcb.fTXContinueOnXoff = fTXContinueOnXoff;
  dcb.fOutX = fOutX;
  dcb.fInX = fInX;
  dcb.fErrorChar = fErrorChar;
  dcb.fNull = fNull;
  dcb.fRtsControl = fRtsControl;
  dcb.fAbortOnError = fAbortOnError;
  dcb.fDummy2 = fDummy2;
  dcb.wReserved = wReserved;
  dcb.XonLim = XonLim;
  dcb.XoffLim = XoffLim;
  dcb.XonChar = XonChar;
  dcb.XoffChar = XoffChar;
  dcb.ErrorChar = ErrorChar;
  dcb.EofChar = EofChar;
  dcb.EvtChar = EvtChar;
  dcb.wReserved1 = wReserved1;
}

bool PortSerial::Open(const std::string& portName, const LineSettings& dcb) {
  std::string reason, notice;
  return Open(portName, dcb, reason, notice);
}

bool PortSerial::Open(const std::string& portName, const LineSettings& dcb, std::string& reason,
                      std::string& notice) {
  reason.clear();
  notice.clear();
  {
    std::lock_guard lock(mutex_);
    portName_ = portName;
  }
  const auto failed = [&reason](int error) {
    reason = std::strerror(error);
    errno = error;
    return false;
  };
  UniqueFd fd = OpenExclusive(DevicePathForPort(portName));
  if (!fd.valid()) return failed(errno);
  // On the failures below `fd` closes at once, so a later open of the same port works.
  if (const int error = ApplyLineSettings(fd.get(), dcb); error != 0) {
    fd.Reset();
    notice = Format("Eroare %d la la setare parametrii specificati in DCB", error);
    return failed(error);
  }
  if (!ApplyReadTimeout(fd.get())) {
    const int error = errno;
    fd.Reset();
    notice = "Eroare la setare TimeOut";
    return failed(error);
  }
  std::lock_guard lock(mutex_);
  // The reader idles while the handle changes hands (it would otherwise keep taking the guard).
  link_->open.store(0, std::memory_order_release);
  link_->Wake();
  {
    std::unique_lock exclusive(link_->handleGuard);
    // A handle left behind by a vanished device is closed here, not leaked.
    handle_ = std::move(fd);
    if (link_->readerRunning.load() != 0 && readerContext_ != nullptr) {
      readerContext_->portHandle.store(handle_.get(), std::memory_order_release);
    }
  }
  link_->open.store(1, std::memory_order_release);
  return true;
}

void PortSerial::CloseHandleLocked() {
  link_->open.store(0, std::memory_order_release);
  link_->Wake();
  std::unique_lock exclusive(link_->handleGuard);  // the reader is not waiting on it now
  const bool hadHandle = handle_.valid();
  handle_.Reset();
  // A port closed already (or never opened) owes its context nothing, and that context may be
  // gone: its consumer ended and was let go before the port's destruction closes it once more.
  if (hadHandle && readerContext_ != nullptr) readerContext_->portHandle.store(-1, std::memory_order_release);
}

bool PortSerial::Close() {
  std::lock_guard lock(mutex_);
  const bool hadHandle = handle_.valid();
  CloseHandleLocked();
  return hadHandle;
}

bool PortSerial::StartReader(ReceiveContext& context) {
  std::lock_guard lock(mutex_);
  // One reader at a time: the previous one has finished its message (or was stopped) by now,
  // and is joined before the next one is armed.
  if (reader_.joinable()) reader_.join();
  context.portHandle.store(handle_.get(), std::memory_order_release);
  context.finished.store(0, std::memory_order_release);
  context.port.store(link_.get(), std::memory_order_release);
  link_->readerRunning.store(1, std::memory_order_release);
  readerContext_ = &context;
  try {
    reader_ = std::thread([&context] { ReaderThread(context); });
  } catch (const std::system_error&) {
    link_->readerRunning.store(0, std::memory_order_release);
    context.finished.store(1, std::memory_order_release);  // nothing to wait for
    return false;
  }
  return true;
}

uint8_t FrameCheckByte(const char* frame, int32_t length) {
  // Byte 1 is read even for shorter frames; FrameWithCheckByte always provides it.
  auto check = static_cast<uint8_t>(frame[1]);
  for (int32_t i = 2; i < length; ++i) check ^= static_cast<uint8_t>(frame[i]);
  return check;
}

std::vector<char> FrameWithCheckByte(const char* data, int32_t length) {
  if (length < 0) length = 0;
  std::vector<char> frame(static_cast<size_t>(length) + 2, '\0');
  // Copying stops at a NUL; the rest of the frame stays zero.
  for (int32_t i = 0; i < length && data[i] != '\0'; ++i) frame[static_cast<size_t>(i)] = data[i];
  frame[static_cast<size_t>(length)] = static_cast<char>(FrameCheckByte(frame.data(), length));
  frame.resize(static_cast<size_t>(length) + 1);
  return frame;
}

uint64_t PortSerial::TakeSendTurn() {
  std::lock_guard lock(sendMutex_);
  return nextSendTurn_++;
}

bool PortSerial::WriterStep(uint64_t turn, std::vector<char> frame) {
  {
    std::unique_lock lock(sendMutex_);
    sendTurnChanged_.wait(lock, [&] { return sendTurn_ == turn; });
  }
  size_t written = 0;
  {
    // The handle changes only under the exclusive guard, so holding it shared is enough to read it.
    std::shared_lock use(link_->handleGuard);
    const int fd = handle_.get();
    while (fd >= 0 && written < frame.size()) {
      const ssize_t n = ::write(fd, frame.data() + written, frame.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // the count written has never been checked
      written += static_cast<size_t>(n);
    }
  }
  std::lock_guard lock(sendMutex_);
  ++sendTurn_;
  sendTurnChanged_.notify_all();
  return !frame.empty() && written == frame.size();
}

bool PortSerial::SendFrame(const std::string& frame) {
  if (!IsOpen()) return false;
  return WriterStep(TakeSendTurn(), FrameWithCheckByte(frame.data(), static_cast<int32_t>(frame.size())));
}

void PortSerial::JoinFinishedWriters() {
  std::lock_guard lock(writersMutex_);
  std::erase_if(writers_, [](const std::unique_ptr<Writer>& writer) {
    if (!writer->done.load()) return false;
    writer->thread.join();
    return true;
  });
}

std::string PortSerial::Send(const char* data, int32_t length, bool synchronous) {
  if (!IsOpen()) return "Portul e inchis";
  std::vector<char> frame = FrameWithCheckByte(data, length);
  const uint64_t turn = TakeSendTurn();
  if (synchronous) {
    WriterStep(turn, std::move(frame));
    return {};
  }
  JoinFinishedWriters();
  auto writer = std::make_unique<Writer>();
  Writer* self = writer.get();
  try {
    writer->thread = std::thread([this, self, turn, frame = std::move(frame)]() mutable {
      setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kIdleNice);
      WriterStep(turn, std::move(frame));
      self->done.store(true);
    });
  } catch (const std::system_error&) {
    WriterStep(turn, {});  // give up the turn so later frames are not held back
    return kNoThreadNotice;
  }
  std::lock_guard lock(writersMutex_);
  writers_.push_back(std::move(writer));
  return {};
}

bool PortSerial::IsOpen() const { return link_->open.load(std::memory_order_acquire) != 0; }

int PortSerial::NativeHandle() const {
  std::lock_guard lock(mutex_);
  return handle_.get();
}

bool PortSerial::ReaderRunning() const {
  return link_->readerRunning.load(std::memory_order_acquire) != 0;
}

std::string PortSerial::PortName() const {
  std::lock_guard lock(mutex_);
  return portName_;
}

void PortSerial::SetPortName(const std::string& name) {
  std::lock_guard lock(mutex_);
  portName_ = name;
}

}  // namespace strivex
