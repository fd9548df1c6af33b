#pragma once
#include <string>

#include "bridge/engine_counters.h"

namespace norvex {

// One chunk of serial data as a byte monitor shows it, on one line:
//   2026-12-09T18:55:01.123456Z to-group   seq 12 len 8: 01 03 00 00 00 0A C5 CD |........|
//   2026-12-09T18:55:01.140211Z from-group key 0000A1B2 dev 1 seq 7 len 9: 01 03 04 ... |...|
// Time in UTC to the microsecond; for data from the group the relay's sender key (8 hex
// digits, as its data packet carries it) and its device number ("dev ?" while unknown); the
// sequence or packet number in decimal; the bytes in hex, two digits each, separated by spaces;
// then the printable ASCII characters, "." for the rest.
std::string FormatTraceLine(const TraceRecord& record);

}  // namespace norvex
