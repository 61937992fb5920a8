#pragma once
// Tuning from the command line for any live feed: "KEY=VALUE,..." as users of DVB tools
// write it, turned into the 15-word tuning record that ITSFeedControl::Tune takes, and
// raw DiSEqC messages given in hexadecimal.
//
// Keys (case does not matter; a key may come once):
//   delsys    dvbs dvbs2 dvbc dvbc2 dvbt dvbt2 atsc      word 0 (default: the feed's type)
//   freq      MHz (11836, 11836.5); a value from 100,000 on is read as kHz, from
//             100,000,000 on as Hz                         word 1 in kHz (ATSC: channel)
//   sr        kS/s (27500); from 100,000 on read as S/s    word 2 in S/s
//   pol       h v l r (l reads as h, r as v)               word 6, 0 or 1
//   modulation qpsk 8psk (satellite); qam16 qam32 qam64 qam128 qam256 (cable)  word 7
//   bw        8 7 6 5 (MHz)                                word 8 code 0 1 2 3
//   diseqc    A B C D or 1 2 3 4: the LNB input, sent as a committed-switch message
//   fec       auto only: the record carries no inner code, the tuner finds it
// Aliases: frequency; symbolrate, symbol_rate, srate; polarisation, polarization;
// mod; bandwidth; src, input; channel, ch (ATSC, the channel number instead of freq).
// Satellite word 5 (high band) is 1 when the frequency exceeds 11,700 MHz.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "feeds/sdk/Feed.h"

struct ITSFeedControl;

struct TuneOptions {
    TuningParameters record{};
    // 0..3 for A..D when the text named an input.
    std::optional<uint8_t> diseqcInput;
};

// feedType: the type code of the feed to tune, the delivery system unless delsys says
// otherwise. On failure *error holds one line naming the key and what it takes.
std::optional<TuneOptions> ParseTuneOptions(std::string_view text, int32_t feedType, std::string* error);

// "E0 10 38 F3", "e0:10:38:f3", "E01038F3" or "0xE0,0x10,..."; 3 to 6 bytes as a
// DiSEqC message has (framing, address, command, up to three data bytes).
std::optional<std::vector<uint8_t>> ParseDiseqcHex(std::string_view text, std::string* error);

// Tunes the feed the filter runs: the committed-switch message first when an input was
// named (repeated and given time to settle, as the card dialog sends it), then the record.
// On failure *error names the feed (feedName) and, for a refused record, the tuning text.
bool TuneThroughFilter(ITSFeedControl* control, const TuneOptions& tuning, const std::string& feedName,
                       const std::string& tuneText, std::string* error);

// The keys as the help shows them.
extern const char* const kTuneOptionsHelp;
