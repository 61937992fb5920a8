#pragma once
// The status channel of a SAT>IP session: RTCP reports on the port above the stream's,
// whose APP packet "SES1" tells the tuner's lock, level and quality.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "net/DatagramReceiver.h"

struct SatIpTunerReport {
    int versionMajor = 0;
    int versionMinor = 0;
    int source = 0;
    int frontEnd = 0;
    int level = 0;
    int lock = 0;
    int quality = 0;
    int frequency = 0;
};

// Walks a compound RTCP packet for an APP packet named "SES1" and reads the leading
// "ver=..;src=..;tuner=fe,level,lock,quality,freq," of its text. Packets whose length
// reaches past the datagram end the walk; false when no complete report was found.
bool ParseSes1Report(const uint8_t* data, size_t length, SatIpTunerReport& report);

class RtcpStatusReceiver : public DatagramReceiver {
public:
    static constexpr int kLargestReport = 2047;

    RtcpStatusReceiver();
    ~RtcpStatusReceiver() override;

    void OnDatagram(const uint8_t* data, int length) override;


    // The latest report; false while none has arrived since Reset.
    bool Latest(SatIpTunerReport& report) const;
    uint64_t Reports() const { return reports_.load(std::memory_order_acquire); }
    void Reset();

private:
    std::atomic<uint64_t> reports_{0};
    std::atomic<int> level_{0};
    std::atomic<int> lock_{0};
    std::atomic<int> quality_{0};
    std::atomic<int> source_{0};
    std::atomic<int> frontEnd_{0};
    std::atomic<int> frequency_{0};
};
