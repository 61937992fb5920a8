#include "GraphTestSupport.h"

using namespace graphtest;

namespace {

using Allocator = AllocatorTest;

TEST_F(Allocator, PropertiesCommitAndDecommit) {
    EXPECT_EQ(Get(), nullptr);
    EXPECT_EQ(last, VFW_E_NOT_COMMITTED);
    EXPECT_EQ(alloc->Commit(), VFW_E_SIZENOTSET);
    ASSERT_EQ(Setup(0, 100), S_OK);
    EXPECT_EQ(alloc->Commit(), VFW_E_SIZENOTSET) << "no buffers is no size either";
    EXPECT_EQ(Setup(1, 100, 0), VFW_E_BADALIGN);
    EXPECT_EQ(Setup(1, 100, 3), VFW_E_BADALIGN);
    EXPECT_EQ(Setup(1, 100, 131072), VFW_E_BADALIGN);
    EXPECT_EQ(Setup(-1, 100), E_INVALIDARG);
    // Prefix plus buffer is rounded up to whole alignment units; the rest is buffer.
    ASSERT_EQ(Setup(3, 1000, 512, 100), S_OK);
    EXPECT_EQ(actual.cbBuffer, 1436);
    EXPECT_EQ(actual.cbPrefix, 100);

    ASSERT_EQ(Setup(2, 64), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    EXPECT_EQ(alloc->Commit(), S_OK);
    EXPECT_EQ(Setup(2, 128), VFW_E_ALREADY_COMMITTED);
    IMediaSample* s = Get();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetActualDataLength(), 64);
    ASSERT_EQ(alloc->Decommit(), S_OK);
    EXPECT_EQ(alloc->Decommit(), S_OK);
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

TEST_F(Allocator, BuffersAreAlignedDisjointAndReusedLastInFirstOut) {
    ASSERT_EQ(Setup(3, 5000, 65536, 16), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    IMediaSample* s[3] = {Get(), Get(), Get()};
    EXPECT_EQ(Get(AM_GBF_NOWAIT), nullptr);
    EXPECT_EQ(last, VFW_E_TIMEOUT);
    for (int i = 0; i < 3; ++i) {
        ASSERT_NE(s[i], nullptr);
        EXPECT_EQ((reinterpret_cast<uintptr_t>(Ptr(s[i])) - 16) % 65536, 0u);
        std::memset(Ptr(s[i]) - 16, i + 1, 16 + static_cast<size_t>(s[i]->GetSize()));
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Ptr(s[i])[-16], i + 1);
        EXPECT_EQ(Ptr(s[i])[s[i]->GetSize() - 1], i + 1);
    }
    s[0]->Release();
    s[2]->Release();
    EXPECT_EQ(Get(), s[2]);
    EXPECT_EQ(Get(), s[0]);
    for (IMediaSample* x : s) x->Release();

    // Buffers survive a decommit; one held across a recommit simply belongs to it again.
    ASSERT_EQ(alloc->Decommit(), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    IMediaSample* held = Get();
    EXPECT_EQ(held, s[2]);
    ASSERT_EQ(alloc->Decommit(), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    held->Release();
    EXPECT_EQ(alloc->FreeCount(), 3);
    EXPECT_EQ(Get(), held);
    held->Release();
}

TEST_F(Allocator, OutstandingSampleKeepsADecommittedAllocatorAlive) {
    ASSERT_EQ(Setup(2, 64), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    IMediaSample* s = Get();
    const long objects = CBaseObject::ObjectsActive();
    ASSERT_EQ(alloc->Decommit(), S_OK);
    alloc.Reset();  // the last outside reference
    EXPECT_EQ(CBaseObject::ObjectsActive(), objects);
    Ptr(s)[0] = 0x47;  // still valid memory
    s->Release();
    EXPECT_EQ(CBaseObject::ObjectsActive(), objects - 1);
}

TEST_F(Allocator, SampleTimesFlagsAndTypeAreClearedOnReturn) {
    ASSERT_EQ(Setup(1, 188), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    IMediaSample* s = Get();
    REFERENCE_TIME start = -1, stop = -1, t0 = 1000, t1 = 2000;
    ASSERT_EQ(s->SetTime(&t0, nullptr), S_OK);
    EXPECT_EQ(s->GetTime(&start, &stop), VFW_S_NO_STOP_TIME);
    EXPECT_EQ(stop, 1001) << "a start alone gives a stop one unit later";
    ASSERT_EQ(s->SetTime(&t0, &t1), S_OK);
    EXPECT_EQ(s->GetTime(&start, &stop), S_OK);
    EXPECT_EQ(stop, 2000);
    ASSERT_EQ(s->SetTime(&t1, nullptr), S_OK);  // start only again drops the old stop
    EXPECT_EQ(s->GetTime(&start, &stop), VFW_S_NO_STOP_TIME);
    EXPECT_EQ(stop, 2001);
    ASSERT_EQ(s->SetTime(nullptr, &t1), S_OK);  // no start clears both
    EXPECT_EQ(s->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
    EXPECT_EQ(s->GetTime(nullptr, &stop), E_POINTER);
    EXPECT_EQ(s->SetMediaTime(&t0, nullptr), E_POINTER);
    ASSERT_EQ(s->SetMediaTime(&t0, &t1), S_OK);
    ASSERT_EQ(s->GetMediaTime(&start, &stop), S_OK);
    EXPECT_EQ(start, 1000);
    EXPECT_EQ(s->SetActualDataLength(189), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(s->SetActualDataLength(-1), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(s->SetActualDataLength(3), S_OK);
    s->SetDiscontinuity(TRUE);
    EXPECT_EQ(s->IsDiscontinuity(), S_OK);
    EXPECT_EQ(s->IsSyncPoint(), S_FALSE) << "flags are separate";
    s->SetSyncPoint(TRUE);
    s->SetPreroll(TRUE);
    s->SetTime(&t0, &t1);
    CMediaType mt = MakeType(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT);
    ASSERT_EQ(s->SetMediaType(&mt), S_OK);
    AM_MEDIA_TYPE* type = nullptr;
    ASSERT_EQ(s->GetMediaType(&type), S_OK);
    EXPECT_EQ(type->subtype, MEDIASUBTYPE_MPEG2_TRANSPORT);
    DeleteMediaType(type);
    // Only this allocator's own samples can be given back to it.
    ComPtr<CMemAllocator> second;
    second.Attach(CMemAllocator::Create());
    EXPECT_EQ(second->ReleaseBuffer(s), E_INVALIDARG);
    s->AddRef();
    EXPECT_EQ(s->Release(), 1u);
    EXPECT_EQ(alloc->FreeCount(), 0) << "still out";
    s->Release();
    EXPECT_EQ(alloc->FreeCount(), 1);

    // The next user of the buffer sees none of it.
    s = Get();
    EXPECT_EQ(s->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
    EXPECT_EQ(s->GetMediaTime(&start, &stop), VFW_E_MEDIA_TIME_NOT_SET);
    EXPECT_EQ(s->IsSyncPoint(), S_FALSE);
    EXPECT_EQ(s->IsPreroll(), S_FALSE);
    EXPECT_EQ(s->IsDiscontinuity(), S_FALSE);
    EXPECT_EQ(s->GetActualDataLength(), 188);
    type = reinterpret_cast<AM_MEDIA_TYPE*>(1);
    EXPECT_EQ(s->GetMediaType(&type), S_FALSE);
    EXPECT_EQ(type, nullptr);
    s->Release();
}

}  // namespace
