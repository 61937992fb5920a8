#include "platform/graph/CClassFactory.h"
#include <gtest/gtest.h>

namespace {

// {1B0A7A52-93C4-4E0B-8F0E-4D1C8B2A6E11}
constexpr CLSID kTestClass = {0x1B0A7A52, 0x93C4, 0x4E0B, {0x8F, 0x0E, 0x4D, 0x1C, 0x8B, 0x2A, 0x6E, 0x11}};

std::atomic<int> g_alive{0};
HRESULT g_createResult = S_OK;

class TestObject : public CUnknown, public IPersist {
public:
    explicit TestObject(IUnknown* outer) : CUnknown("Test object", outer) { ++g_alive; }
    ~TestObject() override { --g_alive; }
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IPersist) return GetInterface(static_cast<IPersist*>(this), ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }
    HRESULT GetClassID(CLSID* clsid) override { return *clsid = kTestClass, S_OK; }
};

CUnknown* NewObject(IUnknown* outer, HRESULT* phr) {
    *phr = g_createResult;
    return new TestObject(outer);
}

class ClassFactoryTest : public ::testing::Test {
protected:
    void TearDown() override {
        g_createResult = S_OK;
        EXPECT_EQ(g_alive.load(), 0) << "a test object leaked";
    }
    IClassFactory* Make(LPFNNewCOMObject create) {
        tmpl_ = CFactoryTemplate{u"Test", &kTestClass, create, nullptr, nullptr};
        IClassFactory* f = nullptr;
        (new CClassFactory(&tmpl_, counts_))->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&f));
        return f;
    }
    CFactoryTemplate tmpl_{};
    ModuleCounts counts_;
};

TEST_F(ClassFactoryTest, CreatesWithOneReferenceAndPassesFailuresOn) {
    IClassFactory* f = Make(&NewObject);
    EXPECT_EQ(counts_.objects.load(), 1) << "a factory counts as a module object";
    IPersist* p = nullptr;
    ASSERT_EQ(f->CreateInstance(nullptr, IID_IPersist, reinterpret_cast<void**>(&p)), S_OK);
    CLSID clsid{};
    EXPECT_EQ(p->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, kTestClass);
    EXPECT_EQ(p->Release(), 0u);
    EXPECT_EQ(g_alive.load(), 0);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(f->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(g_alive.load(), 0) << "an object without the interface is deleted";
    EXPECT_EQ(f->CreateInstance(nullptr, IID_IPersist, nullptr), E_POINTER);
    g_createResult = E_FAIL;
    EXPECT_EQ(f->CreateInstance(nullptr, IID_IUnknown, &out), E_FAIL);
    EXPECT_EQ(out, nullptr) << "an object returned with a failure is neither handed out nor leaked";
    EXPECT_EQ(f->Release(), 0u);
    EXPECT_EQ(counts_.objects.load(), 0);

    f = Make([](IUnknown*, HRESULT* phr) -> CUnknown* { return *phr = E_ACCESSDENIED, nullptr; });
    EXPECT_EQ(f->CreateInstance(nullptr, IID_IUnknown, &out), E_ACCESSDENIED);
    f->Release();
    f = Make([](IUnknown*, HRESULT*) -> CUnknown* { return nullptr; });
    EXPECT_EQ(f->CreateInstance(nullptr, IID_IUnknown, &out), E_OUTOFMEMORY) << "nothing and no reason";
    f->Release();
}

TEST_F(ClassFactoryTest, AggregationOnlyThroughIUnknown) {
    // An outer object that only counts the references it is given.
    struct Outer : IUnknown {
        HRESULT QueryInterface(REFIID riid, void** ppv) override {
            return riid == IID_IUnknown ? GetInterface(this, ppv) : (*ppv = nullptr, E_NOINTERFACE);
        }
        ULONG AddRef() override { return static_cast<ULONG>(++refs); }
        ULONG Release() override { return static_cast<ULONG>(--refs); }
        long refs = 1;
    } outer;
    IClassFactory* f = Make(&NewObject);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(f->CreateInstance(&outer, IID_IPersist, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(g_alive.load(), 0);

    IUnknown* inner = nullptr;
    ASSERT_EQ(f->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
    EXPECT_EQ(outer.refs, 1) << "the inner unknown must not count on the outer object";
    IPersist* persist = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)), S_OK);
    EXPECT_EQ(outer.refs, 2) << "other interfaces count on the outer object";
    IUnknown* identity = nullptr;
    ASSERT_EQ(persist->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer)) << "the outer object's identity";
    identity->Release();
    persist->Release();
    EXPECT_EQ(outer.refs, 1);
    inner->Release();
    f->Release();
}

TEST_F(ClassFactoryTest, LockServerCountsAndNeverGoesNegative) {
    IClassFactory* f = Make(&NewObject);
    EXPECT_EQ(f->LockServer(TRUE), S_OK);
    EXPECT_EQ(f->LockServer(TRUE), S_OK);
    EXPECT_EQ(counts_.locks.load(), 2);
    EXPECT_EQ(f->LockServer(FALSE), S_OK);
    EXPECT_EQ(f->LockServer(FALSE), S_OK);
    EXPECT_EQ(f->LockServer(FALSE), E_UNEXPECTED);
    EXPECT_EQ(counts_.locks.load(), 0);
    f->Release();
}

}  // namespace
