#include "serial/line_settings.h"

#include "serial/port_serial.h"

namespace strivex {

LineSettings StartupLineSettings(uint32_t baudRate, uint8_t byteSize, uint8_t parity,
                                 uint8_t stopBits) {
  LineSettings dcb;
  PortSerial::Configure(dcb, baudRate, byteSize, parity, stopBits, /*fBinary=*/1,
                        /*DCBlength=*/28, /*fParity=*/0, /*fOutxCtsFlow=*/0, /*fOutxDsrFlow=*/0,
                        DTR_CONTROL_ENABLE, /*fDsrSensitivity=*/0, /*fTXContinueOnXoff=*/0,
                        /*fOutX=*/0, /*fInX=*/0, /*fErrorChar=*/0, /*fNull=*/0, RTS_CONTROL_ENABLE,
                        /*fAbortOnError=*/0, /*fDummy2=*/0, /*wReserved=*/0, /*XonLim=*/2048,
                        /*XoffLim=*/512, /*XonChar=*/17, /*XoffChar=*/19, /*ErrorChar=*/0,
                        /*EofChar=*/0, /*EvtChar=*/0, /*wReserved1=*/0);
  return dcb;
}

}  // namespace strivex
