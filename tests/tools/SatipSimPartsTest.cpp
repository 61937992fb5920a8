// The simulator's pieces on their own: query rules, report texts and packet layouts,
// the PID filter, search answers, resource paths and control commands.
#include <gtest/gtest.h>

#include <numeric>

#include "tools/satip-sim/Messages.h"
#include "tools/satip-sim/Query.h"
#include "tools/satip-sim/RtspServer.h"
#include "tools/satip-sim/SimState.h"
#include "tools/satip-sim/Stream.h"

namespace {

Tuning Tuned(const std::string& query) {
    QueryUpdate update;
    std::string error;
    EXPECT_TRUE(ParseQuery(query, &update, &error)) << query << ": " << error;
    Tuning tuning;
    ApplyQuery(update, &tuning);
    return tuning;
}

std::vector<uint8_t> Packet(unsigned pid, uint8_t fill) {
    std::vector<uint8_t> p(188, fill);
    p[0] = 0x47;
    p[1] = static_cast<uint8_t>(pid >> 8);
    p[2] = static_cast<uint8_t>(pid);
    return p;
}

}  // namespace

TEST(SatipQuery, ChecksEveryValueAndIgnoresUnknownKeys) {
    const std::pair<const char*, const char*> cases[] = {
        {"src=1&freq=11494&pol=h&ro=0.35&msys=dvbs2&mtype=8psk&plts=on&sr=22000&fec=34&pids=0,17,18", ""},
        {"freq=474.5&msys=dvbt2&bw=1.712&tmode=32k&gi=19256&plp=3&t2id=7&sm=1", ""},
        {"freq=346&msys=dvbc&sr=6900&mtype=256qam&c2tft=2&ds=0&specinv=1", ""},
        {"freq=11494&x_pmt=100&&", ""},
        {"freq=11494&pids=8191", ""},
        {"freq=0", "bad freq '0'"},
        {"freq=11494.", "bad freq '11494.'"},
        {"freq=-5", "bad freq '-5'"},
        {"freq=11494&pol=x", "bad pol 'x'"},
        {"freq=11494&msys=dvbs3", "bad msys 'dvbs3'"},
        {"freq=11494&src=0", "bad src '0'"},
        {"freq=11494&src=256", "bad src '256'"},
        {"freq=11494&sr=", "bad sr ''"},
        {"freq=11494&pids=8192", "bad pids '8192'"},
        {"freq=11494&pids=1,,2", "bad pids '1,,2'"},
        {"freq=11494&pids=", "bad pids ''"},
        {"freq=11494&addpids=0x10", "bad addpids '0x10'"},
        {"freq=11494&specinv=2", "bad specinv '2'"},
    };
    for (const auto& [query, expected] : cases) {
        QueryUpdate update;
        std::string error;
        EXPECT_EQ(ParseQuery(query, &update, &error), *expected == 0) << query;
        EXPECT_EQ(error, expected) << query;
    }
}

TEST(SatipQuery, PidListsAddRemoveAndRetuneClearsOldValues) {
    Tuning t = Tuned("freq=11494&pol=h&sr=22000&pids=0,17");
    const std::pair<const char*, const char*> steps[] = {
        {"addpids=18,300", "0,17,18,300"}, {"delpids=0,17,999", "18,300"}, {"pids=none", ""},
        {"addpids=5&delpids=5", ""},       {"pids=all", "all"},             {"delpids=all", ""},
    };
    for (const auto& [query, pids] : steps) {
        QueryUpdate update;
        std::string error;
        ASSERT_TRUE(ParseQuery(query, &update, &error)) << query;
        ApplyQuery(update, &t);
        EXPECT_EQ(t.pids.Text(), pids) << query;
    }
    EXPECT_EQ(t.Get("pol"), "h");
    QueryUpdate retune;
    std::string error;
    ASSERT_TRUE(ParseQuery("freq=12603&msys=dvbs", &retune, &error));
    ApplyQuery(retune, &t);
    EXPECT_EQ(t.Get("pol"), "") << "a new frequency starts a new tuning";
    EXPECT_EQ(t.Get("freq"), "12603");
}

