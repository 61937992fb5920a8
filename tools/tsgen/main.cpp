// tsgen: writes a constant-bitrate MPEG-2 transport stream for tests and demos.
#include "tools/tsgen/TsGenerator.h"
#include "tools/tsgen/BitrateText.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t PacketsPerWrite = 1024;

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Decimal, or hexadecimal with 0x; nothing else (no sign, no octal, no trailing text).
uint64_t ParseUnsigned(const std::string& option, const std::string& text, uint64_t max) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty()) throw UsageError(option + ": '" + text + "' is not a number");
    uint64_t value = 0;
    const uint64_t base = hex ? 16 : 10;
    for (char c : digits) {
        uint64_t d;
        if (c >= '0' && c <= '9')
            d = static_cast<uint64_t>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            d = static_cast<uint64_t>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            d = static_cast<uint64_t>(c - 'A' + 10);
        else
            throw UsageError(option + ": '" + text + "' is not a number");
        if (value > (max - d) / base) throw UsageError(option + ": " + text + " is above " + std::to_string(max));
        value = value * base + d;
    }
    return value;
}

// Seconds with an optional fraction, rounded to whole milliseconds.
uint64_t ParseMilliseconds(const std::string& option, const std::string& text) {
    const size_t dot = text.find('.');
    const std::string whole = text.substr(0, dot);
    std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
    auto bad = [&] { return UsageError(option + ": '" + text + "' is not a number of seconds"); };
    if ((whole.empty() && fraction.empty()) || whole.find_first_not_of("0123456789") != std::string::npos ||
        fraction.find_first_not_of("0123456789") != std::string::npos)
        throw bad();
    const uint64_t limit = UINT64_MAX / 1000 - 1;
    const uint64_t seconds = whole.empty() ? 0 : ParseUnsigned(option, whole, limit);
    uint64_t ms = seconds * 1000;
    fraction.resize(std::max<size_t>(fraction.size(), 4), '0');
    ms += static_cast<uint64_t>(std::stoi(fraction.substr(0, 3)));
    if (fraction[3] >= '5') ++ms;
    return ms;
}

class Output {
public:
    explicit Output(const std::string& path) : path_(path) {
        if (path == "-") {
            if (isatty(STDOUT_FILENO))
                throw UsageError("will not write a binary stream to a terminal; redirect it or give --out FILE");
            fd_ = STDOUT_FILENO;
            return;
        }
        fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
        created_ = true;
    }
    ~Output() {
        if (created_) ::close(fd_);
    }

    void Write(const uint8_t* data, size_t length) {
        while (length) {
            const ssize_t n = ::write(fd_, data, length);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) Fail(n < 0 ? errno : EIO);
            data += n;
            length -= static_cast<size_t>(n);
        }
    }

    void Finish() {
        if (created_ && ::close(fd_) != 0) {
            const int error = errno;
            created_ = false;
            Fail(error);
        }
        created_ = false;
    }

private:
    // A cut-off file would look like a valid shorter stream: it does not stay behind.
    [[noreturn]] void Fail(int error) {
        if (created_) {
            ::close(fd_);
            created_ = false;
        }
        if (path_ != "-") ::unlink(path_.c_str());
        throw std::runtime_error("cannot write " + (path_ == "-" ? std::string("to standard output") : path_) +
                                 ": " + std::strerror(error));
    }

    std::string path_;
    int fd_ = -1;
    bool created_ = false;
};

std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

int Run(int argc, char** argv) {
    CLI::App app{"Writes a constant-bitrate MPEG-2 transport stream (PAT, PMT, one PCR-carrying "
                 "elementary stream, null packets) to a file or standard output.",
                 "tsgen"};
    std::string bitrateText = "4000000", secondsText, packetsText, sizeText = "188", pidText = "0x100",
                intervalText = "40", startPcrText = "0", seedText = "1", out;
    app.add_option("--bitrate", bitrateText, "Bits per second of the whole output: 8000000, 8M, 38.5M, 500k (default 4M)")->type_name("RATE");
    auto* seconds = app.add_option("--seconds", secondsText, "Duration; whole packets that fit are written")->type_name("SECONDS");
    auto* packets = app.add_option("--packets", packetsText, "Number of packets to write")->type_name("N");
    seconds->excludes(packets);
    app.add_option("--packet-size", sizeText, "188, 192 (4-byte prefix) or 204 (16 bytes after); default 188")->type_name("BYTES");
    app.add_option("--pcr-pid", pidText, "PID of the elementary stream that carries the PCR (default 0x100)")->type_name("PID");
    app.add_option("--pcr-interval-ms", intervalText, "Milliseconds between PCRs, 0 for none (default 40)")->type_name("MS");
    app.add_option("--start-pcr", startPcrText, "First PCR in 27 MHz ticks (default 0)")->type_name("TICKS");
    app.add_option("--seed", seedText, "Seed of the pseudo-random payload (default 1)")->type_name("N");
    app.add_option("--out", out, "Output file, or - for standard output")->type_name("PATH|-")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return 0;
    } catch (const CLI::ParseError& e) {
        throw UsageError(OneLine(e.what()));
    }

    TsGeneratorOptions options;
    std::string bitrateError;
    const auto bitrate = ParseBitrate(bitrateText, &bitrateError);
    if (!bitrate) throw UsageError("--bitrate: " + bitrateError);
    options.bitrate = *bitrate;
    options.packetSize = static_cast<unsigned>(ParseUnsigned("--packet-size", sizeText, 0xFFFF));
    options.pcrPid = static_cast<uint16_t>(ParseUnsigned("--pcr-pid", pidText, 0xFFFF));
    options.pcrIntervalMs = static_cast<uint32_t>(ParseUnsigned("--pcr-interval-ms", intervalText, UINT32_MAX));
    options.startPcr = ParseUnsigned("--start-pcr", startPcrText, UINT64_MAX);
    options.seed = ParseUnsigned("--seed", seedText, UINT64_MAX);
    // The PMT moves aside rather than refuse a PCR PID that happens to be its default.
    if (options.pcrPid == options.pmtPid) options.pmtPid = static_cast<uint16_t>(options.pmtPid + 1);
    if (std::string error = TsGenerator::Validate(options); !error.empty()) throw UsageError(error);

    if (packetsText.empty() && secondsText.empty()) throw UsageError("one of --seconds or --packets is required");
    uint64_t total;
    if (!packetsText.empty()) {
        total = ParseUnsigned("--packets", packetsText, UINT64_MAX);
        if (total == 0) throw UsageError("--packets must be at least 1");
    } else {
        const uint64_t ms = ParseMilliseconds("--seconds", secondsText);
        total = TsGenerator::PacketsForDuration(options.bitrate, ms, options.packetSize);
        if (total == 0)
            throw UsageError("--seconds " + secondsText + " holds no whole packet at " +
                             std::to_string(options.bitrate) + " bits/s");
    }
    options.packetLimit = total;

    TsGenerator generator(options);
    Output output(out);
    std::vector<uint8_t> buffer(PacketsPerWrite * options.packetSize);
    while (size_t n = generator.Generate(buffer.data(), PacketsPerWrite)) output.Write(buffer.data(), n * options.packetSize);
    output.Finish();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "tsgen: %s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tsgen: %s\n", e.what());
        return 1;
    }
}
