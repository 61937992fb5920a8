#pragma once
// What a tuner's name says about the delivery system it serves, and what follows from
// the feed type code: capability bits and the tuning record a fresh feed starts with.
#include <cstdint>

#include "feeds/sdk/Feed.h"

// The feed type code that the first matching row of the name table gives for the
// details text ("BDA: " and the FriendlyName), case-sensitive; kFeedNone when no row
// matches and the person has to choose.
int32_t ClassifyBdaDetails(const char* details);

// Capability bits of a classified BDA feed; 0 for a code outside the table.
uint32_t BdaCapabilities(int32_t feedType);

// Fills the defaults of the code into a cleared record with word 0 = the code; false,
// with the record untouched, for a code that has no defaults.
bool SetBdaDefaultTuning(int32_t feedType, TuningParameters& record);
