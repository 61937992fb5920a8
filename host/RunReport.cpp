#include "host/RunReport.h"

#include <cinttypes>
#include <cstdio>
#include <unistd.h>

namespace {
constexpr DWORD kRedrawMs = 500;

std::string HumanBytes(uint64_t bytes) {
    char text[32];
    if (bytes >= (1ull << 30))
        std::snprintf(text, sizeof text, "%.2f GiB", bytes / double(1ull << 30));
    else if (bytes >= (1ull << 20))
        std::snprintf(text, sizeof text, "%.2f MiB", bytes / double(1ull << 20));
    else
        std::snprintf(text, sizeof text, "%" PRIu64 " B", bytes);
    return text;
}
}  // namespace

namespace {
// Length of the valid UTF-8 sequence at text[at], or 0 when it is not one.
size_t Utf8Length(const std::string& text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char c = byte(at);
    size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || at + length > text.size()) return 0;
    uint32_t code = length == 1 ? c : c & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        code = code << 6 | (byte(at + i) & 0x3F);
    }
    static constexpr uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kShortest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}
}  // namespace

std::string JsonEscape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t length = Utf8Length(text, i);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || length == 0) {
            // Control characters, and bytes that are not UTF-8, as the code point of
            // the byte's value, so that any file name gives valid JSON.
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out.append(text, i, length);
            i += length;
            continue;
        }
        ++i;
    }
    return out;
}

RunReport::RunReport(std::string command, std::function<uint64_t()> bytes, std::function<std::vector<Field>()> extra)
    : command_(std::move(command)), bytes_(std::move(bytes)), extra_(std::move(extra)) {}

RunReport::~RunReport() { Finish(); }

void RunReport::Start() {
    start_ = Clock::now();
    live_ = isatty(STDERR_FILENO) == 1;
    if (live_) drawer_ = std::thread([this] { DrawLoop(); });
}

void RunReport::Finish() {
    if (finished_) return;
    finished_ = true;
    end_ = Clock::now();
    stop_.Set();
    if (drawer_.joinable()) {
        drawer_.join();
        std::fputs("\r\033[K", stderr);
    }
}

double RunReport::Seconds() const {
    auto end = finished_ ? end_ : Clock::now();
    return std::chrono::duration<double>(end - start_).count();
}

void RunReport::DrawLoop() {
    while (!stop_.Wait(kRedrawMs)) {
        uint64_t bytes = bytes_();
        double seconds = Seconds();
        std::string line = command_ + ": " + HumanBytes(bytes);
        char rate[48];
        std::snprintf(rate, sizeof rate, "  %.3f Mbit/s  %.1f s", seconds > 0 ? bytes * 8 / seconds / 1e6 : 0.0,
                      seconds);
        line += rate;
        if (extra_) {
            for (const Field& f : extra_()) {
                if (!f.jsonOnly) line += "  " + f.name + " " + (f.words.empty() ? f.value : f.words);
            }
        }
        std::fprintf(stderr, "\r\033[K%s", line.c_str());
        std::fflush(stderr);
    }
}

RunReport::Field RunReport::Number(const std::string& name, double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.3f", value);
    return {name, text, false, {}, false};
}

RunReport::Field RunReport::Integer(const std::string& name, int64_t value) {
    return {name, std::to_string(value), false, {}, false};
}

RunReport::Field RunReport::Text(const std::string& name, const std::string& value) { return {name, value, true, {}, false}; }

RunReport::Field RunReport::Lock(bool locked) {
    return {"lock", locked ? "1" : "0", false, locked ? "locked" : "unlocked", false};
}

std::vector<RunReport::Field> RunReport::Signal(uint16_t level) {
    const int percent = (level * 100 + 32767) / 65535;
    Field signal = Integer("signal", level);
    signal.words = std::to_string(level) + "/65535(" + std::to_string(percent) + "%)";
    Field share = Integer("signal_percent", percent);
    share.jsonOnly = true;
    return {signal, share};
}

void RunReport::PrintSummary(bool json, const std::vector<Field>& fields) const {
    uint64_t bytes = bytes_();
    double seconds = Seconds();
    // A run that ended at once has no meaningful rate.
    double bitrate = bitrate_ ? bitrate_() : 0.0;
    if (bitrate <= 0) bitrate = seconds >= 0.001 ? bytes * 8.0 / seconds : 0.0;
    std::vector<Field> all = {Text("command", command_), Integer("bytes", static_cast<int64_t>(bytes)),
                              Number("seconds", seconds), Integer("bitrate", static_cast<int64_t>(bitrate + 0.5))};
    all.insert(all.end(), fields.begin(), fields.end());
    std::string line;
    if (json) {
        line = "{";
        for (size_t i = 0; i < all.size(); ++i) {
            if (i) line += ",";
            line += "\"" + all[i].name + "\":";
            line += all[i].isText ? "\"" + JsonEscape(all[i].value) + "\"" : all[i].value;
        }
        line += "}";
    } else {
        for (const Field& f : all) {
            if (f.jsonOnly) continue;
            if (!line.empty()) line += " ";
            line += f.name + "=" + (f.words.empty() ? f.value : f.words);
        }
    }
    std::fprintf(stderr, "%s\n", line.c_str());
}