TEST(SatipReports, StatusTextFollowsTheDeliverySystem) {
    const std::pair<const char*, const char*> cases[] = {
        {"src=2&freq=11494&pol=h&ro=0.35&msys=dvbs2&mtype=8psk&plts=on&sr=22000&fec=34&pids=0,17",
         "ver=1.0;src=2;tuner=3,200,1,12,11494.00,h,dvbs2,8psk,on,0.35,22000,34;pids=0,17"},
        {"freq=10714.25&pol=v&msys=dvbs", "ver=1.0;src=1;tuner=3,200,1,12,10714.25,v,dvbs,,,,,;pids="},
        {"freq=474&bw=8&msys=dvbt2&tmode=32k&mtype=256qam&gi=1128&fec=23&plp=1&t2id=2&sm=0&pids=all",
         "ver=1.1;tuner=3,200,1,12,474.00,8,dvbt2,32k,256qam,1128,23,1,2,0;pids=all"},
        {"freq=346&msys=dvbc&mtype=256qam&sr=6900&specinv=1",
         "ver=1.2;tuner=3,200,1,12,346.00,,dvbc,256qam,6900,,,,1;pids="},
    };
    for (const auto& [query, expected] : cases)
        EXPECT_EQ(StatusText(Tuned(query), TunerStatus{3, 200, true, 12}), expected) << query;
    EXPECT_EQ(StatusText(Tuned("freq=12000"), TunerStatus{1, 0, false, 0}),
              "ver=1.0;src=1;tuner=1,0,0,0,12000.00,,dvbs,,,,,;pids=");
}

TEST(SatipReports, RtcpCompoundCarriesTheApplicationPacketLast) {
    for (const std::string status : {"", "a", "ab", "abc", "abcd", "ver=1.0;src=1;tuner=1,224,1,15,11494.00"}) {
        const std::vector<uint8_t> r = RtcpReport(0x11223344, 0xAABBCCDD00112233ull, 90000, 5, 6580, "sim", status);
        ASSERT_EQ(r.size() % 4, 0u);
        // Walk the packets by their length fields; each must fit exactly.
        std::vector<std::pair<size_t, uint8_t>> packets;
        for (size_t at = 0; at < r.size();) {
            ASSERT_LE(at + 4, r.size());
            EXPECT_EQ(r[at] >> 6, 2) << "version";
            packets.emplace_back(at, r[at + 1]);
            at += (((r[at + 2] << 8) | r[at + 3]) + 1) * 4u;
            ASSERT_LE(at, r.size());
        }
        ASSERT_EQ(packets.size(), 3u);
        EXPECT_EQ(packets[0].second, 200);
        EXPECT_EQ(packets[1].second, 202);
        EXPECT_EQ(packets[2].second, 204);
        const uint8_t* app = r.data() + packets[2].first;
        EXPECT_EQ(app[0] & 0x1F, 0) << "subtype";
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(app + 8), 4), "SES1");
        EXPECT_EQ((app[4] << 24) | (app[5] << 16) | (app[6] << 8) | app[7], 0x11223344);
        EXPECT_EQ((app[12] << 8) | app[13], 0) << "identifier";
        ASSERT_EQ(static_cast<size_t>((app[14] << 8) | app[15]), status.size());
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(app + 16), status.size()), status);
        EXPECT_EQ(r.size() - packets[2].first, (16 + status.size() + 3) / 4 * 4) << "padded to 32 bits";
        // The sender report's packet and octet counts.
        EXPECT_EQ(r[23], 5);
        EXPECT_EQ((r[26] << 8) | r[27], 6580);
    }
}

TEST(SatipPidFilter, AllPassesBytesExactlyHoweverTheyAreCut) {
    std::vector<uint8_t> stream;
    for (unsigned k = 0; k < 20; ++k) {
        const auto p = Packet(k % 3 ? 0x100 : 0, static_cast<uint8_t>(k));
        stream.insert(stream.end(), p.begin(), p.end());
    }
    PidSet all;
    all.all = true;
    PidSet zero;
    zero.pids.set(0);
    for (size_t cut : {1u, 7u, 187u, 188u, 189u, 1000u, 5000u}) {
        PidFilter filter;
        std::vector<uint8_t> out;
        for (size_t at = 0; at < stream.size(); at += cut)
            filter.Push(stream.data() + at, std::min(cut, stream.size() - at), all, out);
        EXPECT_EQ(out, stream) << cut;
        PidFilter only;
        out.clear();
        for (size_t at = 0; at < stream.size(); at += cut)
            only.Push(stream.data() + at, std::min(cut, stream.size() - at), zero, out);
        ASSERT_EQ(out.size(), 7u * 188) << cut;
        for (size_t at = 0; at < out.size(); at += 188) EXPECT_EQ(out[at + 1] << 8 | out[at + 2], 0);
    }
}

