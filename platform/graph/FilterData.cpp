#include "platform/graph/FilterData.h"

namespace {

// Keeps a damaged value from making us reserve absurd amounts of memory.
constexpr DWORD kMaxPins = 1024;
constexpr DWORD kMaxTypes = 4096;
constexpr DWORD kMaxNameUnits = 4096;

class Writer {
public:
    void U16(uint16_t v) { out_.push_back(BYTE(v)); out_.push_back(BYTE(v >> 8)); }
    void U32(uint32_t v) { U16(uint16_t(v)); U16(uint16_t(v >> 16)); }
    void Guid(const GUID& g) {
        U32(g.Data1);
        U16(g.Data2);
        U16(g.Data3);
        out_.insert(out_.end(), g.Data4, g.Data4 + 8);
    }
    void Text(const std::u16string& s) { for (char16_t c : s) U16(c); }
    std::vector<BYTE> Take() { return std::move(out_); }

private:
    std::vector<BYTE> out_;
};

class Reader {
public:
    Reader(const BYTE* p, size_t n) : p_(p), n_(n) {}
    bool U16(uint16_t* v) {
        if (n_ - pos_ < 2) return false;
        *v = uint16_t(p_[pos_] | (p_[pos_ + 1] << 8));
        pos_ += 2;
        return true;
    }
    bool U32(uint32_t* v) {
        uint16_t lo, hi;
        if (!U16(&lo) || !U16(&hi)) return false;
        *v = uint32_t(lo) | (uint32_t(hi) << 16);
        return true;
    }
    bool Guid(GUID* g) {
        if (!U32(&g->Data1) || !U16(&g->Data2) || !U16(&g->Data3) || n_ - pos_ < 8) return false;
        std::memcpy(g->Data4, p_ + pos_, 8);
        pos_ += 8;
        return true;
    }
    bool Text(uint32_t units, std::u16string* s) {
        if ((n_ - pos_) / 2 < units) return false;
        s->resize(units);
        for (uint32_t i = 0; i < units; ++i) {
            uint16_t c = 0;
            U16(&c);
            (*s)[i] = char16_t(c);
        }
        return true;
    }
    bool AtEnd() const { return pos_ == n_; }

private:
    const BYTE* p_;
    size_t n_;
    size_t pos_ = 0;
};

}  // namespace

std::vector<BYTE> FilterData::Encode() const {
    Writer w;
    w.U32(kLayoutVersion);
    w.U32(merit);
    w.U32(static_cast<uint32_t>(pins.size()));
    w.U32(0);
    for (const Pin& pin : pins) {
        w.U32(pin.flags);
        w.U32(static_cast<uint32_t>(pin.types.size()));
        w.U32(static_cast<uint32_t>(pin.name.size()));
        w.U32(static_cast<uint32_t>(pin.connectsToPin.size()));
        w.Guid(pin.connectsToFilter);
        w.Text(pin.name);
        w.Text(pin.connectsToPin);
        for (const MediaType& t : pin.types) {
            w.Guid(t.major);
            w.Guid(t.minor);
        }
    }
    return w.Take();
}

std::optional<FilterData> FilterData::Decode(const BYTE* data, size_t size) {
    if (!data) return std::nullopt;
    Reader r(data, size);
    uint32_t version, pinCount, reserved;
    FilterData fd;
    if (!r.U32(&version) || version != kLayoutVersion) return std::nullopt;
    if (!r.U32(&fd.merit) || !r.U32(&pinCount) || !r.U32(&reserved)) return std::nullopt;
    if (pinCount > kMaxPins) return std::nullopt;
    fd.pins.resize(pinCount);
    for (Pin& pin : fd.pins) {
        uint32_t typeCount, nameUnits, toPinUnits;
        if (!r.U32(&pin.flags) || !r.U32(&typeCount) || !r.U32(&nameUnits) || !r.U32(&toPinUnits))
            return std::nullopt;
        if (typeCount > kMaxTypes || nameUnits > kMaxNameUnits || toPinUnits > kMaxNameUnits) return std::nullopt;
        if (!r.Guid(&pin.connectsToFilter) || !r.Text(nameUnits, &pin.name) || !r.Text(toPinUnits, &pin.connectsToPin))
            return std::nullopt;
        pin.types.resize(typeCount);
        for (MediaType& t : pin.types)
            if (!r.Guid(&t.major) || !r.Guid(&t.minor)) return std::nullopt;
    }
    // Trailing bytes mean the value was written by something else; better to ignore
    // the entry than to guess.
    if (!r.AtEnd()) return std::nullopt;
    return fd;
}
