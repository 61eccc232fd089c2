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

namespace strivex {

class PortSerial {
 public:
  PortSerial();
  virtual ~PortSerial();
  PortSerial(const PortSerial&) = delete;
  PortSerial& operator=(const PortSerial&) = delete;

  // Writes every argument into the field of the same name.
  static void Configure(LineSettings& dcb, uint32_t BaudRate, uint8_t ByteSize, uint8_t Parity,
                        uint8_t StopBits, uint32_t fBinary, uint32_t DCBlength, uint32_t fParity,
                        uint32_t fOutxCtsFlow, uint32_t fOutxDsrFlow, uint32_t fDtrControl,
                        uint32_t fDsrSensitivity, uint32_t fTXContinueOnXoff, uint32_t fOutX,
                        uint32_t fInX, uint32_t fErrorChar, uint32_t fNull, uint32_t fRtsControl,
                        uint32_t fAbortOnError, uint32_t fDummy2, uint16_t wReserved,
                        uint16_t XonLim, uint16_t XoffLim, char XonChar, char XoffChar,
                        char ErrorChar, char EofChar, char EvtChar, uint16_t wReserved1);

  // Opens the port exclusively with the settings. False without a message when the device cannot
  // be opened (missing, in use); false with a message when the settings or the time-out cannot
  // be applied. A reader still running switches to the new handle.
  bool Open(const std::string& portName, const LineSettings& dcb);

  // Closes the handle; a running reader idles until the port is opened again.
  bool Close();

  // Starts the reader of the next message on `context` (after the previous reader has ended).
  void StartReader(ReceiveContext& context);

  // Sends `length` bytes of `data` (up to a NUL; zeros after it) followed by the check byte.
  // Shows "Portul e inchis" when the port is closed.
  void Send(const char* data, int32_t length, bool synchronous);

  bool IsOpen() const;
  // The open device's descriptor (-1 when closed), for diagnostics such as reading back what the
  // device accepted.
  int NativeHandle() const;
  bool ReaderRunning() const;
  // The name given to the last Open, or set for the next re-open.
  std::string PortName() const;
  void SetPortName(const std::string& name);

 private:
  void CloseHandleLocked();
  uint64_t TakeSendTurn();
  // Puts one frame (check byte included) on the wire when its turn comes.
  void WriterStep(uint64_t turn, std::vector<char> frame);
  void JoinFinishedWriters();

  std::shared_ptr<PortLink> link_;
  mutable std::mutex mutex_;  // port name, handle and reader thread
  std::string portName_;
  int handle_ = -1;  // changed under mutex_ and the link's exclusive guard
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
// frame's start character and is not covered).
uint8_t FrameCheckByte(const char* frame, int32_t length);

// One writer step on a prepared buffer of `length` bytes plus room for two: appends the check
// byte and returns the bytes to put on the wire.
std::vector<char> FrameWithCheckByte(const char* data, int32_t length);

}  // namespace strivex
