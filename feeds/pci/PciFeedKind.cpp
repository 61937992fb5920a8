#include "feeds/pci/PciFeedKind.h"

#include <new>

#include "feeds/pci/VMDVBPCIFeed.h"

FeedKind PciFeedKind() {
    return {FeedKind::Probe::ByIndex, [](uint32_t index) -> CFeed* { return new (std::nothrow) CVMDVBPCIFeed(index); }};
}
