// The SDK's declarations and the platform's side by side, the SDK's in a namespace of
// their own: the same layouts, values and slot order. Everything the SDK header itself
// includes comes first, so that only its own declarations land in the namespace.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace sdk {
#include "feeds/sdk/FeedComTypes.h"
}
#undef COM_RESULT_CODES_DEFINED
#undef GUID_DEFINED
#undef __IUnknown_INTERFACE_DEFINED__
#undef AM_MEDIA_TYPE_DEFINED
#undef __IMediaSample_INTERFACE_DEFINED__

#include "platform/graph/GraphResults.h"
#include "platform/graph/Interfaces.h"

#include <gtest/gtest.h>

#include <vector>

static_assert(sizeof(sdk::GUID) == sizeof(GUID) && offsetof(sdk::GUID, Data4) == offsetof(GUID, Data4));
static_assert(sizeof(sdk::AM_MEDIA_TYPE) == sizeof(AM_MEDIA_TYPE));
static_assert(offsetof(sdk::AM_MEDIA_TYPE, formattype) == offsetof(AM_MEDIA_TYPE, formattype));
static_assert(offsetof(sdk::AM_MEDIA_TYPE, pUnk) == offsetof(AM_MEDIA_TYPE, pUnk));
static_assert(offsetof(sdk::AM_MEDIA_TYPE, pbFormat) == offsetof(AM_MEDIA_TYPE, pbFormat));
static_assert(sdk::S_OK == S_OK && sdk::S_FALSE == S_FALSE && sdk::E_NOTIMPL == E_NOTIMPL &&
              sdk::E_NOINTERFACE == E_NOINTERFACE && sdk::E_POINTER == E_POINTER && sdk::E_FAIL == E_FAIL &&
              sdk::E_OUTOFMEMORY == E_OUTOFMEMORY && sdk::E_INVALIDARG == E_INVALIDARG);

namespace {

constexpr bool SameGuid(const sdk::GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
static_assert(SameGuid(sdk::IID_IUnknown, IID_IUnknown) && SameGuid(sdk::IID_IMediaSample, IID_IMediaSample));

// A platform sample that answers each slot with the slot's number.
struct SlotProbe final : IMediaSample {
    HRESULT QueryInterface(REFIID, void**) override { return 0; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 2; }
    HRESULT GetPointer(BYTE**) override { return 3; }
    LONG GetSize() override { return 4; }
    HRESULT GetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return 5; }
    HRESULT SetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return 6; }
    HRESULT IsSyncPoint() override { return 7; }
    HRESULT SetSyncPoint(BOOL) override { return 8; }
    HRESULT IsPreroll() override { return 9; }
    HRESULT SetPreroll(BOOL) override { return 10; }
    LONG GetActualDataLength() override { return 11; }
    HRESULT SetActualDataLength(LONG) override { return 12; }
    HRESULT GetMediaType(AM_MEDIA_TYPE**) override { return 13; }
    HRESULT SetMediaType(AM_MEDIA_TYPE*) override { return 14; }
    HRESULT IsDiscontinuity() override { return 15; }
    HRESULT SetDiscontinuity(BOOL) override { return 16; }
    HRESULT GetMediaTime(LONGLONG*, LONGLONG*) override { return 17; }
    HRESULT SetMediaTime(LONGLONG*, LONGLONG*) override { return 18; }
};

// Calls each slot by the SDK's declaration on an object built from the platform's; the
// two classes differ in name only here, which the dynamic type check would report.
__attribute__((no_sanitize("vptr"), noinline)) std::vector<long> SlotsThroughSdk(sdk::IMediaSample* s) {
    // What a plug-in sees: an object it did not build. The optimiser must not see
    // through the cast to the probe's own type.
    asm volatile("" : "+r"(s));
    return {long(s->QueryInterface(sdk::IID_IUnknown, nullptr)), long(s->AddRef()), long(s->Release()),
            long(s->GetPointer(nullptr)), long(s->GetSize()), long(s->GetTime(nullptr, nullptr)),
            long(s->SetTime(nullptr, nullptr)), long(s->IsSyncPoint()), long(s->SetSyncPoint(0)),
            long(s->IsPreroll()), long(s->SetPreroll(0)), long(s->GetActualDataLength()),
            long(s->SetActualDataLength(0)), long(s->GetMediaType(nullptr)), long(s->SetMediaType(nullptr)),
            long(s->IsDiscontinuity()), long(s->SetDiscontinuity(0)), long(s->GetMediaTime(nullptr, nullptr)),
            long(s->SetMediaTime(nullptr, nullptr))};
}

TEST(SdkDeclarations, SampleSlotsComeInThePlatformsOrder) {
    SlotProbe probe;
    std::vector<long> slots = SlotsThroughSdk(reinterpret_cast<sdk::IMediaSample*>(static_cast<IMediaSample*>(&probe)));
    ASSERT_EQ(slots.size(), 19u);
    for (long i = 0; i < 19; ++i) EXPECT_EQ(slots[i], i);
}

}  // namespace
