#include "platform/graph/CPersistStream.h"
#include <cstdio>
#include <limits>

HRESULT WriteInt(IStream* stream, int n) {
    if (!stream) return E_POINTER;
    char text[16];
    // Every int, INT_MIN included, fills exactly the 12 characters.
    std::snprintf(text, sizeof text, "%011d ", n);
    BYTE bytes[kPersistIntBytes];
    for (size_t i = 0; i < 12; ++i) {
        bytes[2 * i] = static_cast<BYTE>(text[i]);
        bytes[2 * i + 1] = 0;
    }
    ULONG written = 0;
    HRESULT hr = stream->Write(bytes, kPersistIntBytes, &written);
    if (FAILED(hr)) return hr;
    return written == kPersistIntBytes ? S_OK : STG_E_MEDIUMFULL;
}

namespace {

HRESULT ReadChar(IStream* stream, WCHAR* c) {
    BYTE b[2];
    ULONG got = 0;
    HRESULT hr = stream->Read(b, 2, &got);
    if (FAILED(hr)) return hr;
    if (got != 2) return STG_E_READFAULT;
    *c = static_cast<WCHAR>(b[0] | (b[1] << 8));
    return S_OK;
}

bool IsSeparator(WCHAR c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0; }

}  // namespace

int ReadInt(IStream* stream, HRESULT& hr) {
    if (!stream) {
        hr = E_POINTER;
        return 0;
    }
    WCHAR c;
    if (FAILED(hr = ReadChar(stream, &c))) return 0;
    bool negative = false;
    if (c == u'-') {
        negative = true;
        if (FAILED(hr = ReadChar(stream, &c))) return 0;
    }
    // Accumulate as a magnitude that may reach 2^31 so that INT_MIN reads back.
    const long long limit = negative ? -static_cast<long long>(std::numeric_limits<int>::min())
                                     : std::numeric_limits<int>::max();
    long long value = 0;
    bool anyDigit = false;
    while (!IsSeparator(c)) {
        if (c < u'0' || c > u'9') {
            hr = VFW_E_INVALID_FILE_FORMAT;
            return 0;
        }
        value = value * 10 + (c - u'0');
        anyDigit = true;
        if (value > limit) {
            hr = VFW_E_INVALID_FILE_FORMAT;
            return 0;
        }
        if (FAILED(hr = ReadChar(stream, &c))) return 0;
    }
    if (!anyDigit) {
        hr = VFW_E_INVALID_FILE_FORMAT;
        return 0;
    }
    hr = S_OK;
    return static_cast<int>(negative ? -value : value);
}

CPersistStream::CPersistStream(IUnknown*, HRESULT*) {}

HRESULT CPersistStream::IsDirty() { return mPS_fDirty ? S_OK : S_FALSE; }

HRESULT CPersistStream::SetDirty(BOOL dirty) {
    mPS_fDirty = dirty;
    return S_OK;
}

HRESULT CPersistStream::Load(IStream* stream) {
    if (!stream) return E_POINTER;
    HRESULT hr;
    int version = ReadInt(stream, hr);
    if (FAILED(hr)) return hr;
    mPS_dwFileVersion = static_cast<DWORD>(version);
    hr = ReadFromStream(stream);
    if (FAILED(hr)) return hr;
    mPS_fDirty = FALSE;
    return hr;
}

HRESULT CPersistStream::Save(IStream* stream, BOOL clearDirty) {
    if (!stream) return E_POINTER;
    HRESULT hr = WriteInt(stream, static_cast<int>(GetSoftwareVersion()));
    if (FAILED(hr)) return hr;
    hr = WriteToStream(stream);
    if (FAILED(hr)) return hr;
    if (clearDirty) mPS_fDirty = FALSE;
    return hr;
}

HRESULT CPersistStream::GetSizeMax(ULARGE_INTEGER* size) {
    if (!size) return E_POINTER;
    const int body = SizeMax();
    size->QuadPart = kPersistIntBytes + static_cast<ULONGLONG>(body > 0 ? body : 0);
    return S_OK;
}

HRESULT CPersistStream::WriteToStream(IStream*) { return S_OK; }
HRESULT CPersistStream::ReadFromStream(IStream*) { return S_OK; }