TEST(SatipPidFilter, ChangingTheSetMidPacketLosesOnlyThatPacket) {
    const auto a = Packet(0x20, 1), b = Packet(0x20, 2), c = Packet(0x20, 3);
    PidSet all, some;
    all.all = true;
    some.pids.set(0x20);
    PidSet none;
    PidFilter filter;
    std::vector<uint8_t> out;
    filter.Push(a.data(), 100, all, out);            // half of a, passed at once
    filter.Push(a.data() + 100, 88, some, out);      // its start is gone: dropped
    filter.Push(b.data(), 188, some, out);           // whole: kept
    filter.Push(c.data(), 50, some, out);            // carried
    filter.Push(c.data() + 50, 138, all, out);       // the carried start comes out first
    std::vector<uint8_t> expected(a.begin(), a.begin() + 100);
    expected.insert(expected.end(), b.begin(), b.end());
    expected.insert(expected.end(), c.begin(), c.end());
    EXPECT_EQ(out, expected);
    out.clear();
    auto broken = Packet(0x20, 4);
    broken[0] = 0x46;
    filter.Push(broken.data(), 188, some, out);
    filter.Push(a.data(), 188, none, out);
    EXPECT_TRUE(out.empty()) << "no sync byte, or not wanted";
}

TEST(SatipSsdp, SearchAnswersOnlyWhatWasAskedFor) {
    DeviceIdentity d;
    d.uuid = "11111111-2222-3333-4444-555555555555";
    d.location = "http://10.0.0.1:8080/desc.xml";
    auto search = [](const std::string& st, const std::string& man = "\"ssdp:discover\"") {
        return "M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: " + man + "\r\nMX: 2\r\nST: " + st + "\r\n\r\n";
    };
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {search("ssdp:all"), {"upnp:rootdevice", "uuid:" + d.uuid, kSatipDeviceType}},
        {search("upnp:rootdevice"), {"upnp:rootdevice"}},
        {search("urn:ses-com:device:SatIPServer:1"), {kSatipDeviceType}},
        {search("uuid:" + d.uuid), {"uuid:" + d.uuid}},
        {search("urn:schemas-upnp-org:device:MediaServer:1"), {}},
        {search("ssdp:all", "ssdp:discover"), {}},
        {"NOTIFY * HTTP/1.1\r\nST: ssdp:all\r\nMAN: \"ssdp:discover\"\r\n\r\n", {}},
        {"M-SEARCH * HTTP/1.1\r\nst:ssdp:all\r\nman:  \"ssdp:discover\"", {"upnp:rootdevice", "uuid:" + d.uuid,
                                                                         kSatipDeviceType}},
    };
    for (const auto& [request, targets] : cases) {
        const auto answers = SearchAnswers(d, request);
        ASSERT_EQ(answers.size(), targets.size()) << request;
        for (size_t i = 0; i < targets.size(); ++i) {
            EXPECT_NE(answers[i].find("\r\nST: " + targets[i] + "\r\n"), std::string::npos) << answers[i];
            EXPECT_NE(answers[i].find("\r\nLOCATION: http://10.0.0.1:8080/desc.xml\r\n"), std::string::npos);
            EXPECT_NE(answers[i].find("\r\nCACHE-CONTROL: max-age=1800\r\n"), std::string::npos);
            EXPECT_NE(answers[i].find("\r\nBOOTID.UPNP.ORG: 1\r\nCONFIGID.UPNP.ORG: 0\r\nDEVICEID.SES.COM: 1\r\n"),
                      std::string::npos);
        }
    }
    EXPECT_NE(SearchAnswers(d, search("ssdp:all"))[1].find("\r\nUSN: uuid:" + d.uuid + "\r\n"), std::string::npos);
    EXPECT_NE(SearchAnswers(d, search("ssdp:all"))[2].find("\r\nUSN: uuid:" + d.uuid + "::" + kSatipDeviceType),
              std::string::npos);
    const std::string bye = NotifyMessage(d, "upnp:rootdevice", false);
    EXPECT_NE(bye.find("\r\nNTS: ssdp:byebye\r\n"), std::string::npos);
    EXPECT_EQ(bye.find("LOCATION"), std::string::npos);
}

