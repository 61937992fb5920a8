#include "platform/graph/CMemoryStream.h"
#include <algorithm>
#include <new>

namespace {
constexpr HRESULT kInvalidFunction = MakeHResult(0x80030001u);  // STG_E_INVALIDFUNCTION
}

CMemoryStream::CMemoryStream(std::vector<BYTE> initial) : CUnknown("Memory stream", nullptr), bytes_(std::move(initial)) {}

HRESULT CMemoryStream::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IStream || riid == IID_ISequentialStream) return GetInterface(static_cast<IStream*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CMemoryStream::Read(void* pv, ULONG cb, ULONG* pcbRead) {
    if (pcbRead) *pcbRead = 0;
    if (!pv && cb) return E_POINTER;
    std::lock_guard lock(mutex_);
    ULONGLONG available = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
    ULONG n = static_cast<ULONG>(std::min<ULONGLONG>(cb, available));
    if (n) std::memcpy(pv, bytes_.data() + position_, n);
    position_ += n;
    if (pcbRead) *pcbRead = n;
    return n == cb ? S_OK : S_FALSE;
}

HRESULT CMemoryStream::Write(const void* pv, ULONG cb, ULONG* pcbWritten) {
    if (pcbWritten) *pcbWritten = 0;
    if (!pv && cb) return E_POINTER;
    std::lock_guard lock(mutex_);
    if (position_ + cb > kMaxSize) return STG_E_MEDIUMFULL;
    try {
        if (position_ + cb > bytes_.size()) bytes_.resize(position_ + cb);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (cb) std::memcpy(bytes_.data() + position_, pv, cb);
    position_ += cb;
    if (pcbWritten) *pcbWritten = cb;
    return S_OK;
}

HRESULT CMemoryStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) {
    std::lock_guard lock(mutex_);
    long long base;
    switch (origin) {
    case STREAM_SEEK_SET: base = 0; break;
    case STREAM_SEEK_CUR: base = static_cast<long long>(position_); break;
    case STREAM_SEEK_END: base = static_cast<long long>(bytes_.size()); break;
    default: return kInvalidFunction;
    }
    long long target;
    if (__builtin_add_overflow(base, move.QuadPart, &target) || target < 0) return kInvalidFunction;
    position_ = static_cast<ULONGLONG>(target);
    if (newPosition) newPosition->QuadPart = position_;
    return S_OK;
}

HRESULT CMemoryStream::SetSize(ULARGE_INTEGER newSize) {
    if (newSize.QuadPart > kMaxSize) return STG_E_MEDIUMFULL;
    std::lock_guard lock(mutex_);
    try {
        bytes_.resize(newSize.QuadPart);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT CMemoryStream::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) { return E_NOTIMPL; }
// Memory has nothing to flush.
HRESULT CMemoryStream::Commit(DWORD) { return S_OK; }
HRESULT CMemoryStream::Revert() { return E_NOTIMPL; }
HRESULT CMemoryStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return E_NOTIMPL; }
HRESULT CMemoryStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return E_NOTIMPL; }

HRESULT CMemoryStream::Stat(STATSTG* statstg, DWORD) {
    if (!statstg) return E_POINTER;
    std::lock_guard lock(mutex_);
    *statstg = STATSTG{};
    statstg->type = STGTY_STREAM;
    statstg->cbSize.QuadPart = bytes_.size();
    return S_OK;
}

HRESULT CMemoryStream::Clone(IStream** ppstm) {
    if (ppstm) *ppstm = nullptr;
    return E_NOTIMPL;
}

std::vector<BYTE> CMemoryStream::Contents() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

ULONGLONG CMemoryStream::Position() const {
    std::lock_guard lock(mutex_);
    return position_;
}

CMemoryStream* CMemoryStream::FromStream(IStream* stream) { return dynamic_cast<CMemoryStream*>(stream); }

HRESULT CreateMemoryStream(IStream** out) { return CreateMemoryStream(nullptr, 0, out); }

HRESULT CreateMemoryStream(const void* data, size_t size, IStream** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!data && size) return E_POINTER;
    if (size > CMemoryStream::kMaxSize) return STG_E_MEDIUMFULL;
    auto* stream = new (std::nothrow) CMemoryStream(
        data ? std::vector<BYTE>(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size)
             : std::vector<BYTE>{});
    if (!stream) return E_OUTOFMEMORY;
    return stream->NonDelegatingQueryInterface(IID_IStream, reinterpret_cast<void**>(out));
}
