// The card feed over simulated cards: identity, streaming through unaligned reads,
// tuning, status, the extension's byte orders, probing, and a card that vanishes.
#include "feeds/pci/VMDVBPCIFeed.h"

#include <gtest/gtest.h>

#include <utility>

#include "feeds/FeedEnumerator.h"
#include "feeds/pci/PciFeedKind.h"
#include "platform/devices/DeviceIo.h"
#include "platform/system/ErrorCodes.h"
#include "platform/system/ErrorText.h"
#include "tests/feeds_pci/PciTestSupport.h"
#include "tests/support/ProcessCounts.h"
#include "tests/support/SampleRecorder.h"
#include "tests/support/WaitUntil.h"

namespace {

using namespace std::chrono_literals;

// Packet numbers in delivery order.
std::vector<uint32_t> Numbers(const std::vector<uint8_t>& bytes) {
    std::vector<uint32_t> numbers;
    for (size_t at = 0; at + 188 <= bytes.size(); at += 188) numbers.push_back(PacketNumber(&bytes[at]));
    return numbers;
}

struct Feed {
    explicit Feed(uint32_t index) : feed(new CVMDVBPCIFeed(index)) {}
    ~Feed() { DestroyFeed(feed); }
    CVMDVBPCIFeed* operator->() const { return feed; }
    CVMDVBPCIFeed* feed;
};

}  // namespace

TEST(PciFeed, IdentityFollowsTheCardInformation) {
    struct Case {
        uint32_t type, tuner;
        const char* description;
        uint32_t capabilities;
    };
    const Case cases[] = {
        {1, 1, "Tuner: DVB-S Alps BSRV2", 0x001},       {1, 2, "Tuner: DVB-S Alps BSRU6", 0x001},
        {2, 3, "Tuner: DVB-C Alps TDBE2", 0x002},       {3, 4, "Tuner: DVB-T Grundig / L64781", 0x004},
        {3, 5, "Tuner: DVB-T TDA10045", 0x004},         {1, 6, "Tuner: Twinhan generic", 0},
        {1, 11, "Tuner: DVB-S KNC new", 0x001},         {7, 12, "Tuner: DVB-S2 STB0899", 0x041},
        {1, 0, "Tuner: unknown or no tuner detected", 0}, {1, 9, "Tuner: unknown or no tuner detected", 0},
    };
    for (const Case& c : cases) {
        SimulatedCardDeclaration declared = DeclaredCardOf("QUARNOX3", c.type, c.tuner);
        declared.driverVersion = "3.1.4";
        DeclaredCard card(declared);
        Feed feed(3);
        EXPECT_EQ(feed->GetType(), static_cast<int32_t>(c.type));
        EXPECT_STREQ(feed->GetDescription(), c.description);
        EXPECT_EQ(feed->GetCapabilities(), c.capabilities) << c.tuner;
        EXPECT_STREQ(feed->GetName(), "\\\\.\\QUARNOX3");
        EXPECT_STREQ(feed->GetDetails(), "Velmar SAA7146 DVB Card 3 (Driver 3.1.4)");
        EXPECT_EQ(feed->GetPacketSize(), 188);
    }
}

