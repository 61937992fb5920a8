#include "net/SsdpCache.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr std::string_view kNotifyLine = "NOTIFY * HTTP/1.1\r\n";
constexpr std::string_view kResponseLine = "HTTP/1.1 200 OK\r\n";

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

std::string Value(const std::optional<std::string_view>& value) { return value ? std::string(*value) : std::string(); }

SsdpCache::Kind NotifyKind(std::optional<std::string_view> nts) {
    if (!nts) return SsdpCache::Kind::Other;
    const std::string_view value = TrimBlanks(*nts);
    if (value == "ssdp:alive") return SsdpCache::Kind::Alive;
    if (value == "ssdp:byebye") return SsdpCache::Kind::Bye;
    if (value == "ssdp:update") return SsdpCache::Kind::Update;
    return SsdpCache::Kind::Other;
}

}  // namespace

std::optional<std::string_view> SsdpHeaderValue(std::string_view message, std::string_view name) {
    size_t lineStart = 0;
    while (lineStart < message.size()) {
        size_t lineEnd = message.find('\n', lineStart);
        if (lineEnd == std::string_view::npos) lineEnd = message.size();
        std::string_view line = message.substr(lineStart, lineEnd - lineStart);
        if (line.size() >= name.size() && EqualNoCase(line.substr(0, name.size()), name)) {
            std::string_view value = line.substr(name.size());
            while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
            return value.substr(0, value.find('\r'));
        }
        lineStart = lineEnd + 1;
    }
    return std::nullopt;
}

uint32_t SsdpMaxAge(std::optional<std::string_view> cacheControl) {
    if (!cacheControl) return SsdpCache::kDefaultMaxAge;
    std::string lower(*cacheControl);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    const size_t at = lower.find("max-age");
    if (at == std::string::npos) return SsdpCache::kDefaultMaxAge;
    std::string_view rest = TrimBlanks(std::string_view(lower).substr(at + 7));
    if (rest.empty() || rest.front() != '=') return SsdpCache::kDefaultMaxAge;
    rest = TrimBlanks(rest.substr(1));
    if (rest.empty() || !std::isdigit(static_cast<unsigned char>(rest.front()))) return SsdpCache::kDefaultMaxAge;
    uint64_t value = 0;
    for (char c : rest) {
        if (!std::isdigit(static_cast<unsigned char>(c))) break;
        value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(c - '0'), SsdpCache::kMaximumMaxAge);
    }
    return static_cast<uint32_t>(std::clamp<uint64_t>(value, SsdpCache::kMinimumMaxAge, SsdpCache::kMaximumMaxAge));
}

void SsdpCache::Process(std::string_view message, const NetAddress& sender, uint32_t nowSeconds) {
    message = message.substr(0, kMessageCapacity);
    const bool response = message.substr(0, kResponseLine.size()) == kResponseLine;
    const bool notify = message.substr(0, kNotifyLine.size()) == kNotifyLine;
    // Searches of others get no answer: this client announces nothing.
    if (!response && !notify) return;

    SsdpCacheEntry record;
    record.sender = sender;
    record.received = nowSeconds;
    record.type = Value(SsdpHeaderValue(message, response ? "ST:" : "NT:"));
    record.usn = Value(SsdpHeaderValue(message, "USN:"));
    record.location = Value(SsdpHeaderValue(message, "LOCATION:"));
    record.maxAge = SsdpMaxAge(SsdpHeaderValue(message, "CACHE-CONTROL:"));
    Apply(record, response ? Kind::Alive : NotifyKind(SsdpHeaderValue(message, "NTS:")));
}

void SsdpCache::Apply(const SsdpCacheEntry& record, Kind kind) {
    const auto found = std::find_if(entries_.begin(), entries_.end(),
                                    [&](const SsdpCacheEntry& entry) { return entry.usn == record.usn; });
    if (found == entries_.end()) {
        if (kind != Kind::Bye && entries_.size() < kCapacity) entries_.push_back(record);
        return;
    }
    switch (kind) {
        case Kind::Alive:
            found->sender = record.sender;
            found->received = record.received;
            break;
        case Kind::Bye: entries_.erase(found); break;
        case Kind::Update: *found = record; break;
        case Kind::Other: break;
    }
}
