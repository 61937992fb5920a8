#pragma once
#include "platform/com/ComTypes.h"
#include <atomic>
#include <utility>

// {00000001-0000-0000-C000-000000000046}
constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

#ifndef __IUnknown_INTERFACE_DEFINED__
#define __IUnknown_INTERFACE_DEFINED__
// {00000000-0000-0000-C000-000000000046}
constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};
#endif

struct IClassFactory : IUnknown {
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) = 0;
    virtual HRESULT LockServer(BOOL lock) = 0;

protected:
    ~IClassFactory() = default;
};

// Owning interface pointer; Attach takes over a reference, assignment from a raw
// pointer adds one.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    ComPtr(T* p) : p_(p) { if (p_) p_->AddRef(); }
    ComPtr(const ComPtr& o) : p_(o.p_) { if (p_) p_->AddRef(); }
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ~ComPtr() { Reset(); }

    ComPtr& operator=(const ComPtr& o) { ComPtr(o).Swap(*this); return *this; }
    ComPtr& operator=(ComPtr&& o) noexcept { ComPtr(std::move(o)).Swap(*this); return *this; }
    ComPtr& operator=(T* p) { ComPtr(p).Swap(*this); return *this; }

    void Reset() { if (T* p = std::exchange(p_, nullptr)) p->Release(); }
    void Attach(T* p) { Reset(); p_ = p; }
    T* Detach() { return std::exchange(p_, nullptr); }
    void Swap(ComPtr& o) noexcept { std::swap(p_, o.p_); }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out parameters: releases what is held and hands out the slot.
    T** ReleaseAndGetAddressOf() { Reset(); return &p_; }

    template <class U>
    HRESULT As(REFIID iid, ComPtr<U>* out) const {
        if (!p_) return E_POINTER;
        return p_->QueryInterface(iid, reinterpret_cast<void**>(out->ReleaseAndGetAddressOf()));
    }

private:
    T* p_ = nullptr;
};

// Objects and server locks of one module; DllCanUnloadNow reads them. A module keeps
// its own pair, since the platform library is shared by everything in the process.
struct ModuleCounts {
    std::atomic<long> objects{0};
    std::atomic<long> locks{0};
};

// Counts its owner in a module's object count for as long as it lives.
class ModuleObjectCount {
public:
    explicit ModuleObjectCount(ModuleCounts& c) : c_(c) { c_.objects.fetch_add(1); }
    ~ModuleObjectCount() { c_.objects.fetch_sub(1); }
    ModuleObjectCount(const ModuleObjectCount&) = delete;
    ModuleObjectCount& operator=(const ModuleObjectCount&) = delete;

private:
    ModuleCounts& c_;
};

// The non-delegating half of an aggregatable object.
struct INonDelegatingUnknown {
    virtual HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG NonDelegatingAddRef() = 0;
    virtual ULONG NonDelegatingRelease() = 0;

protected:
    ~INonDelegatingUnknown() = default;
};

// Counts itself in the object count for as long as it lives.
// Counts itself in the process-wide platform object count (tests use it to find leaks).
class CBaseObject {
public:
    explicit CBaseObject(const char* name);
    virtual ~CBaseObject();
    CBaseObject(const CBaseObject&) = delete;
    CBaseObject& operator=(const CBaseObject&) = delete;
    static long ObjectsActive();
    const char* Name() const { return name_; }

private:
    const char* name_;
};

// Reference-counted object that can be aggregated: with an outer unknown every
// IUnknown call delegates to it, without one to itself.
class CUnknown : public INonDelegatingUnknown, public CBaseObject {
public:
    CUnknown(const char* name, IUnknown* outer);
    virtual ~CUnknown() = default;

    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    ULONG NonDelegatingAddRef() override;
    ULONG NonDelegatingRelease() override;

    IUnknown* GetOwner() const { return owner_; }

protected:
    std::atomic<long> ref_{0};

private:
    // The object's own IUnknown when nothing aggregates it; forwards to the
    // non-delegating methods.
    struct Inner final : IUnknown {
        explicit Inner(CUnknown* o) : outer(o) {}
        HRESULT QueryInterface(REFIID riid, void** ppv) override { return outer->NonDelegatingQueryInterface(riid, ppv); }
        ULONG AddRef() override { return outer->NonDelegatingAddRef(); }
        ULONG Release() override { return outer->NonDelegatingRelease(); }
        CUnknown* outer;
    };
    Inner inner_{this};
    IUnknown* owner_;
};

// Hands out an interface pointer with a reference added.
HRESULT GetInterface(IUnknown* unk, void** ppv);

// The three IUnknown methods of a class derived from CUnknown.
#define DECLARE_IUNKNOWN                                                                      \
    HRESULT QueryInterface(REFIID riid, void** ppv) override { return GetOwner()->QueryInterface(riid, ppv); } \
    ULONG AddRef() override { return GetOwner()->AddRef(); }                                   \
    ULONG Release() override { return GetOwner()->Release(); }