TEST(PciFeed, AnAbsentOrBusyCardIsTypeZeroAndDoesNotStart) {
    {
        Feed absent(9);
        EXPECT_EQ(absent->GetType(), 0);
        EXPECT_STREQ(absent->GetName(), "\\\\.\\QUARNOX9");
        EXPECT_FALSE(absent->Start(0));
        EXPECT_EQ(absent->GetStatus(), 0);
        EXPECT_EQ(absent->GetSignalLevel(), 0);
        EXPECT_FALSE(absent->Tune(&absent->Record()));
    }
    DeclaredCard card(DeclaredCardOf("QUARNOX0"));
    Feed first(0);
    EXPECT_EQ(first->GetType(), 1);
    EXPECT_EQ(CreateFileA("\\\\.\\QUARNOX0", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
    Feed second(0);
    EXPECT_EQ(second->GetType(), 0) << "the card belongs to one handle";
}

TEST(PciFeed, ProbingStopsAtTheFirstMissingOrUnusableIndex) {
    struct Case {
        std::vector<uint32_t> types;  // per card index; 0 = a card of type 0
        size_t listed;
    };
    const Case cases[] = {{{}, 0}, {{1}, 1}, {{1, 2}, 2}, {{1, 0, 3}, 1}, {{3, 7, 2}, 3}};
    for (const Case& c : cases) {
        std::vector<std::unique_ptr<DeclaredCard>> cards;
        for (size_t i = 0; i < c.types.size(); ++i)
            cards.push_back(std::make_unique<DeclaredCard>(DeclaredCardOf("QUARNOX" + std::to_string(i), c.types[i])));
        // Index 4 exists but lies past the gap of index 3.
        DeclaredCard beyond(DeclaredCardOf("QUARNOX4"));
        const FeedKind kinds[] = {PciFeedKind()};
        CFeedEnumerator enumerator(kinds);
        CFeed* feeds[8] = {};
        uint32_t count = 8;
        enumerator.Enumerate(feeds, &count, {});
        ASSERT_EQ(count, c.listed);
        for (uint32_t i = 0; i < count; ++i) {
            EXPECT_EQ(feeds[i]->GetType(), static_cast<int32_t>(c.types[i]));
            EXPECT_EQ(std::string(feeds[i]->GetName()), "\\\\.\\QUARNOX" + std::to_string(i));
        }
        enumerator.DestroyAllFeeds();
        for (auto& card : cards) EXPECT_FALSE((*card)->IsOpen()) << "destroyed feeds close their card";
    }
}

TEST(PciFeed, DeliversEveryPacketInOrderAcrossUnalignedReads) {
    SimulatedCardDeclaration declared = DeclaredCardOf("QUARNOX0");
    declared.startOffset = 1000;  // inside packet 5
    declared.chunkSeed = 7;
    DeclaredCard card(declared);
    const uint32_t packets = 20'000;  // about ten reads of the full size
    card.Append(NumberedPackets(0, packets));
    Feed feed(0);
    SampleRecorder recorder;
    feed->SetCallback(&recorder, &SampleRecorder::Callback);
    ASSERT_TRUE(feed->Start(0));
    ASSERT_TRUE(recorder.WaitForBytes((packets - 6) * 188u, 10s));
    feed->Stop();

    const std::vector<uint32_t> numbers = Numbers(recorder.Joined());
    ASSERT_EQ(numbers.size(), packets - 6u);
    for (size_t k = 0; k < numbers.size(); ++k) ASSERT_EQ(numbers[k], 6 + k) << "at " << k;
    for (long length : recorder.Lengths()) EXPECT_EQ(length % 188, 0);
    EXPECT_GT(card->ReadsCompleted(), 3u);
    EXPECT_EQ(card->SwitchState(), 0) << "the first Start switches off";
}

TEST(PciFeed, TheFirstBufferAfterTuneIsDropped) {
    SimulatedCardDeclaration declared = DeclaredCardOf("QUARNOX0");
    declared.minChunk = 4 * 188;  // every read holds whole packets
    DeclaredCard card(declared);
    const uint32_t packets = 40'000;
    card.Append(NumberedPackets(0, packets));
    Feed feed(0);
    SampleRecorder recorder;
    recorder.SetGate(false);
    feed->SetCallback(&recorder, &SampleRecorder::Callback);
    ASSERT_TRUE(feed->Start(0));
    ASSERT_TRUE(recorder.WaitAtGate());
    // Every buffer is taken, so no read is in flight while the tune comes.
    const uint64_t reads = card->ReadsCompleted();
    ASSERT_TRUE(WaitUntil([&] { return card->ReadsCompleted() == CVMDVBPCIFeed::kBufferCount; }, 3s)) << reads;

    TuningParameters record{};
    record.word[0] = 1;
    record.word[1] = 12'188'000;
    record.word[2] = 27'500'000;
    record.word[5] = 1;
    ASSERT_TRUE(feed->Tune(&record));
    recorder.SetGate(true);
    ASSERT_TRUE(WaitUntil([&] {
        const auto n = Numbers(recorder.Joined());
        return card.Queued() == 0 && !n.empty() && n.back() == packets - 1;
    }, 10s));

    // Packet numbers run on except for one gap: the buffer read right after the tune.
    const std::vector<uint32_t> numbers = Numbers(recorder.Joined());
    int gaps = 0;
    for (size_t k = 1; k < numbers.size(); ++k)
        if (numbers[k] != numbers[k - 1] + 1) ++gaps;
    EXPECT_EQ(numbers.front(), 0u);
    EXPECT_EQ(gaps, 1);
    EXPECT_LE(numbers.size(), packets - 4u);
    ASSERT_EQ(card->Tunes().size(), 1u);
    EXPECT_EQ(card->Tunes()[0][1], 12'188'000u);
    EXPECT_EQ(card->Tunes()[0][5], 1u);
    EXPECT_EQ(feed->Record().word[1], 12'188'000u);
}

TEST(PciFeed, LockAndSignalFollowATuneAfterTheCardsDelay) {
    for (bool neverLocks : {false, true}) {
        SimulatedCardDeclaration declared = DeclaredCardOf("QUARNOX0");
        declared.lockDelayMs = 300;
        declared.signal = 41'000;
        declared.reception = 77;
        DeclaredCard card(declared);
        card->SetFault(SimulatedCard::kNeverLocks, neverLocks);
        Feed feed(0);
        TuningParameters record = feed->Record();
        ASSERT_TRUE(feed->Tune(&record));
        EXPECT_EQ(feed->GetStatus() & kStatusLocked, 0) << "no lock straight after a tune";
        EXPECT_EQ(feed->GetSignalLevel(), 0);
        const bool locked = WaitUntil([&] { return (feed->GetStatus() & kStatusLocked) != 0; }, 1500ms);
        EXPECT_EQ(locked, !neverLocks);
        EXPECT_EQ(feed->GetSignalLevel(), neverLocks ? 0 : 41'000);
        EXPECT_EQ(feed->GetReceptionValue(), neverLocks ? 0u : 77u);
    }
}

TEST(PciFeed, ReadsWithoutDataOrSyncDeliverNothing) {
    for (SimulatedCard::Fault fault : {SimulatedCard::kEmptyReads, SimulatedCard::kNoSync}) {
        DeclaredCard card(DeclaredCardOf("QUARNOX0"));
        card->SetFault(fault, true);
        card.Append(NumberedPackets(0, 3000));
        Feed feed(0);
        SampleRecorder recorder;
        feed->SetCallback(&recorder, &SampleRecorder::Callback);
        ASSERT_TRUE(feed->Start(0));
        const uint64_t reads = card->ReadsCompleted();
        ASSERT_TRUE(WaitUntil([&] { return card->ReadsCompleted() >= reads + 3; }, 3s));
        EXPECT_EQ(recorder.Total(), 0u) << fault;
        EXPECT_EQ(feed->GetErrorText(), nullptr) << "empty reads are no failure";
    }
}

TEST(PciFeed, StopThenStartKeepsOneStreamingThreadAndResumes) {
    DeclaredCard card(DeclaredCardOf("QUARNOX0"));
    Feed feed(0);
    SampleRecorder recorder;
    feed->SetCallback(&recorder, &SampleRecorder::Callback);
    EXPECT_EQ(ThreadsNamed("PciCardStream"), 0) << "no thread before the first Start";
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(feed->Start(0));
        feed->Stop();
    }
    ASSERT_TRUE(feed->Start(0));
    EXPECT_TRUE(WaitUntil([] { return ThreadsNamed("PciCardStream") == 1; }, 1s));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(ThreadsNamed("PciCardStream"), 1);
    card.Append(NumberedPackets(0, 101));
    EXPECT_TRUE(recorder.WaitForBytes(100 * 188u, 3s));
    EXPECT_EQ(card->SwitchState(), 0);
    const auto requests = card->Requests();
    EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                            [](const SimulatedCard::Request& r) { return r.function == 34; }),
              1) << "switch off goes out at the first Start only";
}

