#include <cstring>

#include "feeds/FeedEnumerator.h"
#include "feeds/iptv/IPTVFeed.h"
#include "filter/FeedKindTable.h"
#include "host/Commands.h"
#include "host/RunReport.h"
#include "host/StreamSession.h"
#include "net/NetAddress.h"

namespace {

// "192.0.2.1", "2001:db8::1" or "[2001:db8::1]", with or without a port.
bool ParseHostAddress(const std::string& text, NetAddress* address) {
    return ParseNetAddress(nullptr, text, *address) || ParseNetAddress(nullptr, text + ":0", *address) ||
           (text.find(':') != std::string::npos && text.front() != '[' &&
            ParseNetAddress(nullptr, "[" + text + "]:0", *address));
}

void PushIntoFilter(void* context, IMediaSample* sample) {
    static_cast<ITSFeedSampleInput*>(context)->DeliverSample(sample);
    sample->Release();
}

}  // namespace

int RunIptvCommand(const StreamOptions& options, const IptvOptions& iptv) {
    NetAddress group{}, interfaceAddress{}, source{};
    if (!ParseNetAddress(nullptr, iptv.address, group) || NetAddressPort(group) == 0)
        return Fail("not an address with a port: \"" + iptv.address + "\" (use 239.1.2.3:5000 or [ff15::1]:5000)");
    if (!iptv.interface.empty() && !ParseHostAddress(iptv.interface, &interfaceAddress))
        return Fail("not an interface address: \"" + iptv.interface + "\"");
    if (!iptv.source.empty()) {
        if (!ParseHostAddress(iptv.source, &source)) return Fail("not a source address: \"" + iptv.source + "\"");
        if (!IsMulticast(group)) return Fail("--source needs a multicast group address");
        if (source.family != group.family) return Fail("the source and the group must both be IPv4 or both IPv6");
    }

    // The host asks the enumerator for the network feed that the filter itself never lists.
    CFeedEnumerator enumerator(ModuleFeedKinds());
    CFeed* feeds[CFeedEnumerator::kMaxFeeds] = {};
    uint32_t count = CFeedEnumerator::kMaxFeeds;
    enumerator.Enumerate(feeds, &count, FeedRequest::For({kFeedIptv}));
    CIPTVFeed* feed = nullptr;
    for (uint32_t i = 0; i < count && !feed; ++i) {
        if (feeds[i]->GetType() == kFeedIptv) feed = dynamic_cast<CIPTVFeed*>(feeds[i]);
    }
    if (!feed) return Fail("no IPTV feed is available");
    feed->LoadSettings(iptv.application.c_str());
    feed->SetGroup(group);
    if (!iptv.interface.empty()) feed->SetInterface(interfaceAddress);
    if (!iptv.source.empty())
        feed->SetSource(source);
    else
        feed->ClearSource();

    StreamSession session;
    std::string error;
    if (!session.Create(options, &error)) return Fail(error);
    session.Control()->SetMode(kModeHostSupplied, nullptr);
    if (!session.Run(&error)) return Fail(error);
    feed->SetCallback(session.Input(), &PushIntoFilter);
    if (!feed->Start(0)) {
        const char* text = feed->GetErrorText();
        session.Stop();
        return Fail(std::string("cannot receive ") + iptv.address + ": " + (text ? text : "the feed did not start"));
    }

    // The feed reports 0xFF while data arrives in sync and 0x0F otherwise; both carry the
    // interface's lock bit, so the host tells them apart by the whole value.
    auto status = [feed] {
        uint8_t bits = feed->GetStatus();
        return std::vector<RunReport::Field>{
            RunReport::Integer("lock", bits == CIPTVFeed::kStatusReceiving ? 1 : 0),
            RunReport::Integer("status", bits),
            RunReport::Integer("rtp_lost", static_cast<int64_t>(feed->RtpLostPackets()))};
    };
    RunReport report("iptv", [&] { return session.BytesOut(); }, status);
    report.Start();
    WaitWhile(session, options.seconds, [] { return false; });
    std::vector<RunReport::Field> last = status();
    last.push_back(RunReport::Integer("datagrams", static_cast<int64_t>(feed->DatagramsReceived())));
    report.Finish();
    feed->Stop();
    feed->SetCallback(nullptr, nullptr);
    session.Stop();
    report.PrintSummary(options.json, last);
    if (session.OutputFailed()) return Fail(session.OutputError());
    return 0;
}
