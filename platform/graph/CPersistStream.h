#pragma once
// Stream persistence for a filter: a version header, then whatever the filter writes.
// The header is the software version as 12 UTF-16LE characters in "%011d " form
// (24 bytes). The filter supplies the IUnknown methods (DECLARE_IUNKNOWN) and
// GetClassID, and overrides WriteToStream/ReadFromStream/SizeMax.
#include "platform/graph/Interfaces.h"

// Bytes of one integer written by WriteInt: 12 UTF-16 characters.
constexpr ULONG kPersistIntBytes = 12 * sizeof(WCHAR);

// Writes n as "%011d " in UTF-16LE, 24 bytes.
HRESULT WriteInt(IStream* stream, int n);
// Reads an optionally signed decimal number up to its terminating blank (or tab, line
// end or zero character). hr: S_OK, the stream's read failure, STG_E_READFAULT at the
// end of the stream or VFW_E_INVALID_FILE_FORMAT for anything that is not a number.
int ReadInt(IStream* stream, HRESULT& hr);

class CPersistStream : public IPersistStream {
public:
    CPersistStream(IUnknown* punk, HRESULT* phr);
    virtual ~CPersistStream() = default;

    HRESULT IsDirty() override;
    // Reads the version header, then ReadFromStream; the object is clean afterwards.
    HRESULT Load(IStream* stream) override;
    // Writes the version header, then WriteToStream; clears the dirty flag when asked.
    HRESULT Save(IStream* stream, BOOL clearDirty) override;
    // Header plus SizeMax().
    HRESULT GetSizeMax(ULARGE_INTEGER* size) override;

    HRESULT SetDirty(BOOL dirty);

    virtual HRESULT WriteToStream(IStream* stream);
    virtual HRESULT ReadFromStream(IStream* stream);
    virtual int SizeMax() { return 0; }
    virtual DWORD GetSoftwareVersion() { return 0; }

protected:
    // Version found in the header of the last Load.
    DWORD FileVersion() const { return mPS_dwFileVersion; }

    BOOL mPS_fDirty = FALSE;
    DWORD mPS_dwFileVersion = 0;
};