TEST(PciFeed, ACardVanishingWhileStreamingStopsDeliveryAndIsReported) {
    DeclaredCard card(DeclaredCardOf("QUARNOX0"));
    auto feed = std::make_unique<Feed>(0);
    SampleRecorder recorder;
    (*feed)->SetCallback(&recorder, &SampleRecorder::Callback);
    ASSERT_TRUE((*feed)->Start(0));
    card.Append(NumberedPackets(0, 1001));
    ASSERT_TRUE(recorder.WaitForBytes(1000 * 188u));
    ASSERT_TRUE(WaitUntil([&] { return ((*feed)->GetStatus() & kStatusLocked) != 0; }));

    card->SetFault(SimulatedCard::kVanished, true);
    card.Append(NumberedPackets(1001, 2000));
    ASSERT_TRUE(WaitUntil([&] { return (*feed)->GetErrorText() != nullptr; }, 2s));
    // Buffers read before the card went may still be on their way through the ring.
    size_t total = recorder.Total();
    ASSERT_TRUE(WaitUntil([&] {
        std::this_thread::sleep_for(100ms);
        return std::exchange(total, recorder.Total()) == total;
    }, 2s));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(recorder.Total(), total) << "nothing after the card is gone";
    EXPECT_EQ((*feed)->GetStatus(), 0);
    EXPECT_EQ((*feed)->GetSignalLevel(), 0);
    EXPECT_FALSE((*feed)->Tune(&(*feed)->Record()));

    const auto start = std::chrono::steady_clock::now();
    (*feed)->Stop();
    feed.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << "Stop and Destroy return promptly";
}

