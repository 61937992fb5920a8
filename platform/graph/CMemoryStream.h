#pragma once
// A growable stream in memory, for saving and loading persisted objects without a
// file. Reading past the end gives what is there; seeking past the end and writing
// fills the gap with zeros.
#include "platform/com/Unknown.h"
#include "platform/graph/Interfaces.h"
#include <mutex>
#include <vector>

class CMemoryStream final : public CUnknown, public IStream {
public:
    // Largest size the stream grows to; a write beyond it fails with STG_E_MEDIUMFULL.
    static constexpr ULONGLONG kMaxSize = 1ull << 31;

    explicit CMemoryStream(std::vector<BYTE> initial = {});

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // S_FALSE when fewer bytes than asked for were left.
    HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override;
    HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override;
    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override;
    HRESULT SetSize(ULARGE_INTEGER newSize) override;
    HRESULT CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten) override;
    HRESULT Commit(DWORD flags) override;
    HRESULT Revert() override;
    HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER cb, DWORD lockType) override;
    HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER cb, DWORD lockType) override;
    HRESULT Stat(STATSTG* statstg, DWORD flags) override;
    HRESULT Clone(IStream** ppstm) override;

    std::vector<BYTE> Contents() const;
    ULONGLONG Position() const;

    // The memory stream behind an interface pointer, or null when it is another stream.
    static CMemoryStream* FromStream(IStream* stream);

private:
    mutable std::mutex mutex_;
    std::vector<BYTE> bytes_;
    ULONGLONG position_ = 0;
};

// A new empty memory stream with one reference.
HRESULT CreateMemoryStream(IStream** out);
// A new memory stream holding a copy of the bytes, positioned at the start.
HRESULT CreateMemoryStream(const void* data, size_t size, IStream** out);
