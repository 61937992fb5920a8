#pragma once
// The card driver's device requests: codes, and the one call that carries them all.
#include <cstdint>

#include "platform/devices/DeviceIo.h"

enum CardRequestCode : DWORD {
    kCardDriverVersion = 0x9C410004,
    kCardInformation = 0x9C410008,
    kCardReadStream = 0x9C410040,
    kCardTune = 0x9C410080,
    kCardReadStatus = 0x9C410084,
    kCardSwitchOff = 0x9C410088,
    kCardSwitchOn = 0x9C41009C,
    kCardDiseqcMessage = 0x9C4100A0,
    kCardSignalLevel = 0x9C4100A4,
    kCardReceptionValue = 0x9C4100C0,
    kCardExtensionPresent = 0x9C4101C0,
    kCardWriteSpaceB = 0x9C4101C4,
    kCardWriteSpaceA = 0x9C4101C8,
    kCardReadSpaceB = 0x9C4101CC,
    kCardReadSpaceA = 0x9C4101D0,
    kCardExtensionReset = 0x9C4101D8,
};

// Issues the request overlapped with an event of its own and waits for it to complete
// without a time-out. True on success, with the bytes returned.
bool DeviceRequest(HANDLE device, DWORD code, const void* input, DWORD inputLength, void* output,
                   DWORD outputLength, DWORD* bytesReturned);
