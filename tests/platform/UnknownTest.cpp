#include "platform/com/Unknown.h"
#include <gtest/gtest.h>

namespace {
// {0D1E2F30-1111-2222-3333-444455556666}
constexpr IID IID_IProbe = {0x0D1E2F30, 0x1111, 0x2222, {0x33, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66}};

struct IProbe : IUnknown {
    virtual int Poke() = 0;

protected:
    ~IProbe() = default;
};

class Probe final : public CUnknown, public IProbe {
public:
    explicit Probe(IUnknown* outer) : CUnknown("probe", outer) {}
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IProbe) return GetInterface(static_cast<IProbe*>(this), ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }
    int Poke() override { return ++pokes; }
    long Refs() const { return ref_.load(); }
    int pokes = 0;
};

// An outer object that aggregates a Probe and exposes IProbe through it.
class Outer final : public IUnknown {
public:
    Outer() {
        inner_ = new Probe(this);
        inner_->NonDelegatingAddRef();
    }
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown) return GetInterface(this, ppv);
        if (riid == IID_IProbe) return inner_->NonDelegatingQueryInterface(riid, ppv);
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG Release() override {
        long left = --refs;
        if (left == 0) {
            inner_->NonDelegatingRelease();
            delete this;
        }
        return static_cast<ULONG>(left);
    }
    Probe* inner_;
    long refs = 0;
};

class UnknownTest : public ::testing::Test {
protected:
    void SetUp() override { baseline_ = CBaseObject::ObjectsActive(); }
    void TearDown() override { EXPECT_EQ(CBaseObject::ObjectsActive(), baseline_) << "leaked objects"; }
    long baseline_ = 0;
};
}  // namespace

TEST_F(UnknownTest, ReferenceCountDecidesTheLifetime) {
    auto* probe = new Probe(nullptr);
    EXPECT_EQ(CBaseObject::ObjectsActive(), baseline_ + 1);
    EXPECT_STREQ(probe->Name(), "probe");
    IProbe* p = nullptr;
    ASSERT_EQ(probe->NonDelegatingQueryInterface(IID_IProbe, reinterpret_cast<void**>(&p)), S_OK);
    EXPECT_EQ(p->AddRef(), 2u);
    IUnknown* unk = nullptr;
    ASSERT_EQ(p->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unk)), S_OK);
    EXPECT_EQ(probe->Refs(), 3);
    EXPECT_EQ(unk, probe->GetOwner()) << "IUnknown is the object's own identity";
    EXPECT_EQ(unk->Release(), 2u);
    EXPECT_EQ(p->Release(), 1u);
    EXPECT_EQ(p->Poke(), 1);
    EXPECT_EQ(p->Release(), 0u);
}

TEST_F(UnknownTest, UnknownInterfaceAndNullOutput) {
    ComPtr<IProbe> p;
    auto* probe = new Probe(nullptr);
    ASSERT_EQ(probe->NonDelegatingQueryInterface(IID_IProbe, reinterpret_cast<void**>(p.ReleaseAndGetAddressOf())), S_OK);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(p->QueryInterface(IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(p->QueryInterface(IID_IProbe, nullptr), E_POINTER);
    EXPECT_EQ(GetInterface(p.Get(), nullptr), E_POINTER);
}

TEST_F(UnknownTest, AggregatedObjectDelegatesToItsOuter) {
    auto* outer = new Outer;
    outer->AddRef();
    Probe* inner = outer->inner_;
    EXPECT_EQ(inner->GetOwner(), outer);

    IProbe* p = nullptr;
    ASSERT_EQ(outer->QueryInterface(IID_IProbe, reinterpret_cast<void**>(&p)), S_OK);
    EXPECT_EQ(outer->refs, 2) << "the reference went to the outer object";
    EXPECT_EQ(inner->Refs(), 1);

    // Asking the inner object's interface for IUnknown yields the outer identity.
    IUnknown* identity = nullptr;
    ASSERT_EQ(p->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(outer));
    identity->Release();
    p->AddRef();
    EXPECT_EQ(outer->refs, 3);
    p->Release();
    p->Release();
    EXPECT_EQ(outer->refs, 1);
    EXPECT_EQ(CBaseObject::ObjectsActive(), baseline_ + 1);
    outer->Release();  // takes the inner object with it
}

TEST_F(UnknownTest, ComPtrCountsItsReferences) {
    auto* probe = new Probe(nullptr);
    IProbe* raw = nullptr;
    probe->NonDelegatingQueryInterface(IID_IProbe, reinterpret_cast<void**>(&raw));
    ComPtr<IProbe> a;
    a.Attach(raw);  // takes over the one reference
    EXPECT_EQ(probe->Refs(), 1);
    {
        ComPtr<IProbe> b = a;
        EXPECT_EQ(probe->Refs(), 2);
        ComPtr<IProbe> c = std::move(b);
        EXPECT_FALSE(b);
        EXPECT_EQ(probe->Refs(), 2);
        ComPtr<IUnknown> unk;
        EXPECT_EQ(c.As(IID_IUnknown, &unk), S_OK);
        EXPECT_EQ(probe->Refs(), 3);
        ComPtr<IUnknown> none;
        EXPECT_EQ(none.As(IID_IUnknown, &unk), E_POINTER);
    }
    EXPECT_EQ(probe->Refs(), 1);
    ComPtr<IProbe> d(raw);  // from a raw pointer: adds one
    EXPECT_EQ(probe->Refs(), 2);
    d = a;
    EXPECT_EQ(probe->Refs(), 2) << "assigning the same object keeps the count";
    IProbe* detached = d.Detach();
    EXPECT_EQ(probe->Refs(), 2);
    detached->Release();
    a.Reset();
    EXPECT_FALSE(a);
}

TEST_F(UnknownTest, ModuleCountsFollowObjects) {
    ModuleCounts counts;
    {
        ModuleObjectCount one(counts);
        ModuleObjectCount two(counts);
        EXPECT_EQ(counts.objects.load(), 2);
    }
    EXPECT_EQ(counts.objects.load(), 0);
}
