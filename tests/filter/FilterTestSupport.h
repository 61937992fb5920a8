#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "filter/FeedFilter.h"
#include "platform/graph/CMemAllocator.h"
#include "platform/system/Library.h"
#include "tests/filter/countingplugin/CountingPlugin.h"

// The counting plug-in the filter finds through the library search path.
inline CountingPluginControl* CountingControl() {
    static CountingPluginControl* control = [] {
        HMODULE library = LoadLibraryA("Plinth5.dll");
        if (!library) return static_cast<CountingPluginControl*>(nullptr);
        auto get = reinterpret_cast<CountingPluginControlFunction>(GetProcAddress(library, kCountingControlExport));
        return get ? get() : nullptr;
    }();
    return control;
}

using ModeAndText = std::pair<uint32_t, std::string>;

// A filter created the way the class factory creates it, with its interfaces at hand.
struct TestFilter {
    ComPtr<IBaseFilter> filter;
    ComPtr<ITSFeedControl> control;
    ComPtr<ITSFeedSampleInput> input;
    CFeedFilter* object = nullptr;
    int generation = -1;  // the counting plug-in's enumeration that this filter made

    TestFilter() {
        HRESULT hr = S_OK;
        CUnknown* unknown = CFeedFilter::CreateInstance(nullptr, &hr);
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(unknown->NonDelegatingQueryInterface(IID_IBaseFilter,
                                                       reinterpret_cast<void**>(filter.ReleaseAndGetAddressOf())),
                  S_OK);
        EXPECT_EQ(filter.As(IID_ITSFeedControl, &control), S_OK);
        EXPECT_EQ(filter.As(IID_ITSFeedSampleInput, &input), S_OK);
        void* self = nullptr;
        EXPECT_EQ(filter->QueryInterface(CLSID_TSFeedFilter, &self), S_OK);
        object = static_cast<CFeedFilter*>(self);
        object->Release();
    }

    // Waits for the list and notes which plug-in enumeration it came from.
    void WaitForList() {
        int32_t type;
        const char *name, *details;
        bool any = control->GetFeedInfo(0, &type, &name, &details);
        if (any && CountingControl()) generation = CountingControl()->generations() - 1;
    }

    // The mode and source text as GetMode reports them.
    ModeAndText Mode() const {
        uint32_t mode = 99;
        char text[kSourceTextSize];
        std::memset(text, 'x', sizeof text);
        EXPECT_EQ(control->GetMode(&mode, text), S_OK);
        return {mode, text};
    }

    CountingFeedState* Feed(int device) const {
        return CountingControl() ? CountingControl()->state(device, generation) : nullptr;
    }
};

// A sample of `length` bytes of `fill` from a one-buffer allocator of its own, with
// times when given; the test's reference is released at the end of the scope.
struct TestSample {
    ComPtr<CMemAllocator> allocator;
    IMediaSample* sample = nullptr;

    TestSample(LONG length, uint8_t fill, REFERENCE_TIME start = -1, REFERENCE_TIME stop = -1) {
        HRESULT hr = S_OK;
        allocator = new CMemAllocator("test", nullptr, &hr);
        ALLOCATOR_PROPERTIES request{1, length, 1, 0}, actual{};
        EXPECT_EQ(allocator->SetProperties(&request, &actual), S_OK);
        EXPECT_EQ(allocator->Commit(), S_OK);
        EXPECT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
        BYTE* p = nullptr;
        sample->GetPointer(&p);
        std::memset(p, fill, size_t(length));
        sample->SetActualDataLength(length);
        if (start >= 0) sample->SetTime(&start, &stop);
    }
    ~TestSample() {
        if (sample) sample->Release();
        allocator->Decommit();
    }
};

// The filter's saved state: a 24-byte UTF-16 header, the mode (little-endian), then the
// source text.
inline std::vector<BYTE> SavedState(uint32_t mode, const std::string& text) {
    std::vector<BYTE> bytes(24 + 264, 0);
    const char header[] = "00000000000 ";
    for (int i = 0; i < 12; ++i) bytes[2 * i] = BYTE(header[i]);
    for (int i = 0; i < 4; ++i) bytes[24 + i] = BYTE(mode >> (8 * i));
    std::memcpy(&bytes[28], text.data(), text.size());
    return bytes;
}

class CountingPluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(CountingControl(), nullptr) << "the counting plug-in must be on the library path";
    }
};
