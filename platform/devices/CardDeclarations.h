#pragma once
// "cards.conf": simulated cards as a person declares them, one section per card:
//
//   # a DVB-S card with a generated stream of 8 Mbit/s
//   [QUARNOX0]
//   tuner = 2            tuner type of the card driver (1, 2, 11 DVB-S; 3 DVB-C;
//                        4, 5 DVB-T; 12 DVB-S2; 6 and others: unknown)
//   type = dvbs          dvbs dvbc dvbt dvbs2 or a feed type number; default from tuner
//   rate = 8000000       generated stream, bit/s (k and M suffixes allowed)
//   stream = /data/a.ts  or a transport-stream file, looped at its PCR rate (or at rate)
//   seed = 1             generated payload seed
//   lock-delay = 150     ms from a tune until the lock bit shows
//   signal = 48000       level while locked, 0 to 65535, or a percentage such as 75%
//   reception = 0        reception value while locked
//   driver = 2.4.1       driver version text
//   extension = yes      the card extension answers "present"
//   offset = 93          stream bytes skipped at the first read (starts inside a packet)
//   never-lock = no      fault switches: a tune never locks,
//   empty-reads = no     reads complete with 0 bytes,
//   no-sync = no         reads carry no 0x47,
//   vanish-after = 0     the card vanishes this many seconds after it was opened
//
// Section names are device names (the path without "\\.\"). '#' and ';' begin comments.
#include <string>
#include <vector>

#include "platform/devices/SimulatedCard.h"

struct CardDeclarations {
    std::vector<SimulatedCardDeclaration> cards;
    // "cards.conf:LINE: what is wrong" for the first bad line; its card is left out.
    std::string problem;
};

// A missing file declares no card and is no problem.
CardDeclarations ReadCardDeclarations(const std::string& path);
CardDeclarations ParseCardDeclarations(const std::string& text, const std::string& fileName);
