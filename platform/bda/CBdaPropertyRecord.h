#pragma once
// The plain properties of one tuning-model object. Every put is noted in BdaCallLog
// under the object's kind; a property never set reads as its default.
#include "platform/bda/BdaCallLog.h"
#include "platform/com/ComTypes.h"
#include <map>
#include <mutex>
#include <string>

class CBdaPropertyRecord {
public:
    explicit CBdaPropertyRecord(const char* kind) : kind_(kind) {}

    const char* Kind() const { return kind_; }
    LONG Value(const std::string& name, LONG fallback) const {
        std::lock_guard lock(m_);
        auto it = values_.find(name);
        return it == values_.end() ? fallback : it->second;
    }
    template <class T>
    HRESULT Get(const std::string& name, T* out, LONG fallback) const {
        if (!out) return E_POINTER;
        *out = static_cast<T>(Value(name, fallback));
        return S_OK;
    }
    void Put(const std::string& name, LONG value) {
        {
            std::lock_guard lock(m_);
            values_[name] = value;
        }
        Note("put_" + name, std::to_string(value));
    }
    void Note(const std::string& method, const std::string& value) const {
        BdaCallLog::Add(std::string(kind_) + "." + method + "=" + value);
    }

private:
    const char* kind_;
    mutable std::mutex m_;
    std::map<std::string, LONG> values_;
};

// Locator properties that were never set read as "not set" (-1), flags as false.
constexpr LONG kBdaNotSet = -1;

#define BDA_RECORDED_PROPERTY(Type, Name, Fallback)                                                  \
    HRESULT get_##Name(Type* value) override { return props_.Get(#Name, value, Fallback); }          \
    HRESULT put_##Name(Type value) override {                                                        \
        props_.Put(#Name, static_cast<LONG>(value));                                                 \
        return S_OK;                                                                                 \
    }
