#pragma once
// Enumerates a fixed list of monikers, taken when the enumerator is made.
#include "platform/graph/CEnumSnapshot.h"
#include "platform/graph/Moniker.h"

using CEnumMonikerList = CEnumSnapshot<IEnumMoniker, IMoniker, IID_IEnumMoniker>;
