#pragma once
// Points the IPTV feed at an address as users type it (kestrel iptv, kestrelsrc).
#include "feeds/iptv/IPTVFeed.h"
#include "host/StreamAddress.h"

inline void AimIptvFeed(CIPTVFeed& feed, const ReceiveTarget& target) {
    const StreamAddress& stream = target.stream;
    feed.SetGroup(stream.address);
    if (target.interface.family) feed.SetInterface(target.interface);
    if (stream.hasSource)
        feed.SetSource(stream.source);
    else
        feed.ClearSource();
    // rtp:// takes RTP only; otherwise the feed tells RTP from plain UDP itself.
    if (stream.scheme == StreamAddress::Scheme::Rtp) feed.SetRtpMode(RtpMode::Rtp);
}
