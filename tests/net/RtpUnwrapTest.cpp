#include "net/DatagramReceiver.h"
#include "net/RtpReceiver.h"
#include "tests/net/ReceivedData.h"

#include <gtest/gtest.h>

namespace {

using Bytes = ReceivedData::Bytes;

Bytes Rtp(int sequence, Bytes payload, uint8_t first = 0x80, uint8_t second = 33) {
    const uint8_t header[12] = {first, second, static_cast<uint8_t>(sequence >> 8), static_cast<uint8_t>(sequence),
                                0, 0, 0, 1, 0xDE, 0xAD, 0xBE, 0xEF};
    Bytes d(header, header + 12);
    for (uint8_t b : payload) d.push_back(b);
    return d;
}

class RtpUnwrap : public ::testing::Test {
protected:
    void Feed(DatagramReceiver& r, const Bytes& d) { r.OnDatagram(d.data(), static_cast<int>(d.size())); }
    void Attach(DatagramReceiver& r) { r.SetCallbacks(&got, ReceivedData::OnData, ReceivedData::OnLoss); }

    ReceivedData got;
};

TEST_F(RtpUnwrap, PayloadAfterTheFixedHeader) {
    DatagramReceiver r;
    Attach(r);
    Feed(r, Rtp(1, {0x47, 1, 2, 3}));
    Feed(r, Rtp(2, {9}));
    ASSERT_EQ((std::vector<Bytes>{{0x47, 1, 2, 3}, {9}}), got.Datagrams());
    EXPECT_TRUE(got.Losses().empty());
}

TEST_F(RtpUnwrap, DropsWhatIsNotPlainVersion2WithPayload) {
    DatagramReceiver r;
    Attach(r);
    Feed(r, Rtp(1, {}));                 // header only
    Feed(r, Rtp(2, {1}, 0x90));          // extension
    Feed(r, Rtp(3, {1}, 0xA0));          // padding
    Feed(r, Rtp(4, {1}, 0x81));          // one contributing source
    Feed(r, Rtp(5, {1}, 0x40));          // version 1
    Feed(r, Bytes(188, 0x47));           // plain transport stream
    EXPECT_TRUE(got.Datagrams().empty());
    // Dropped datagrams leave the sequence untouched.
    Feed(r, Rtp(1, {7}));
    Feed(r, Rtp(2, {8}));
    EXPECT_EQ(2u, got.Datagrams().size());
    EXPECT_TRUE(got.Losses().empty());
}

TEST_F(RtpUnwrap, RepeatedSequenceIsDeliveredOnce) {
    DatagramReceiver r;
    Attach(r);
    Feed(r, Rtp(100, {1}));
    Feed(r, Rtp(100, {1}));
    Feed(r, Rtp(100, {2}));
    Feed(r, Rtp(101, {3}));
    EXPECT_EQ((std::vector<Bytes>{{1}, {3}}), got.Datagrams());
    EXPECT_TRUE(got.Losses().empty());
}

TEST_F(RtpUnwrap, JumpReportsReceivedAndExpected) {
    DatagramReceiver r;
    Attach(r);
    Feed(r, Rtp(10, {1}));
    Feed(r, Rtp(13, {2}));
    Feed(r, Rtp(14, {3}));
    EXPECT_EQ((std::vector<std::pair<int, int>>{{13, 11}}), got.Losses());
    // The datagram after a gap is still delivered.
    EXPECT_EQ(3u, got.Datagrams().size());
}

TEST_F(RtpUnwrap, SequenceWrapsAtSixteenBits) {
    DatagramReceiver r;
    Attach(r);
    Feed(r, Rtp(65534, {1}));
    Feed(r, Rtp(65535, {2}));
    Feed(r, Rtp(0, {3}));
    Feed(r, Rtp(1, {4}));
    EXPECT_TRUE(got.Losses().empty());
    Feed(r, Rtp(65535, {5}));  // backwards counts as a jump too
    Feed(r, Rtp(1, {6}));      // 0 missing across the wrap
    EXPECT_EQ((std::vector<std::pair<int, int>>{{65535, 2}, {1, 0}}), got.Losses());
    EXPECT_EQ(6u, got.Datagrams().size());
}

TEST_F(RtpUnwrap, NoLossCallbackStillDelivers) {
    DatagramReceiver r;
    r.SetCallbacks(&got, ReceivedData::OnData, nullptr);
    Feed(r, Rtp(1, {1}));
    Feed(r, Rtp(5, {2}));
    EXPECT_EQ(2u, got.Datagrams().size());
}

TEST_F(RtpUnwrap, ResetForgetsTheSequence) {
    DatagramReceiver r;
    Attach(r);
    Feed(r, Rtp(7, {1}));
    r.ResetSequence();
    Feed(r, Rtp(7, {2}));  // not a duplicate any more
    Feed(r, Rtp(8, {3}));
    EXPECT_EQ(3u, got.Datagrams().size());
    r.ResetSequence();
    Feed(r, Rtp(500, {4}));  // nothing expected yet: no loss
    EXPECT_TRUE(got.Losses().empty());
}

TEST_F(RtpUnwrap, RawModePassesEverythingWhole) {
    RtpReceiver r(RtpMode::Raw);
    EXPECT_EQ(RtpMode::Raw, r.Mode());
    Attach(r);
    const Bytes rtp = Rtp(1, {1, 2});
    Feed(r, rtp);
    Feed(r, rtp);
    Feed(r, {0x47});
    EXPECT_EQ((std::vector<Bytes>{rtp, rtp, {0x47}}), got.Datagrams());
}

TEST_F(RtpUnwrap, RtpModeDropsPlainData) {
    RtpReceiver r(RtpMode::Rtp);
    Attach(r);
    Feed(r, Bytes(188, 0x47));
    Feed(r, Rtp(1, {5}, 0x80, 96));  // any payload type
    EXPECT_EQ((std::vector<Bytes>{{5}}), got.Datagrams());
}

TEST_F(RtpUnwrap, AutoModeUnwrapsOnlyTransportStreamRtp) {
    RtpReceiver r(RtpMode::Auto);
    Attach(r);
    const Bytes thirteen = Rtp(1, {0x47});
    ASSERT_EQ(13u, thirteen.size());
    ASSERT_EQ(0x21, thirteen[1]);
    Feed(r, thirteen);                            // unwrapped: one payload byte
    Feed(r, Rtp(2, {0x47, 0}, 0x80, 33 | 0x80));  // marker bit set, still type 33
    const Bytes ts(188, 0x47);
    Feed(r, ts);                                  // plain transport stream, whole
    const Bytes other = Rtp(3, {1}, 0x80, 96);
    Feed(r, other);                               // another payload type, whole
    const Bytes header = Rtp(4, {});
    Feed(r, header);                              // too short to carry a payload, whole
    const Bytes extension = Rtp(5, {1}, 0x90);
    Feed(r, extension);
    EXPECT_EQ((std::vector<Bytes>{{0x47}, {0x47, 0}, ts, other, header, extension}), got.Datagrams());
    EXPECT_TRUE(got.Losses().empty());
}

}  // namespace
