#include "net/DatagramReceiver.h"
#include "net/RtpReceiver.h"
#include "tests/net/ReceivedData.h"

#include <gtest/gtest.h>

namespace {

using nettest::Bytes;
using nettest::Rtp;
using Losses = std::vector<std::pair<int, int>>;

void Feed(DatagramReceiver& r, const Bytes& d) { r.OnDatagram(d.data(), static_cast<int>(d.size())); }

TEST(RtpUnwrap, PayloadOfPlainVersion2OnlyAndRepeatsOnce) {
    ReceivedData got;
    DatagramReceiver r;
    r.SetCallbacks(&got, ReceivedData::OnData, ReceivedData::OnLoss);
    Feed(r, Rtp(1, {}));           // header only
    Feed(r, Rtp(2, {1}, 0x90));    // extension
    Feed(r, Rtp(3, {1}, 0xA0));    // padding
    Feed(r, Rtp(4, {1}, 0x81));    // one contributing source
    Feed(r, Rtp(5, {1}, 0x40));    // version 1
    Feed(r, Bytes(188, 0x47));     // plain transport stream
    EXPECT_TRUE(got.Datagrams().empty());
    // Dropped datagrams leave the sequence untouched; a repeated number is delivered once.
    Feed(r, Rtp(1, {0x47, 1, 2}));
    Feed(r, Rtp(1, {0x47, 1, 2}));
    Feed(r, Rtp(1, {9}));
    Feed(r, Rtp(2, {8}));
    EXPECT_EQ((std::vector<Bytes>{{0x47, 1, 2}, {8}}), got.Datagrams());
    EXPECT_TRUE(got.Losses().empty());
}

TEST(RtpUnwrap, LossesAcrossTheSixteenBitWrapAndAfterReset) {
    ReceivedData got;
    DatagramReceiver r;
    r.SetCallbacks(&got, ReceivedData::OnData, ReceivedData::OnLoss);
    for (int sequence : {10, 13, 14}) Feed(r, Rtp(sequence, {1}));
    EXPECT_EQ((Losses{{13, 11}}), got.Losses());
    for (int sequence : {65534, 65535, 0, 1}) Feed(r, Rtp(sequence, {2}));
    EXPECT_EQ((Losses{{13, 11}, {65534, 15}}), got.Losses()) << "65535 -> 0 is no loss";
    Feed(r, Rtp(65535, {3}));  // backwards counts as a jump too
    Feed(r, Rtp(1, {4}));      // 0 missing across the wrap
    EXPECT_EQ((Losses{{13, 11}, {65534, 15}, {65535, 2}, {1, 0}}), got.Losses());
    EXPECT_EQ(9u, got.Datagrams().size()) << "the datagram after a gap is still delivered";

    r.ResetSequence();
    Feed(r, Rtp(1, {5}));  // neither a repeat nor a jump any more
    EXPECT_EQ(10u, got.Datagrams().size());
    EXPECT_EQ(4u, got.Losses().size());

    r.SetCallbacks(&got, ReceivedData::OnData, nullptr);
    Feed(r, Rtp(9, {6}));
    EXPECT_EQ(11u, got.Datagrams().size()) << "no loss callback, still delivered";
}

TEST(RtpUnwrap, RawRtpAndAutoModes) {
    ReceivedData raw, rtp, automatic;
    RtpReceiver rawReceiver(RtpMode::Raw), rtpReceiver(RtpMode::Rtp), autoReceiver(RtpMode::Auto);
    rawReceiver.SetCallbacks(&raw, ReceivedData::OnData, nullptr);
    rtpReceiver.SetCallbacks(&rtp, ReceivedData::OnData, nullptr);
    autoReceiver.SetCallbacks(&automatic, ReceivedData::OnData, ReceivedData::OnLoss);

    const Bytes ts(188, 0x47);
    const Bytes thirteen = Rtp(1, {0x47});                // the shortest RTP that is unwrapped
    const Bytes marked = Rtp(2, {0x47, 0}, 0x80, 33 | 0x80);  // marker bit, still type 33
    const Bytes other = Rtp(3, {1}, 0x80, 96);
    const Bytes header = Rtp(4, {});
    const Bytes extension = Rtp(5, {1}, 0x90);
    for (const Bytes* d : {&thirteen, &thirteen, &ts, &marked, &other, &header, &extension}) {
        for (RtpReceiver* r : {&rawReceiver, &rtpReceiver, &autoReceiver}) Feed(*r, *d);
    }
    EXPECT_EQ((std::vector<Bytes>{thirteen, thirteen, ts, marked, other, header, extension}), raw.Datagrams());
    EXPECT_EQ((std::vector<Bytes>{{0x47}, {0x47, 0}, {1}}), rtp.Datagrams()) << "any payload type, no plain data";
    EXPECT_EQ((std::vector<Bytes>{{0x47}, ts, {0x47, 0}, other, header, extension}), automatic.Datagrams());
    EXPECT_TRUE(automatic.Losses().empty());
}

}  // namespace
