#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/system/Event.h"

// The live status line on a terminal and the one summary line at exit.
class RunReport {
public:
    using Clock = std::chrono::steady_clock;
    struct Field {
        std::string name;
        std::string value;  // already formatted; numbers stay unquoted in JSON
        bool isText = false;
        std::string words;  // for people: replaces the value outside JSON when set
        bool jsonOnly = false;
    };

    // bytes: read whenever the line is drawn; extra: more fields for the live line.
    RunReport(std::string command, std::function<uint64_t()> bytes,
              std::function<std::vector<Field>()> extra = nullptr);
    ~RunReport();

    void Start();
    // Ends the live line; the elapsed time is fixed here.
    void Finish();
    double Seconds() const;
    // "bytes=… seconds=… bitrate=…" or one JSON object, to standard error.
    void PrintSummary(bool json, const std::vector<Field>& fields) const;

    static Field Number(const std::string& name, double value);
    static Field Integer(const std::string& name, int64_t value);
    static Field Text(const std::string& name, const std::string& value);
    // "lock": 1 or 0, "locked" or "unlocked" for people.
    static Field Lock(bool locked);
    // "signal": the raw level out of 65535, with its percentage for people; and
    // "signal_percent" for JSON readers.
    static std::vector<Field> Signal(uint16_t level);

    // The summary's bitrate; when it gives 0, bytes over the run's seconds.
    void SetBitrate(std::function<double()> bitrate) { bitrate_ = std::move(bitrate); }

private:
    void DrawLoop();

    std::string command_;
    std::function<uint64_t()> bytes_;
    std::function<std::vector<Field>()> extra_;
    std::function<double()> bitrate_;
    Clock::time_point start_{};
    Clock::time_point end_{};
    bool finished_ = false;
    bool live_ = false;
    Event stop_{true, false};
    std::thread drawer_;
};

// JSON string body with the characters that need it escaped.
std::string JsonEscape(const std::string& text);
