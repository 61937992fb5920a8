#include "platform/devices/PacedCardStream.h"

#include "platform/sim/PacedStream.h"

namespace {

class PacedCardStream final : public CardStreamSource {
public:
    explicit PacedCardStream(std::unique_ptr<PacedStream> stream) : stream_(std::move(stream)) {}
    size_t Read(uint8_t* out, size_t max, uint32_t waitMs) override { return stream_->Read(out, max, waitMs); }

private:
    std::unique_ptr<PacedStream> stream_;
};

}  // namespace

std::unique_ptr<CardStreamSource> OpenPacedCardStream(const std::string& file, uint32_t bitrate, uint64_t seed,
                                                      std::string* error) {
    PacedStreamSource declared;
    declared.file = file;
    declared.bitrate = bitrate;
    declared.seed = seed;
    std::unique_ptr<PacedStream> stream = PacedStream::Open(declared, error);
    if (!stream) return nullptr;
    return std::make_unique<PacedCardStream>(std::move(stream));
}
