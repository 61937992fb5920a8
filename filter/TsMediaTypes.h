#pragma once
#include "platform/graph/CMediaType.h"

// Both pins offer and accept the same two transport-stream types.
HRESULT GetTsMediaType(int position, CMediaType* mediaType);
HRESULT CheckTsMediaType(const CMediaType* mediaType);
