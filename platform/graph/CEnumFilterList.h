#pragma once
// Enumerates a snapshot of a graph's filters, taken when the enumerator is made.
#include "platform/graph/CEnumSnapshot.h"
#include "platform/graph/Interfaces.h"

using CEnumFilterList = CEnumSnapshot<IEnumFilters, IBaseFilter, IID_IEnumFilters>;
