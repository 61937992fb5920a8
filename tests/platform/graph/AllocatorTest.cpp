#include "GraphTestSupport.h"
#include "platform/graph/CMediaSample.h"
#include "platform/graph/CMemAllocator.h"
#include <gtest/gtest.h>
#include <fstream>
#include <unistd.h>

using namespace graphtest;

namespace {

// Resident memory of this process in bytes.
size_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    size_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

class Allocator : public ::testing::Test {
protected:
    void SetUp() override { alloc.Attach(CMemAllocator::Create()); }

    HRESULT Setup(LONG count, LONG size, LONG align = 1, LONG prefix = 0) {
        ALLOCATOR_PROPERTIES want{count, size, align, prefix};
        return alloc->SetProperties(&want, &actual);
    }
    IMediaSample* Get(DWORD flags = 0) {
        IMediaSample* s = nullptr;
        last = alloc->GetBuffer(&s, nullptr, nullptr, flags);
        return s;
    }
    static BYTE* Ptr(IMediaSample* s) {
        BYTE* p = nullptr;
        s->GetPointer(&p);
        return p;
    }

    ComPtr<CMemAllocator> alloc;
    ALLOCATOR_PROPERTIES actual{};
    HRESULT last = S_OK;
};

TEST_F(Allocator, NeedsPropertiesAndACommit) {
    EXPECT_EQ(Get(), nullptr);
    EXPECT_EQ(last, VFW_E_NOT_COMMITTED);
    EXPECT_EQ(alloc->Commit(), VFW_E_SIZENOTSET);
    ASSERT_EQ(Setup(0, 100), S_OK);
    EXPECT_EQ(alloc->Commit(), VFW_E_SIZENOTSET);  // no buffers is no size either
    ASSERT_EQ(Setup(2, 100), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    EXPECT_EQ(alloc->Commit(), S_OK);
    IMediaSample* s = Get();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetSize(), 100);
    EXPECT_EQ(s->GetActualDataLength(), 100);
    s->Release();
    EXPECT_EQ(alloc->Decommit(), S_OK);
    EXPECT_EQ(alloc->Decommit(), S_OK);
}

TEST_F(Allocator, PropertiesFollowAlignmentAndPrefix) {
    EXPECT_EQ(Setup(1, 100, 0), VFW_E_BADALIGN);
    EXPECT_EQ(Setup(1, 100, 3), VFW_E_BADALIGN);
    EXPECT_EQ(Setup(1, 100, 131072), VFW_E_BADALIGN);
    EXPECT_EQ(Setup(-1, 100), E_INVALIDARG);

    // Prefix plus buffer is rounded up to whole alignment units; the rest is buffer.
    ASSERT_EQ(Setup(3, 1000, 512, 100), S_OK);
    EXPECT_EQ(actual.cbBuffer, 1436);
    EXPECT_EQ(actual.cBuffers, 3);
    EXPECT_EQ(actual.cbAlign, 512);
    EXPECT_EQ(actual.cbPrefix, 100);
    ALLOCATOR_PROPERTIES got{};
    ASSERT_EQ(alloc->GetProperties(&got), S_OK);
    EXPECT_EQ(got.cbBuffer, 1436);

    // The 1,540,096-byte buffers of the feed filter's output need no rounding.
    ASSERT_EQ(Setup(200, 1540096, 1, 0), S_OK);
    EXPECT_EQ(actual.cbBuffer, 1540096);
    EXPECT_EQ(actual.cBuffers, 200);
}

TEST_F(Allocator, BuffersAreAlignedAndDisjoint) {
    ASSERT_EQ(Setup(4, 5000, 65536, 16), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    std::vector<IMediaSample*> samples;
    for (int i = 0; i < 4; ++i) samples.push_back(Get());
    for (int i = 0; i < 4; ++i) {
        ASSERT_NE(samples[i], nullptr);
        EXPECT_EQ((reinterpret_cast<uintptr_t>(Ptr(samples[i])) - 16) % 65536, 0u);
        std::memset(Ptr(samples[i]) - 16, i + 1, 16 + static_cast<size_t>(samples[i]->GetSize()));
    }
    for (int i = 0; i < 4; ++i) {
        BYTE* p = Ptr(samples[i]);
        EXPECT_EQ(p[-16], i + 1);
        EXPECT_EQ(p[samples[i]->GetSize() - 1], i + 1);
        samples[i]->Release();
    }
}

TEST_F(Allocator, FreeBuffersAreReusedLastInFirstOut) {
    ASSERT_EQ(Setup(3, 64), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    IMediaSample* a = Get();
    IMediaSample* b = Get();
    IMediaSample* c = Get();
    EXPECT_EQ(Get(AM_GBF_NOWAIT), nullptr);
    EXPECT_EQ(last, VFW_E_TIMEOUT);
    EXPECT_EQ(alloc->FreeCount(), 0);
    a->Release();
    c->Release();
    EXPECT_EQ(Get(), c);
    EXPECT_EQ(Get(), a);
    a->Release();
    b->Release();
    c->Release();
    // One buffer used over and over stays the same buffer.
    for (int i = 0; i < 5; ++i) {
        IMediaSample* s = Get();
        EXPECT_EQ(s, c);
        s->Release();
    }
}

TEST_F(Allocator, ReturnedSamplesComeBackClean) {
    ASSERT_EQ(Setup(1, 64), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    IMediaSample* s = Get();
    REFERENCE_TIME t0 = 5, t1 = 6;
    s->SetTime(&t0, &t1);
    s->SetMediaTime(&t0, &t1);
    s->SetSyncPoint(TRUE);
    s->SetPreroll(TRUE);
    s->SetDiscontinuity(TRUE);
    s->SetActualDataLength(3);
    CMediaType mt = MakeType(kMajorA, kSubA);
    s->SetMediaType(&mt);
    s->AddRef();
    EXPECT_EQ(s->Release(), 1u);  // still out
    EXPECT_EQ(alloc->FreeCount(), 0);
    s->Release();
    EXPECT_EQ(alloc->FreeCount(), 1);

    s = Get();
    EXPECT_EQ(s->GetTime(&t0, &t1), VFW_E_SAMPLE_TIME_NOT_SET);
    EXPECT_EQ(s->GetMediaTime(&t0, &t1), VFW_E_MEDIA_TIME_NOT_SET);
    EXPECT_EQ(s->IsSyncPoint(), S_FALSE);
    EXPECT_EQ(s->IsPreroll(), S_FALSE);
    EXPECT_EQ(s->IsDiscontinuity(), S_FALSE);
    EXPECT_EQ(s->GetActualDataLength(), 64);
    AM_MEDIA_TYPE* type = reinterpret_cast<AM_MEDIA_TYPE*>(1);
    EXPECT_EQ(s->GetMediaType(&type), S_FALSE);
    EXPECT_EQ(type, nullptr);
    s->Release();
}

TEST_F(Allocator, PropertiesAreFixedWhileCommittedOrInUse) {
    ASSERT_EQ(Setup(2, 64), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    EXPECT_EQ(Setup(2, 128), VFW_E_ALREADY_COMMITTED);
    IMediaSample* s = Get();
    ASSERT_EQ(alloc->Decommit(), S_OK);
    EXPECT_EQ(Setup(2, 128), VFW_E_BUFFERS_OUTSTANDING);
    EXPECT_EQ(Get(), nullptr);
    EXPECT_EQ(last, VFW_E_NOT_COMMITTED);
    s->Release();
    ASSERT_EQ(Setup(2, 128), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    s = Get();
    EXPECT_EQ(s->GetSize(), 128);
    s->Release();
}

TEST_F(Allocator, BuffersSurviveDecommitAndCommit) {
    ASSERT_EQ(Setup(3, 4096), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    IMediaSample* first = Get();
    BYTE* p = Ptr(first);
    first->Release();
    ASSERT_EQ(alloc->Decommit(), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    IMediaSample* again = Get();
    EXPECT_EQ(Ptr(again), p);
    again->Release();

    // Recommitted while a sample was still out: that sample is simply part of it again.
    IMediaSample* held = Get();
    ASSERT_EQ(alloc->Decommit(), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    held->Release();
    EXPECT_EQ(alloc->FreeCount(), 3);
    IMediaSample* s = Get();
    EXPECT_EQ(s, held);
    s->Release();
}

TEST_F(Allocator, OutstandingSampleKeepsADecommittedAllocatorAlive) {
    ASSERT_EQ(Setup(2, 64), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    IMediaSample* s = Get();
    const long objects = CBaseObject::ObjectsActive();
    ASSERT_EQ(alloc->Decommit(), S_OK);
    alloc.Reset();  // the last outside reference
    EXPECT_EQ(CBaseObject::ObjectsActive(), objects);
    BYTE* p = Ptr(s);
    p[0] = 0x47;  // still valid memory
    s->Release();
    EXPECT_EQ(CBaseObject::ObjectsActive(), objects - 1);
}

TEST_F(Allocator, LargeIdleAllocatorCostsAddressSpaceOnly) {
    const size_t before = ResidentBytes();
    ASSERT_EQ(Setup(200, 1540096), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    // Work with one buffer at a time, as a streaming pin with a fast consumer does.
    for (int i = 0; i < 50; ++i) {
        IMediaSample* s = Get();
        ASSERT_NE(s, nullptr);
        std::memset(Ptr(s), 0x47, static_cast<size_t>(s->GetSize()));
        s->Release();
    }
    const size_t busy = ResidentBytes();
    EXPECT_LT(busy, before + 32u * 1024 * 1024) << "resident growth " << (busy - before);

    // Buffers taken all at once and written become resident ...
    std::vector<IMediaSample*> held;
    for (int i = 0; i < 40; ++i) {
        held.push_back(Get());
        std::memset(Ptr(held.back()), 1, static_cast<size_t>(held.back()->GetSize()));
    }
    const size_t full = ResidentBytes();
    EXPECT_GT(full, busy + 50u * 1024 * 1024);
    for (IMediaSample* s : held) s->Release();
    // ... and go back to the system once the allocator is decommitted.
    ASSERT_EQ(alloc->Decommit(), S_OK);
    EXPECT_LT(ResidentBytes(), full - 50u * 1024 * 1024);
}

TEST(MediaSample, TimeRules) {
    ComPtr<CMemAllocator> alloc;
    alloc.Attach(CMemAllocator::Create());
    ALLOCATOR_PROPERTIES want{1, 16, 1, 0}, got{};
    ASSERT_EQ(alloc->SetProperties(&want, &got), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    IMediaSample* s = nullptr;
    ASSERT_EQ(alloc->GetBuffer(&s, nullptr, nullptr, 0), S_OK);

    REFERENCE_TIME start = -1, stop = -1;
    EXPECT_EQ(s->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
    EXPECT_EQ(start, -1);

    REFERENCE_TIME t0 = 1000;
    ASSERT_EQ(s->SetTime(&t0, nullptr), S_OK);
    EXPECT_EQ(s->GetTime(&start, &stop), VFW_S_NO_STOP_TIME);
    EXPECT_EQ(start, 1000);
    EXPECT_EQ(stop, 1001);

    REFERENCE_TIME t1 = 2000;
    ASSERT_EQ(s->SetTime(&t0, &t1), S_OK);
    EXPECT_EQ(s->GetTime(&start, &stop), S_OK);
    EXPECT_EQ(start, 1000);
    EXPECT_EQ(stop, 2000);

    // Start only again drops the old stop time.
    ASSERT_EQ(s->SetTime(&t1, nullptr), S_OK);
    EXPECT_EQ(s->GetTime(&start, &stop), VFW_S_NO_STOP_TIME);
    EXPECT_EQ(stop, 2001);

    ASSERT_EQ(s->SetTime(nullptr, &t1), S_OK);  // no start clears both
    EXPECT_EQ(s->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
    ASSERT_EQ(s->SetTime(&t0, &t1), S_OK);
    ASSERT_EQ(s->SetTime(nullptr, nullptr), S_OK);
    EXPECT_EQ(s->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
    EXPECT_EQ(s->GetTime(nullptr, &stop), E_POINTER);

    LONGLONG m0 = 7, m1 = 9;
    EXPECT_EQ(s->SetMediaTime(&m0, nullptr), E_POINTER);
    ASSERT_EQ(s->SetMediaTime(&m0, &m1), S_OK);
    LONGLONG a = 0, b = 0;
    ASSERT_EQ(s->GetMediaTime(&a, &b), S_OK);
    EXPECT_EQ(a, 7);
    EXPECT_EQ(b, 9);
    ASSERT_EQ(s->SetMediaTime(nullptr, nullptr), S_OK);
    EXPECT_EQ(s->GetMediaTime(&a, &b), VFW_E_MEDIA_TIME_NOT_SET);
    s->Release();
}

TEST(MediaSample, LengthFlagsAndType) {
    ComPtr<CMemAllocator> alloc;
    alloc.Attach(CMemAllocator::Create());
    ALLOCATOR_PROPERTIES want{1, 188, 1, 0}, got{};
    ASSERT_EQ(alloc->SetProperties(&want, &got), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    IMediaSample* s = nullptr;
    ASSERT_EQ(alloc->GetBuffer(&s, nullptr, nullptr, 0), S_OK);

    EXPECT_EQ(s->SetActualDataLength(188), S_OK);
    EXPECT_EQ(s->SetActualDataLength(189), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(s->SetActualDataLength(-1), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(s->GetActualDataLength(), 188);
    EXPECT_EQ(s->SetActualDataLength(0), S_OK);
    EXPECT_EQ(s->GetActualDataLength(), 0);

    EXPECT_EQ(s->IsDiscontinuity(), S_FALSE);
    s->SetDiscontinuity(TRUE);
    EXPECT_EQ(s->IsDiscontinuity(), S_OK);
    s->SetDiscontinuity(FALSE);
    EXPECT_EQ(s->IsDiscontinuity(), S_FALSE);
    s->SetSyncPoint(TRUE);
    EXPECT_EQ(s->IsSyncPoint(), S_OK);
    EXPECT_EQ(s->IsPreroll(), S_FALSE);

    CMediaType mt = MakeType(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT);
    ASSERT_EQ(s->SetMediaType(&mt), S_OK);
    AM_MEDIA_TYPE* back = nullptr;
    ASSERT_EQ(s->GetMediaType(&back), S_OK);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->subtype, MEDIASUBTYPE_MPEG2_TRANSPORT);
    DeleteMediaType(back);
    ASSERT_EQ(s->SetMediaType(nullptr), S_OK);
    EXPECT_EQ(s->GetMediaType(&back), S_FALSE);

    IMediaSample* viaQi = nullptr;
    ASSERT_EQ(s->QueryInterface(IID_IMediaSample, reinterpret_cast<void**>(&viaQi)), S_OK);
    EXPECT_EQ(viaQi, s);
    viaQi->Release();
    IUnknown* other = nullptr;
    EXPECT_EQ(s->QueryInterface(IID_IPin, reinterpret_cast<void**>(&other)), E_NOINTERFACE);
    s->Release();

    // Only this allocator's own samples can be given back to it.
    ComPtr<CMemAllocator> second;
    second.Attach(CMemAllocator::Create());
    ASSERT_EQ(alloc->GetBuffer(&s, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(second->ReleaseBuffer(s), E_INVALIDARG);
    s->Release();
}

}  // namespace
