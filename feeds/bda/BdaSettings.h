#pragma once
// A BDA feed's stored tuning under "Software\Velmar\<application>\BDAFeed <tuner name>".
#include <cstdint>
#include <string>

#include "feeds/sdk/Feed.h"

std::string BdaSettingsKey(const char* application, const char* feedName);

// Without a stored frequency nothing is read and both stay as they are. A stored last
// type that the selection dialog cannot give reads as DVB-T.
void LoadBdaSettings(const char* application, const char* feedName, TuningParameters& record,
                     int32_t& lastSelectedType);
// Failures are not reported: a feed's settings are a convenience, not its state.
void SaveBdaSettings(const char* application, const char* feedName, const TuningParameters& record,
                     int32_t lastSelectedType);
