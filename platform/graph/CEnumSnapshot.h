#pragma once
// Enumerates a fixed list of interface pointers, taken when the enumerator is made:
// the shape every IEnumXxx over objects shares.
#include <mutex>
#include <new>
#include <vector>

#include "platform/com/Unknown.h"

template <class IEnum, class Item, const IID& EnumIid>
class CEnumSnapshot final : public CUnknown, public IEnum {
public:
    explicit CEnumSnapshot(std::vector<ComPtr<Item>> items, size_t position = 0)
        : CUnknown("enumerator", nullptr), items_(std::move(items)), position_(position) {}

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == EnumIid) return GetInterface(static_cast<IEnum*>(this), ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }

    // S_FALSE when fewer than count were left.
    HRESULT Next(ULONG count, Item** items, ULONG* fetchedOut) override {
        if (fetchedOut) *fetchedOut = 0;
        if (!items) return E_POINTER;
        // Only a single item may be asked for without a count to report back.
        if (count > 1 && !fetchedOut) return E_INVALIDARG;
        std::lock_guard lock(mutex_);
        ULONG fetched = 0;
        while (fetched < count && position_ < items_.size()) {
            Item* item = items_[position_++].Get();
            item->AddRef();
            items[fetched++] = item;
        }
        if (fetchedOut) *fetchedOut = fetched;
        return fetched == count ? S_OK : S_FALSE;
    }

    HRESULT Skip(ULONG count) override {
        std::lock_guard lock(mutex_);
        if (count > items_.size() - position_) {
            position_ = items_.size();
            return S_FALSE;
        }
        position_ += count;
        return S_OK;
    }

    HRESULT Reset() override {
        std::lock_guard lock(mutex_);
        position_ = 0;
        return S_OK;
    }

    HRESULT Clone(IEnum** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        std::lock_guard lock(mutex_);
        auto* copy = new (std::nothrow) CEnumSnapshot(items_, position_);
        if (!copy) return E_OUTOFMEMORY;
        return copy->NonDelegatingQueryInterface(EnumIid, reinterpret_cast<void**>(out));
    }

private:
    std::mutex mutex_;
    std::vector<ComPtr<Item>> items_;
    size_t position_;
};
