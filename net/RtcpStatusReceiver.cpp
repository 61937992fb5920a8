#include "net/RtcpStatusReceiver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "net/NetTrace.h"

namespace {

constexpr uint8_t kRtcpApp = 204;
constexpr char kReportName[] = "SES1";
// Common header, sender, name, then the report's own identifier and text length.
constexpr size_t kReportTextOffset = 16;
constexpr const char* kReportFormat = "ver=%d.%d;src=%d;tuner=%d,%d,%d,%d,%d,";
constexpr int kReportFields = 8;
constexpr const char* kTraceFormat = "%d.%d Src%d FE%d Level%d Lock%d Qual%d Freq%d\r\n";

}  // namespace

bool ParseSes1Report(const uint8_t* data, size_t length, SatIpTunerReport& report) {
    size_t offset = 0;
    while (offset + 4 <= length) {
        const uint8_t* packet = data + offset;
        const size_t size = 4 * (static_cast<size_t>((packet[2] << 8) | packet[3]) + 1);
        if (size > length - offset) return false;
        if (packet[1] == kRtcpApp && size > kReportTextOffset &&
            std::memcmp(packet + 8, kReportName, 4) == 0) {
            // The text is copied out so that the scan stops at the packet's end.
            char text[RtcpStatusReceiver::kLargestReport + 1];
            const size_t count = size - kReportTextOffset;
            std::memcpy(text, packet + kReportTextOffset, count);
            text[count] = '\0';
            SatIpTunerReport read;
            if (std::sscanf(text, kReportFormat, &read.versionMajor, &read.versionMinor, &read.source,
                            &read.frontEnd, &read.level, &read.lock, &read.quality,
                            &read.frequency) == kReportFields) {
                report = read;
                return true;
            }
        }
        offset += size;
    }
    return false;
}

RtcpStatusReceiver::RtcpStatusReceiver() : DatagramReceiver(RtpMode::Raw) {}

RtcpStatusReceiver::~RtcpStatusReceiver() { Stop(); }

void RtcpStatusReceiver::OnDatagram(const uint8_t* data, int length) {
    if (length <= 0 || length > kLargestReport) return;
    SatIpTunerReport report;
    if (!ParseSes1Report(data, static_cast<size_t>(length), report)) return;
    char line[160];
    const int written = std::snprintf(line, sizeof line, kTraceFormat, report.versionMajor, report.versionMinor,
                                      report.source, report.frontEnd, report.level, report.lock, report.quality,
                                      report.frequency);
    if (written > 0) NetTrace({line, std::min(static_cast<size_t>(written), sizeof line - 1)});
    level_.store(report.level, std::memory_order_relaxed);
    lock_.store(report.lock, std::memory_order_relaxed);
    quality_.store(report.quality, std::memory_order_relaxed);
    source_.store(report.source, std::memory_order_relaxed);
    frontEnd_.store(report.frontEnd, std::memory_order_relaxed);
    frequency_.store(report.frequency, std::memory_order_relaxed);
    reports_.fetch_add(1, std::memory_order_release);
}

bool RtcpStatusReceiver::Latest(SatIpTunerReport& report) const {
    if (reports_.load(std::memory_order_acquire) == 0) return false;
    report.level = level_.load(std::memory_order_relaxed);
    report.lock = lock_.load(std::memory_order_relaxed);
    report.quality = quality_.load(std::memory_order_relaxed);
    report.source = source_.load(std::memory_order_relaxed);
    report.frontEnd = frontEnd_.load(std::memory_order_relaxed);
    report.frequency = frequency_.load(std::memory_order_relaxed);
    return true;
}

void RtcpStatusReceiver::Reset() { reports_.store(0, std::memory_order_release); }
