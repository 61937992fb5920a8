// The plug-in library's single entry point.
#include "PlinthDevice.h"

PLINTH_EXPORT CFeed* GetPlinthFeedObject(uint32_t deviceIndex) { return CPlinthDevice::Create(deviceIndex); }
