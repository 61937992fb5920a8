// Device requests against a simulated card: pending reads with their own events,
// synchronous answers, refusals, the chunks a read returns, and closing mid-request.
#include "platform/devices/DeviceIo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "platform/devices/SimulatedCardBackend.h"
#include "platform/system/ErrorCodes.h"
#include "platform/system/ErrorText.h"
#include "platform/system/Tick.h"

namespace {

constexpr DWORD kReadStream = 0x9C410040;
constexpr DWORD kVersion = 0x9C410004;

// An endless stream of numbered bytes, all due at once.
class CountingSource final : public CardStreamSource {
public:
    size_t Read(uint8_t* out, size_t max, uint32_t) override {
        for (size_t i = 0; i < max; ++i) out[i] = static_cast<uint8_t>(next_++);
        return max;
    }

private:
    uint64_t next_ = 0;
};

class DeviceIoTest : public ::testing::Test {
protected:
    void SetUp() override {
        SimulatedCardDeclaration declared;
        declared.name = "QUARNOX5";
        declared.lockDelayMs = 0;
        declared.startOffset = 10;
        declared.readLatencyMs = 300;
        declared.openStream = [](std::string*) { return std::make_unique<CountingSource>(); };
        card = SimulatedCardBackend::Instance().Declare(declared);
        device = CreateFileA("\\\\.\\QUARNOX5", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
        ASSERT_NE(device, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        if (device != INVALID_HANDLE_VALUE) CloseHandle(device);
        SimulatedCardBackend::Instance().Remove("QUARNOX5");
    }

    std::shared_ptr<SimulatedCard> card;
    HANDLE device = INVALID_HANDLE_VALUE;
};

}  // namespace

TEST_F(DeviceIoTest, ReadsArePendingThenCompleteWithChunksThatCutPackets) {
    std::vector<uint8_t> buffer(385'024);
    std::set<DWORD> lengths;
    uint8_t expected = 10;  // the card starts at its offset
    for (int i = 0; i < 12; ++i) {
        OVERLAPPED overlapped;
        overlapped.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);  // reset by the request
        DWORD returned = 0;
        // A read whose bytes are all due may complete before the call returns.
        if (!DeviceIoControl(device, kReadStream, nullptr, 0, buffer.data(), DWORD(buffer.size()), &returned,
                             &overlapped)) {
            ASSERT_EQ(GetLastError(), static_cast<uint32_t>(ERROR_IO_PENDING));
            ASSERT_TRUE(GetOverlappedResult(device, &overlapped, &returned, TRUE));
        }
        EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 0), WAIT_OBJECT_0) << "set on completion";
        CloseHandle(overlapped.hEvent);
        ASSERT_GT(returned, 0u);
        ASSERT_LE(returned, buffer.size());
        EXPECT_NE(returned % 188, 0u);
        EXPECT_EQ(buffer[0], expected) << "no byte lost between reads";
        expected = static_cast<uint8_t>(buffer[returned - 1] + 1);
        lengths.insert(returned);
    }
    EXPECT_GT(lengths.size(), 8u) << "lengths vary";
}

TEST_F(DeviceIoTest, AnswersRefusalsAndTheSecondOpen) {
    char version[100] = {};
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(device, kVersion, nullptr, 0, version, sizeof version, &returned, nullptr));
    EXPECT_EQ(returned, std::strlen(version) + 1);
    EXPECT_STREQ(version, "2.4.1 (simulated)");

    struct Case {
        DWORD code;
        DWORD inputLength;
        uint32_t error;
    };
    const Case cases[] = {
        {0x9C410FFC, 0, ERROR_INVALID_FUNCTION},   // unknown function
        {0x12340004, 0, ERROR_INVALID_FUNCTION},   // another device type
        {0x9C410080, 10, ERROR_INVALID_PARAMETER}, // a tune record cut short
        {0x9C4100A0, 0, ERROR_INVALID_PARAMETER},  // an empty DiSEqC message
    };
    uint8_t io[64] = {};
    for (const Case& c : cases) {
        EXPECT_FALSE(DeviceIoControl(device, c.code, io, c.inputLength, io, sizeof io, &returned, nullptr)) << c.code;
        EXPECT_EQ(GetLastError(), c.error) << std::hex << c.code;
    }
    EXPECT_EQ(CreateFileA("\\\\.\\QUARNOX5", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(CreateFileA("\\\\.\\NOSUCHCARD", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(CreateFileA("QUARNOX5", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
}

TEST_F(DeviceIoTest, ClosingOrVanishingCompletesAPendingReadAtOnce) {
    for (bool vanish : {false, true}) {
        card->SetFault(SimulatedCard::kEmptyReads, true);  // the read waits out its latency
        std::vector<uint8_t> buffer(1000);
        OVERLAPPED overlapped;
        overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        DWORD returned = 0;
        ASSERT_FALSE(DeviceIoControl(device, kReadStream, nullptr, 0, buffer.data(), 1000, &returned, &overlapped));
        EXPECT_FALSE(GetOverlappedResult(device, &overlapped, &returned, FALSE));
        EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ERROR_IO_INCOMPLETE));
        const DWORD start = GetTickCount();
        if (vanish) {
            card->SetFault(SimulatedCard::kVanished, true);
            EXPECT_FALSE(GetOverlappedResult(device, &overlapped, &returned, TRUE));
            EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ERROR_DEVICE_NOT_CONNECTED));
        } else {
            ASSERT_TRUE(CloseHandle(device));
            EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 0), WAIT_OBJECT_0) << "completed before the close returns";
            EXPECT_EQ(overlapped.Internal.load(), static_cast<ULONG_PTR>(ERROR_OPERATION_ABORTED));
            device = CreateFileA("\\\\.\\QUARNOX5", GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                                 nullptr);
            ASSERT_NE(device, INVALID_HANDLE_VALUE) << "the card can be opened again";
        }
        EXPECT_LT(GetTickCount() - start, 200u) << "well within the read's 300 ms";
        CloseHandle(overlapped.hEvent);
    }
    EXPECT_EQ(CreateFileA("\\\\.\\QUARNOX5", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE)
        << "a vanished card does not open";
}
