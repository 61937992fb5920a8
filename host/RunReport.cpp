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

std::string JsonEscape(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char esc[8];
                    std::snprintf(esc, sizeof esc, "\\u%04x", c);
                    out += esc;
                } else {
                    out += static_cast<char>(c);
                }
        }
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
            for (const Field& f : extra_()) line += "  " + f.name + " " + f.value;
        }
        std::fprintf(stderr, "\r\033[K%s", line.c_str());
        std::fflush(stderr);
    }
}

RunReport::Field RunReport::Number(const std::string& name, double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.3f", value);
    return {name, text, false};
}

RunReport::Field RunReport::Integer(const std::string& name, int64_t value) {
    return {name, std::to_string(value), false};
}

RunReport::Field RunReport::Text(const std::string& name, const std::string& value) { return {name, value, true}; }

void RunReport::PrintSummary(bool json, const std::vector<Field>& fields) const {
    uint64_t bytes = bytes_();
    double seconds = Seconds();
    // A run that ended at once has no meaningful rate.
    double bitrate = seconds >= 0.001 ? bytes * 8.0 / seconds : 0.0;
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
        for (size_t i = 0; i < all.size(); ++i) {
            if (i) line += " ";
            line += all[i].name + "=" + all[i].value;
        }
    }
    std::fprintf(stderr, "%s\n", line.c_str());
}
