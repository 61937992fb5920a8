#pragma once
// Which tune-request builder a BDA feed uses for a tuning record, and with which
// arguments, kept apart from the builders so the choice can be checked on its own.
#include <cstdint>
#include <optional>

#include "feeds/sdk/Feed.h"

struct BdaTuneRequestPlan {
    enum class Builder : uint8_t { DvbS, DvbSModulated, DvbC, DvbT, Atsc };
    Builder builder;
    uint32_t frequency = 0;       // kHz; the physical channel for ATSC
    uint32_t symbolRateK = 0;     // kilosymbols per second
    uint32_t horizontal = 0;      // non-zero: horizontal polarisation
    uint32_t satelliteModulation = 0;
    uint32_t qamOrder = 0;        // 16 ... 256
    uint32_t bandwidthMHz = 0;    // 6, 7 or 8

    bool operator==(const BdaTuneRequestPlan&) const = default;
};

// The request that a start makes from the feed's own record; none for a code or
// bandwidth code that no builder serves. A cable modulation code out of range tunes 64-QAM.
std::optional<BdaTuneRequestPlan> PlanStartRequest(const TuningParameters& own);

// The request that a Tune call makes: satellite codes use the feed's own record
// whatever the caller gave; cable and terrestrial refuse codes out of range.
std::optional<BdaTuneRequestPlan> PlanTuneRequest(const TuningParameters& own, const TuningParameters& given);
