#include "filter/TsMediaTypes.h"

HRESULT GetTsMediaType(int position, CMediaType* mediaType) {
    if (position < 0) return E_INVALIDARG;
    if (position > 1) return VFW_S_NO_MORE_ITEMS;
    mediaType->InitMediaType();
    mediaType->SetType(&MEDIATYPE_Stream);
    mediaType->SetSubtype(position == 0 ? &MEDIASUBTYPE_MPEG2_TRANSPORT : &KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT);
    mediaType->SetFormatType(&FORMAT_None);
    return S_OK;
}

HRESULT CheckTsMediaType(const CMediaType* mediaType) {
    if (!mediaType) return E_POINTER;
    if (*mediaType->Type() != MEDIATYPE_Stream) return E_INVALIDARG;
    const GUID& subtype = *mediaType->Subtype();
    if (subtype != MEDIASUBTYPE_MPEG2_TRANSPORT && subtype != KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT)
        return E_INVALIDARG;
    return S_OK;
}
