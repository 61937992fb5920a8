// The platform's headers first, then the SDK's: the SDK's pool sample must implement
// every slot of the platform's interface, and both behave alike call for call.
#include "platform/graph/CMediaSample.h"
#include "platform/graph/CMemAllocator.h"

#include "feeds/sdk/Feed.h"
#include "feeds/sdk/FeedSamplePool.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

struct Call {
    const char* what;
    std::function<HRESULT(IMediaSample*)> call;
};

// Each row runs on a fresh sample of each kind; results and read-back values must match.
const Call kCalls[] = {
    {"GetTime without times", [](IMediaSample* s) { REFERENCE_TIME a = 0, b = 0; return s->GetTime(&a, &b); }},
    {"GetTime null", [](IMediaSample* s) { return s->GetTime(nullptr, nullptr); }},
    {"start only", [](IMediaSample* s) {
         REFERENCE_TIME a = 7, b = 0;
         s->SetTime(&a, nullptr);
         HRESULT hr = s->GetTime(&a, &b);
         return hr == VFW_S_NO_STOP_TIME && a == 7 && b == 8 ? hr : E_FAIL;
     }},
    {"start and stop", [](IMediaSample* s) {
         REFERENCE_TIME a = 7, b = 9;
         s->SetTime(&a, &b);
         a = b = 0;
         HRESULT hr = s->GetTime(&a, &b);
         return a == 7 && b == 9 ? hr : E_FAIL;
     }},
    {"times cleared", [](IMediaSample* s) {
         REFERENCE_TIME a = 7, b = 9;
         s->SetTime(&a, &b);
         s->SetTime(nullptr, nullptr);
         return s->GetTime(&a, &b);
     }},
    {"length beyond size", [](IMediaSample* s) { return s->SetActualDataLength(s->GetSize() + 1); }},
    {"negative length", [](IMediaSample* s) { return s->SetActualDataLength(-1); }},
    {"whole size", [](IMediaSample* s) {
         HRESULT hr = s->SetActualDataLength(s->GetSize());
         return s->GetActualDataLength() == s->GetSize() ? hr : E_FAIL;
     }},
    {"flags set and cleared", [](IMediaSample* s) {
         HRESULT fresh = s->IsSyncPoint() + 2 * s->IsPreroll() + 4 * s->IsDiscontinuity();
         s->SetSyncPoint(TRUE), s->SetPreroll(TRUE), s->SetDiscontinuity(TRUE);
         HRESULT set = s->IsSyncPoint() + 2 * s->IsPreroll() + 4 * s->IsDiscontinuity();
         s->SetDiscontinuity(FALSE);
         return fresh * 100 + set * 10 + s->IsDiscontinuity();
     }},
    {"media time unset", [](IMediaSample* s) { LONGLONG a, b; return s->GetMediaTime(&a, &b); }},
    {"media time without stop", [](IMediaSample* s) { LONGLONG a = 1; return s->SetMediaTime(&a, nullptr); }},
    {"media time", [](IMediaSample* s) {
         LONGLONG a = 3, b = 4;
         s->SetMediaTime(&a, &b);
         a = b = 0;
         HRESULT hr = s->GetMediaTime(&a, &b);
         return a == 3 && b == 4 ? hr : E_FAIL;
     }},
    {"no media type", [](IMediaSample* s) {
         AM_MEDIA_TYPE* type = reinterpret_cast<AM_MEDIA_TYPE*>(1);
         HRESULT hr = s->GetMediaType(&type);
         return type == nullptr ? hr : E_FAIL;
     }},
    {"unknown interface", [](IMediaSample* s) {
         void* p = s;
         HRESULT hr = s->QueryInterface(IID_IMediaControl, &p);
         return p == nullptr ? hr : E_FAIL;
     }},
    {"sample interface", [](IMediaSample* s) {
         void* p = nullptr;
         HRESULT hr = s->QueryInterface(IID_IMediaSample, &p);
         if (p != s) return E_FAIL;
         s->Release();
         return hr;
     }},
};

TEST(SdkSample, AnswersEveryCallAsThePlatformSampleDoes) {
    HRESULT hr = S_OK;
    auto* allocator = new CMemAllocator("platform", nullptr, &hr);
    allocator->AddRef();
    ALLOCATOR_PROPERTIES want{1, 376, 1, 0}, got{};
    ASSERT_EQ(allocator->SetProperties(&want, &got), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
    CFeedSamplePool pool;
    ASSERT_TRUE(pool.Reserve(1, 376));

    for (const Call& c : kCalls) {
        IMediaSample* platform = nullptr;
        ASSERT_EQ(allocator->GetBuffer(&platform, nullptr, nullptr, 0), S_OK);
        IMediaSample* sdk = pool.Acquire();
        ASSERT_NE(sdk, nullptr);
        EXPECT_EQ(sdk->GetSize(), platform->GetSize());
        EXPECT_EQ(c.call(sdk), c.call(platform)) << c.what;
        EXPECT_EQ(sdk->Release(), 0u);
        EXPECT_EQ(platform->Release(), 0u);
    }
    allocator->Decommit();
    allocator->Release();
}

}  // namespace
