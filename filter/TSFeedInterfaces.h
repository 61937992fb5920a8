#pragma once
// What a host needs to drive the filter: its class identifiers and its two
// interfaces. The slot order is a binary contract with hosts.
#include <cstdint>

#include "feeds/sdk/Feed.h"
#include "platform/com/Unknown.h"
#include "platform/graph/Interfaces.h"

// {5A486531-0201-43E0-BD81-D544BB08D0DC}
constexpr CLSID CLSID_TSFeedFilter = {0x5A486531, 0x0201, 0x43E0, {0xBD, 0x81, 0xD5, 0x44, 0xBB, 0x08, 0xD0, 0xDC}};
// {2C21A4B6-C51A-4990-B440-B0841534F73A}
constexpr CLSID CLSID_TSFeedPropertyPage = {0x2C21A4B6, 0xC51A, 0x4990, {0xB4, 0x40, 0xB0, 0x84, 0x15, 0x34, 0xF7, 0x3A}};
// {D57B64F7-8728-4717-BD9C-A09719A06BA0}
constexpr IID IID_ITSFeedControl = {0xD57B64F7, 0x8728, 0x4717, {0xBD, 0x9C, 0xA0, 0x97, 0x19, 0xA0, 0x6B, 0xA0}};
// {2D070527-5F3F-4A0C-B426-2E598F6D470D}
constexpr IID IID_ITSFeedSampleInput = {0x2D070527, 0x5F3F, 0x4A0C, {0xB4, 0x26, 0x2E, 0x59, 0x8F, 0x6D, 0x47, 0x0D}};

// Called by the output pin for every filled sample; the result is not read.
using HostDataCallback = void (*)(void* context, const uint8_t* data, int32_t length);

constexpr size_t kSourceTextSize = 260;

// The filter's name in a graph and in the filter mapper.
constexpr const char16_t* kFeedFilterName = u"Velmar TS Feed filter";
// The largest sample the filter's queue takes in one entry (4,096 packets of 188 bytes).
constexpr uint32_t kSampleEntryBytes = 770'048;
// The rate a file plays at when its bitrate cannot be measured.
constexpr uint32_t kUnmeasuredFileBitrate = 4'014'705;
// Appended to a file name in file mode, it makes the file loop.
constexpr const char* kFileLoopMarker = ":LOOP:";

enum FilterMode : uint32_t {
    kModeLiveFeed = 0,
    kModeFile = 1,
    kModePassThrough = 2,
    kModeHostSupplied = 3,
};

struct ITSFeedControl : IUnknown {
    /* 3 */ virtual bool GetFeedInfo(uint32_t index, int32_t* type, const char** name, const char** details) = 0;
    /* 4 */ virtual HRESULT GetMode(uint32_t* mode, char* text) = 0;  // text: room for 260 bytes
    /* 5 */ virtual HRESULT SetMode(uint32_t mode, const char* text) = 0;
    /* 6 */ virtual HRESULT Tune(const TuningParameters* params) = 0;
    /* 7 */ virtual HRESULT SetDataCallback(void* context, HostDataCallback callback) = 0;
    /* 8 */ virtual int32_t IsLocked() = 0;
    /* 9 */ virtual uint16_t GetSignalLevel() = 0;
    /* 10 */ virtual int32_t GetFeedType() = 0;
    /* 11 */ virtual bool SendDiseqcMessage(const uint8_t* message, uint32_t length) = 0;
    /* 12 */ virtual bool SetMuted(bool muted) = 0;

protected:
    ~ITSFeedControl() = default;
};

struct ITSFeedSampleInput : IUnknown {
    /* 3 */ virtual void DeliverSample(IMediaSample* sample) = 0;
    /* 4 */ virtual void DeliverBuffer(const uint8_t* data, uint32_t length) = 0;
    /* 5 */ virtual void SetDiscontinuity() = 0;
    /* 6 */ virtual void SetPid(uint16_t pid) = 0;

protected:
    ~ITSFeedSampleInput() = default;
};
