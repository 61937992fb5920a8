#include "platform/com/Unknown.h"

namespace {
std::atomic<long> g_platformObjects{0};
}

CBaseObject::CBaseObject(const char* name) : name_(name) { g_platformObjects.fetch_add(1); }
CBaseObject::~CBaseObject() { g_platformObjects.fetch_sub(1); }
long CBaseObject::ObjectsActive() { return g_platformObjects.load(); }

CUnknown::CUnknown(const char* name, IUnknown* outer) : CBaseObject(name), owner_(outer ? outer : &inner_) {}

HRESULT CUnknown::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown) return GetInterface(&inner_, ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CUnknown::NonDelegatingAddRef() { return static_cast<ULONG>(ref_.fetch_add(1) + 1); }

ULONG CUnknown::NonDelegatingRelease() {
    long left = ref_.fetch_sub(1) - 1;
    if (left == 0) {
        // Guard against a release from inside the destructor deleting twice.
        ref_.store(1);
        delete this;
        return 0;
    }
    return static_cast<ULONG>(left);
}

HRESULT GetInterface(IUnknown* unk, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = unk;
    unk->AddRef();
    return S_OK;
}
