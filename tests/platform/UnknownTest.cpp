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

class UnknownTest : public ::testing::Test {
protected:
    void SetUp() override { baseline_ = CBaseObject::ObjectsActive(); }
    void TearDown() override { EXPECT_EQ(CBaseObject::ObjectsActive(), baseline_) << "leaked objects"; }
    long baseline_ = 0;
};
}  // namespace

TEST_F(UnknownTest, ReferenceCountsAndQueryInterfaceRules) {
    auto* probe = new Probe(nullptr);
    EXPECT_EQ(CBaseObject::ObjectsActive(), baseline_ + 1);
    IProbe* p = nullptr;
    ASSERT_EQ(probe->NonDelegatingQueryInterface(IID_IProbe, reinterpret_cast<void**>(&p)), S_OK);
    EXPECT_EQ(p->AddRef(), 2u);
    IUnknown* unk = nullptr;
    ASSERT_EQ(p->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unk)), S_OK);
    EXPECT_EQ(probe->Refs(), 3);
    EXPECT_EQ(unk, probe->GetOwner()) << "IUnknown is the object's own identity";
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(p->QueryInterface(IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(p->QueryInterface(IID_IProbe, nullptr), E_POINTER);
    EXPECT_EQ(probe->Refs(), 3) << "failed queries take no reference";
    EXPECT_EQ(unk->Release(), 2u);
    EXPECT_EQ(p->Release(), 1u);
    EXPECT_EQ(p->Poke(), 1);
    EXPECT_EQ(p->Release(), 0u);  // the fixture checks the object went
}

TEST_F(UnknownTest, ComPtrCountsItsReferences) {
    auto* probe = new Probe(nullptr);
    IProbe* raw = nullptr;
    probe->NonDelegatingQueryInterface(IID_IProbe, reinterpret_cast<void**>(&raw));
    ComPtr<IProbe> a;
    a.Attach(raw);  // takes over the one reference
    {
        ComPtr<IProbe> b = a, c = std::move(b);
        EXPECT_FALSE(b);
        ComPtr<IUnknown> unk;
        EXPECT_EQ(c.As(IID_IUnknown, &unk), S_OK);
        EXPECT_EQ(probe->Refs(), 3);
        c = a;
        EXPECT_EQ(probe->Refs(), 3) << "assigning the same object keeps the count";
    }
    EXPECT_EQ(probe->Refs(), 1);
    ComPtr<IProbe> d(raw);  // from a raw pointer: adds one
    d.Detach()->Release();
    a.Reset();  // the fixture checks the object went
}
