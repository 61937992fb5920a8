#include "platform/sim/PacedStream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "tools/tsgen/TsGenerator.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<uint8_t> Generated(uint32_t bitrate, size_t packets) {
    TsGeneratorOptions options;
    options.bitrate = bitrate;
    TsGenerator generator(options);
    std::vector<uint8_t> bytes(packets * 188);
    generator.Generate(bytes.data(), packets);
    return bytes;
}

std::string WriteTemp(const std::vector<uint8_t>& bytes, const char* name) {
    auto path = std::filesystem::temp_directory_path() / (std::string(name) + std::to_string(getpid()));
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path;
}

// Reads until `total` bytes have come, in odd-sized requests.
std::vector<uint8_t> ReadAll(PacedStream& stream, size_t total) {
    std::vector<uint8_t> out;
    std::vector<uint8_t> chunk(50'001);
    while (out.size() < total) {
        size_t n = stream.Read(chunk.data(), std::min(chunk.size(), total - out.size()), 200);
        out.insert(out.end(), chunk.begin(), chunk.begin() + n);
    }
    return out;
}

}  // namespace

TEST(PacedStream, GeneratedBytesMatchTheReferenceAndArriveAtTheirRate) {
    PacedStreamSource declared;
    declared.bitrate = 40'000'000;  // 5 MB/s: 1 MB takes 200 ms
    std::string error;
    auto stream = PacedStream::Open(declared, &error);
    ASSERT_TRUE(stream) << error;
    auto started = Clock::now();
    auto bytes = ReadAll(*stream, 1'000'000);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
    EXPECT_EQ(bytes, PacedStream::Reference(declared, bytes.size()));
    EXPECT_GE(ms, 190);
    EXPECT_LT(ms, 600);
}

TEST(PacedStream, FileLoopsAtItsMeasuredRateAndARestartDoesNotSkipBytes) {
    auto file = Generated(20'000'000, 5000);
    EXPECT_NEAR(PacedStream::MeasureFileRate(file), 20'000'000, 20'000);
    PacedStreamSource declared;
    declared.file = WriteTemp(file, "paced-loop-");
    declared.bitrate = 100'000'000;
    std::string error;
    auto stream = PacedStream::Open(declared, &error);
    ASSERT_TRUE(stream) << error;
    auto first = ReadAll(*stream, file.size() + 1000);
    stream->Restart();
    auto rest = ReadAll(*stream, 5000);
    first.insert(first.end(), rest.begin(), rest.end());
    std::vector<uint8_t> expected = file;
    expected.insert(expected.end(), file.begin(), file.begin() + 6000);
    EXPECT_EQ(first, expected);
    std::filesystem::remove(declared.file);
}

TEST(PacedStream, AReaderThatFallsBehindGetsAtMostOneSecondAtOnce) {
    PacedStreamSource declared;
    declared.bitrate = 8'000'000;
    auto stream = PacedStream::Open(declared, nullptr);
    std::vector<uint8_t> buffer(4'000'000);
    stream->Read(buffer.data(), 1, 100);
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    size_t burst = stream->Read(buffer.data(), buffer.size(), 0);
    EXPECT_LE(burst, 1'000'000u + 20'000u);
    EXPECT_GE(burst, 900'000u);
}

TEST(PacedStream, UnusableSourcesAreRefusedInOneLine) {
    std::vector<uint8_t> noise(10'000, 0x11);
    TsGeneratorOptions options;
    options.pcrIntervalMs = 0;
    std::vector<uint8_t> noPcr(100 * 188);
    TsGenerator(options).Generate(noPcr.data(), 100);
    struct Case {
        PacedStreamSource declared;
        const char* says;
    };
    PacedStreamSource missing;
    missing.file = "/nonexistent/x.ts";
    PacedStreamSource notTs;
    notTs.file = WriteTemp(noise, "paced-noise-");
    PacedStreamSource unmeasured;
    unmeasured.file = WriteTemp(noPcr, "paced-nopcr-");
    PacedStreamSource badSize;
    badSize.packetSize = 190;
    for (const Case& c : {Case{missing, "cannot open"}, Case{notTs, "no transport stream"},
                          Case{unmeasured, "cannot be measured"}, Case{badSize, ""}}) {
        std::string error;
        EXPECT_FALSE(PacedStream::Open(c.declared, &error));
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
    std::filesystem::remove(notTs.file);
    std::filesystem::remove(unmeasured.file);
    EXPECT_EQ(PacedStream::MeasureFileRate(noise), 0u);
}
