#pragma once
#include "platform/graph/Interfaces.h"

// An AM_MEDIA_TYPE that owns its format block (task-allocator memory) and releases
// its pUnk. Adds no data members, so an AM_MEDIA_TYPE* from an interface call may be
// viewed as a CMediaType*.
class CMediaType : public AM_MEDIA_TYPE {
public:
    CMediaType();
    explicit CMediaType(const GUID* majortype);
    CMediaType(const AM_MEDIA_TYPE& rt, HRESULT* phr = nullptr);
    CMediaType(const CMediaType& rt, HRESULT* phr = nullptr);
    ~CMediaType();

    CMediaType& operator=(const CMediaType& rt);
    CMediaType& operator=(const AM_MEDIA_TYPE& rt);
    // Major type, subtype and format type plus the format bytes; the sample-size
    // fields take no part, as on the desktop.
    bool operator==(const CMediaType& rt) const;
    bool operator!=(const CMediaType& rt) const { return !(*this == rt); }

    HRESULT Set(const CMediaType& rt);
    HRESULT Set(const AM_MEDIA_TYPE& rt);
    BOOL IsValid() const;

    const GUID* Type() const { return &majortype; }
    void SetType(const GUID* type);
    const GUID* Subtype() const { return &subtype; }
    void SetSubtype(const GUID* type);
    const GUID* FormatType() const { return &formattype; }
    void SetFormatType(const GUID* type);

    BOOL IsFixedSize() const { return bFixedSizeSamples; }
    BOOL IsTemporalCompressed() const { return bTemporalCompression; }
    ULONG GetSampleSize() const;
    void SetSampleSize(ULONG size);
    void SetVariableSize();
    void SetTemporalCompression(BOOL compressed);

    BYTE* Format() const { return pbFormat; }
    ULONG FormatLength() const { return cbFormat; }
    BOOL SetFormat(const BYTE* format, ULONG length);
    void ResetFormatBuffer();
    BYTE* AllocFormatBuffer(ULONG length);
    BYTE* ReallocFormatBuffer(ULONG length);

    // Zero everything, then fixed-size samples of one byte.
    void InitMediaType();
    // True when every field that partial specifies (non-null GUIDs, a format) matches.
    BOOL MatchesPartial(const CMediaType* partial) const;
    BOOL IsPartiallySpecified() const;
};
static_assert(sizeof(CMediaType) == sizeof(AM_MEDIA_TYPE));

// Releases the format block and pUnk; the structure itself stays.
void FreeMediaType(AM_MEDIA_TYPE& mt);
// Frees a structure from CreateMediaType (or an enumerator) together with its format.
void DeleteMediaType(AM_MEDIA_TYPE* pmt);
// A deep copy in task-allocator memory; null when out of memory.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* src);
// Deep copy into an uninitialised structure.
HRESULT CopyMediaType(AM_MEDIA_TYPE* dst, const AM_MEDIA_TYPE* src);
