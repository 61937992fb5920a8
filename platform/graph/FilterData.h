#pragma once
// The binary "FilterData" value that the filter mapper keeps for every registered
// filter: its merit, pins and media types. All integers are little-endian.
//
//   header   u32 layout version (1), u32 merit, u32 pin count, u32 reserved (0)
//   pin      u32 flags (REG_PINFLAG_B_* bits), u32 media type count,
//            u32 name length, u32 connects-to-pin name length (UTF-16 units),
//            16-byte connects-to-filter class (all zero = any),
//            name, connects-to-pin name (UTF-16LE, no terminator),
//            media types: 16-byte major type, 16-byte subtype (all zero = any)
//   GUID     Data1 u32, Data2 u16, Data3 u16, Data4 8 bytes
#include "platform/com/ComTypes.h"
#include <optional>
#include <string>
#include <vector>

class FilterData {
public:
    static constexpr DWORD kLayoutVersion = 1;
    static constexpr DWORD kPinRendered = 0x2;  // REG_PINFLAG_B_RENDERER
    static constexpr DWORD kPinZero = 0x1;      // REG_PINFLAG_B_ZERO
    static constexpr DWORD kPinMany = 0x4;      // REG_PINFLAG_B_MANY
    static constexpr DWORD kPinOutput = 0x8;    // REG_PINFLAG_B_OUTPUT

    struct MediaType {
        GUID major = GUID_NULL;
        GUID minor = GUID_NULL;
        friend bool operator==(const MediaType&, const MediaType&) = default;
    };
    struct Pin {
        std::u16string name;
        DWORD flags = 0;
        CLSID connectsToFilter = GUID_NULL;
        std::u16string connectsToPin;
        std::vector<MediaType> types;
        bool Output() const { return (flags & kPinOutput) != 0; }
        bool Rendered() const { return (flags & kPinRendered) != 0; }
        friend bool operator==(const Pin&, const Pin&) = default;
    };

    DWORD merit = 0;
    std::vector<Pin> pins;

    std::vector<BYTE> Encode() const;
    // nullopt for anything that is not a complete value of the layout above.
    static std::optional<FilterData> Decode(const BYTE* data, size_t size);

    friend bool operator==(const FilterData&, const FilterData&) = default;
};