TEST(PciFeed, ExtensionAddressesGoHighByteFirstForWritesAndLowByteFirstForReads) {
    DeclaredCard card(DeclaredCardOf("QUARNOX0"));
    Feed feed(0);
    auto* extension = static_cast<CardExtensionAccess*>(feed->GetExtension());
    ASSERT_NE(extension, nullptr);
    EXPECT_TRUE(extension->IsPresent());
    struct Case {
        bool spaceA;
        uint16_t address;
        uint8_t value;
    };
    const Case cases[] = {{true, 0x1234, 0x56}, {false, 0x1234, 0x9A}, {true, 0x00FF, 0x01}, {false, 0xFF00, 0xFE}};
    for (const Case& c : cases) {
        c.spaceA ? extension->WriteA(c.address, c.value) : extension->WriteB(c.address, c.value);
        const std::vector<uint8_t> written = card->Requests().back().input;
        EXPECT_EQ(written, (std::vector<uint8_t>{uint8_t(c.address >> 8), uint8_t(c.address), c.value}));
        EXPECT_EQ(c.spaceA ? card->SpaceA(c.address) : card->SpaceB(c.address), c.value);
        EXPECT_EQ(c.spaceA ? extension->ReadA(c.address) : extension->ReadB(c.address), c.value);
        EXPECT_EQ(card->Requests().back().input, (std::vector<uint8_t>{uint8_t(c.address), uint8_t(c.address >> 8)}));
    }
    EXPECT_EQ(card->Requests().back().function, 115u);  // read space B
    extension->Reset();
    EXPECT_EQ(extension->ReadA(0x1234), 0);

    // The switch stays untouched until the first Start has switched off.
    extension->SetSwitch(true);
    EXPECT_EQ(card->SwitchState(), -1);
    ASSERT_TRUE(feed->Start(0));
    extension->SetSwitch(true);
    EXPECT_EQ(card->SwitchState(), 1);

    card->SetFault(SimulatedCard::kVanished, true);
    EXPECT_FALSE(extension->IsPresent());
    EXPECT_EQ(extension->ReadA(0x1234), 0xFF) << "a failed read keeps its preset";
}

TEST(PciFeed, DeliveryDescriptorsSuitTheCardsFamily) {
    const uint8_t sat[] = {0x43}, cable[] = {0x44}, terrestrial[] = {0x5A};
    struct Case {
        uint32_t type;
        bool sat, cable, terrestrial;
    };
    const Case cases[] = {{1, true, false, false}, {7, true, false, false}, {2, false, true, false},
                          {9, false, true, false}, {3, false, false, true}, {8, false, false, true},
                          {11, false, false, false}};
    for (const Case& c : cases) {
        DeclaredCard card(DeclaredCardOf("QUARNOX0", c.type));
        Feed feed(0);
        EXPECT_EQ(feed->SupportsDeliveryDescriptor(sat), c.sat) << c.type;
        EXPECT_EQ(feed->SupportsDeliveryDescriptor(cable), c.cable) << c.type;
        EXPECT_EQ(feed->SupportsDeliveryDescriptor(terrestrial), c.terrestrial) << c.type;
        EXPECT_FALSE(feed->SupportsDeliveryDescriptor(nullptr));
    }
}

TEST(PciFeed, DiseqcMessagesReachTheCardAsGiven) {
    DeclaredCard card(DeclaredCardOf("QUARNOX0"));
    Feed feed(0);
    const uint8_t message[] = {0xE0, 0x10, 0x38, 0xF7};
    EXPECT_TRUE(feed->SendDiseqcMessage(message, 4));
    EXPECT_FALSE(feed->SendDiseqcMessage(nullptr, 4));
    ASSERT_EQ(card->DiseqcMessages().size(), 1u);
    EXPECT_EQ(card->DiseqcMessages()[0], std::vector<uint8_t>(message, message + 4));
}
