#pragma once
#include <termios.h>

namespace norvex {

// The line the relays expect: 115200 baud, 8 data bits, no parity, 1 stop bit, raw bytes both
// ways (no echo, no line editing, no CR/LF translation, no signals), no hardware or XON/XOFF flow
// control, receiver on, modem lines ignored.  DTR/RTS are left as the port had them: nothing
// here drives them, and HUPCL keeps the value the port had.
void ApplyRelayLineSettings(termios& t);

// True when t carries the settings above (what the driver kept after tcsetattr).
bool HasRelayLineSettings(const termios& t);

}  // namespace norvex
