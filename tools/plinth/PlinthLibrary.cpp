// The plug-in library's single entry point.
#include "tools/plinth/PlinthDevice.h"

extern "C" __attribute__((visibility("default"))) CFeed* GetPlinthFeedObject(uint32_t deviceIndex) {
    return CPlinthDevice::Create(deviceIndex);
}
