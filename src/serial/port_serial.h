#pragma once
// The analyser's serial line: open and close with line settings, a reader thread per message
// that cuts the byte stream by silence, and a send that appends the XOR check byte.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/line_settings.h"
#include "serial/receive_context.h"
#include "util/unique_fd.h"

namespace strivex {

// The operator's notice when a reader or writer thread cannot be made.
inline constexpr char kNoThreadNotice[] = "Eroare: Nu poat crea fir de executie !";

// One serial port. Every public member may be called from any thread; Open, Close and
// StartReader serialise on one mutex. The destructor stops a running reader and closes the port.
class PortSerial {
 public:
  PortSerial();
  virtual ~PortSerial();
  PortSerial(const PortSerial&) = delete;
  PortSerial& operator=(const PortSerial&) = delete;

  // Writes every argument into the field of the same name; checks nothing.
  static void Configure(LineSettings& dcb, uint32_t BaudRate, uint8_t ByteSize, uint8_t Parity,
                        uint8_t StopBits, uint32_t fBinary, uint32_t DCBlength, uint32_t fParity,
                        uint32_t fOutxCtsFlow, uint32_t fOutxDsrFlow, uint32_t fDtrControl,
                        uint32_t fDsrSensitivity, uint32_t fTXContinueOnXoff, uint32_t fOutX,
                        uint32_t fInX, uint32_t fErrorChar, uint32_t fNull, uint32_t fRtsControl,
                        uint32_t fAbortOnError, uint32_t fDummy2, uint16_t wReserved,
                        uint16_t XonLim, uint16_t XoffLim, char XonChar, char XoffChar,
                        char ErrorChar, char EofChar, char EvtChar, uint16_t wReserved1);

  // Opens the port exclusively with the settings and remembers the name. False when the device
  // cannot be opened (missing, in use), or when the settings or the time-out cannot be applied (the
  // device then closed again). A running reader switches to the new handle; a handle left by a
  // vanished device is closed.
  bool Open(const std::string& portName, const LineSettings& dcb);
  // The same; on failure `reason` says why in the system's words ("No such file or directory",
  // "Device or resource busy") and `notice` what the operator is told, if anything ("Eroare %d la
  // la setare parametrii specificati in DCB", "Eroare la setare TimeOut"); both are emptied on
  // success. errno is kept as the open left it. Nothing is shown: the caller knows its thread.
  bool Open(const std::string& portName, const LineSettings& dcb, std::string& reason, std::string& notice);

  // Closes the handle; a running reader idles until the port is opened again. True when there
  // was a handle to close.
  bool Close();

  // Waits for the previous reader to end (it has completed its message or was told to stop),
  // then starts the reader of the next message on `context`, which must outlive it. False when no
  // thread can be made (the operator is told kNoThreadNotice), `context.finished` then set so
  // nobody waits for it.
  bool StartReader(ReceiveContext& context);

  // Sends `length` bytes of `data` (up to a NUL; zeros after it) followed by the check byte,
  // frames whole and in call order. Synchronous sends write on the caller's thread; the others
  // on a low-priority writer thread. A write error ends the frame silently. Returns what the
  // operator is told when the frame was not handed over ("Portul e inchis": nothing is sent while
  // the port is closed; kNoThreadNotice), empty otherwise; the caller shows it.
  std::string Send(const char* data, int32_t length, bool synchronous);
  // Sends `frame` and its check byte on the caller's thread, in turn with the other sends. True
  // only when every byte reached the device; false, without a message box, when the port is
  // closed or a write fails (the caller keeps the frame to send it again).
  bool SendFrame(const std::string& frame);

  // Whether the port is open now (a vanished device reads as closed).
  bool IsOpen() const;
  // The open device's descriptor (-1 when closed), for diagnostics such as reading back what the
  // device accepted; the port keeps owning it.
  int NativeHandle() const;
  // Whether a reader thread is serving a message now.
  bool ReaderRunning() const;
  // The name given to the last Open, or set for the next re-open.
  std::string PortName() const;
  // Sets the name the next Open through PortName() uses; opens nothing.
  void SetPortName(const std::string& name);

 private:
  void CloseHandleLocked();
  uint64_t TakeSendTurn();
  // Puts one frame (check byte included) on the wire when its turn comes.
  // True when the whole frame was written.
  bool WriterStep(uint64_t turn, std::vector<char> frame);
  void JoinFinishedWriters();

  std::shared_ptr<PortLink> link_;
  mutable std::mutex mutex_;  // port name, handle and reader thread
  std::string portName_;
  // Changed (moved into, reset) only under mutex_ and the link's exclusive guard, so the reader
  // and the writers may use it while they hold the guard shared.
  UniqueFd handle_;
  ReceiveContext* readerContext_ = nullptr;
  std::thread reader_;
  // Frames go out whole and in the order Send was called, asynchronous ones included.
  std::mutex sendMutex_;
  std::condition_variable sendTurnChanged_;
  uint64_t nextSendTurn_ = 0;
  uint64_t sendTurn_ = 0;
  struct Writer;
  std::vector<std::unique_ptr<Writer>> writers_;
  std::mutex writersMutex_;
};

// The check byte of a frame: byte 1 XOR every later byte up to `length - 1` (byte 0 is the
// frame's start character and is not covered). Reads frame[1] even when `length` is below 2.
uint8_t FrameCheckByte(const char* frame, int32_t length);

// The bytes Send puts on the wire: `length` bytes of `data` up to a NUL (zeros after it), then
// the check byte; a negative length counts as 0.
std::vector<char> FrameWithCheckByte(const char* data, int32_t length);

}  // namespace strivex