TEST(SatipDescription, EscapesNamesAndCarriesTheCapabilities) {
    DeviceIdentity d;
    d.uuid = "u";
    d.friendlyName = "A<B & \"C\"";
    d.capabilities = "DVBS2-4,DVBC-2";
    const std::string xml = DescriptionXml(d);
    EXPECT_NE(xml.find("<friendlyName>A&lt;B &amp; &quot;C&quot;</friendlyName>"), std::string::npos);
    EXPECT_NE(xml.find("<satip:X_SATIPCAP xmlns:satip=\"urn:ses-com:satip\">DVBS2-4,DVBC-2</satip:X_SATIPCAP>"),
              std::string::npos);
    EXPECT_NE(xml.find("<UDN>uuid:u</UDN>"), std::string::npos);
    EXPECT_NE(xml.find("<deviceType>urn:ses-com:device:SatIPServer:1</deviceType>"), std::string::npos);
}

TEST(SatipRtsp, TargetsNameTheRootOrOneStream) {
    struct Case {
        const char* target;
        bool ok;
        unsigned stream;
        const char* query;
    };
    const Case cases[] = {
        {"rtsp://10.0.0.1:554/?src=1&freq=11494", true, 0, "src=1&freq=11494"},
        {"rtsp://10.0.0.1/stream=12?addpids=5", true, 12, "addpids=5"},
        {"rtsp://10.0.0.1:554/stream=3/", true, 3, ""},
        {"rtsp://10.0.0.1:554", true, 0, ""},
        {"rtsp://10.0.0.1?freq=1", true, 0, "freq=1"},
        {"*", true, 0, ""},
        {"/stream=4", true, 4, ""},
        {"rtsp://10.0.0.1/stream=0", false, 0, ""},
        {"rtsp://10.0.0.1/stream=x", false, 0, ""},
        {"rtsp://10.0.0.1/stream=9999999", false, 0, ""},
        {"rtsp://10.0.0.1/other", false, 0, ""},
        {"stream=1", false, 0, ""},
    };
    for (const Case& c : cases) {
        unsigned stream = 99;
        std::string query;
        EXPECT_EQ(ParseRtspTarget(c.target, &stream, &query), c.ok) << c.target;
        if (!c.ok) continue;
        EXPECT_EQ(stream, c.stream) << c.target;
        EXPECT_EQ(query, c.query) << c.target;
    }
}

TEST(SatipFrontends, KindsAreCountedAndHeldUntilReleased) {
    Frontends f;
    for (const char* bad : {"", "DVBS2", "DVBS2-", "DVBX-1", "DVBS2-x", "DVBS2-1,,DVBT-1", "DVBS2-100"})
        EXPECT_FALSE(f.Configure(bad)) << bad;
    ASSERT_TRUE(f.Configure("DVBS2-2,DVBT-1,DVBC-1"));
    EXPECT_EQ(f.Count('s'), 2u);
    EXPECT_EQ(f.Acquire('s', 0), 1u);
    EXPECT_EQ(f.Acquire('s', 1), 0u) << "busy";
    EXPECT_EQ(f.Acquire('s', 3), 0u) << "not a satellite one";
    EXPECT_EQ(f.Acquire('s', 0), 2u);
    EXPECT_EQ(f.Acquire('s', 0), 0u);
    EXPECT_EQ(f.Acquire('c', 0), 4u);
    f.Release(1);
    f.Release(99);
    EXPECT_EQ(f.Acquire('s', 0), 1u);
}

TEST(SatipControl, CommandsChangeTheStateAndBadOnesAreRefused) {
    SimState state;
    std::atomic<bool> quit{false};
    const std::pair<const char*, const char*> cases[] = {
        {"lock 0", "ok"},          {"level 17", "ok"},       {"quality 3", "ok"},  {"data off", "ok"},
        {"rtcp 0", "ok"},          {"delay 250", "ok"},      {"malformed no-cseq", "ok"},
        {"level 256", "error: unknown command 'level 256'"}, {"quality 16", "error: unknown command 'quality 16'"},
        {"lock maybe", "error: unknown command 'lock maybe'"}, {"malformed worse", "error: unknown command 'malformed worse'"},
        {"", "error: unknown command ''"},
    };
    for (const auto& [line, reply] : cases) EXPECT_EQ(RunControlCommand(state, line, &quit), reply) << line;
    EXPECT_FALSE(state.lock);
    EXPECT_EQ(state.level, 17u);
    EXPECT_EQ(state.quality, 3u);
    EXPECT_FALSE(state.data);
    EXPECT_FALSE(state.rtcp);
    EXPECT_EQ(state.replyDelayMs, 250u);
    EXPECT_EQ(state.malformed, Malformed::NoCseq);
    EXPECT_FALSE(quit);
    EXPECT_EQ(RunControlCommand(state, "quit", &quit), "ok");
    EXPECT_TRUE(quit);
}
