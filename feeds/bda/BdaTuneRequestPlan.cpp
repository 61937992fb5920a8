#include "feeds/bda/BdaTuneRequestPlan.h"

namespace {

using Plan = BdaTuneRequestPlan;

constexpr uint32_t kQamDefault = 64;

std::optional<uint32_t> QamOrder(uint32_t code) {
    switch (code) {
    case 1: return 16;
    case 2: return 32;
    case 3: return 64;
    case 4: return 128;
    case 5: return 256;
    default: return std::nullopt;
    }
}

std::optional<uint32_t> BandwidthMHz(uint32_t code) {
    switch (code) {
    case 0: return 8;
    case 1: return 7;
    case 2: return 6;
    default: return std::nullopt;
    }
}

Plan Satellite(const TuningParameters& own, bool plainWhenQpsk) {
    const uint32_t* w = own.word;
    Plan plan{plainWhenQpsk && w[7] == 0 ? Plan::Builder::DvbS : Plan::Builder::DvbSModulated};
    plan.frequency = w[1];
    plan.symbolRateK = w[2] / 1000;
    // Computed on unsigned words, so any polarisation but 0 is vertical.
    plan.horizontal = 1u - w[6];
    plan.satelliteModulation = w[7];
    return plan;
}

Plan Cable(const TuningParameters& record, uint32_t qamOrder) {
    Plan plan{Plan::Builder::DvbC};
    plan.frequency = record.word[1];
    plan.symbolRateK = record.word[2] / 1000;
    plan.qamOrder = qamOrder;
    return plan;
}

std::optional<Plan> Terrestrial(const TuningParameters& record) {
    const auto bandwidth = BandwidthMHz(record.word[8]);
    if (!bandwidth) return std::nullopt;
    Plan plan{Plan::Builder::DvbT};
    plan.frequency = record.word[1];
    plan.bandwidthMHz = *bandwidth;
    return plan;
}

Plan Atsc(const TuningParameters& record) {
    Plan plan{Plan::Builder::Atsc};
    plan.frequency = record.word[1];
    return plan;
}

}  // namespace

std::optional<BdaTuneRequestPlan> PlanStartRequest(const TuningParameters& own) {
    switch (static_cast<int32_t>(own.word[0])) {
    case kFeedDvbS: return Satellite(own, true);
    case kFeedDvbS2: return Satellite(own, false);
    case kFeedDvbC:
    case kFeedDvbC2: return Cable(own, QamOrder(own.word[7]).value_or(kQamDefault));
    case kFeedDvbT:
    case kFeedDvbT2: return Terrestrial(own);
    case kFeedAtsc: return Atsc(own);
    default: return std::nullopt;
    }
}

std::optional<BdaTuneRequestPlan> PlanTuneRequest(const TuningParameters& own, const TuningParameters& given) {
    switch (static_cast<int32_t>(given.word[0])) {
    case kFeedDvbS: return Satellite(own, true);
    case kFeedDvbS2: return Satellite(own, false);
    case kFeedDvbC:
    case kFeedDvbC2: {
        const auto qam = QamOrder(given.word[7]);
        if (!qam) return std::nullopt;
        return Cable(given, *qam);
    }
    case kFeedDvbT:
    case kFeedDvbT2: return Terrestrial(given);
    case kFeedAtsc: return Atsc(given);
    default: return std::nullopt;
    }
}
