#include "GraphTestFilters.h"
#include "platform/com/ComRuntime.h"
#include "platform/graph/PlatformClasses.h"
#include "tests/support/ShellRun.h"
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

std::vector<std::u16string> FilterNames(CFilterGraph* g) {
    std::vector<std::u16string> names;
    ComPtr<IEnumFilters> e;
    EXPECT_EQ(g->EnumFilters(e.ReleaseAndGetAddressOf()), S_OK);
    IBaseFilter* f = nullptr;
    while (e->Next(1, &f, nullptr) == S_OK) {
        FILTER_INFO info{};
        f->QueryFilterInfo(&info);
        names.push_back(info.achName);
        EXPECT_EQ(info.pGraph, static_cast<IFilterGraph*>(g));
        if (info.pGraph) info.pGraph->Release();
        f->Release();
    }
    return names;
}

using Names = std::vector<std::u16string>;

TEST(FilterGraph, NamesAreUniqueCutToLengthAndFiltersCanBeFound) {
    auto g = NewGraph();
    Owned<CSampleSinkFilter> a(new CSampleSinkFilter), b(new CSampleSinkFilter), c(new CSampleSinkFilter);
    EXPECT_EQ(g->AddFilter(a.filter(), u"Sink"), S_OK);
    EXPECT_EQ(g->AddFilter(b.filter(), u"Sink"), VFW_S_DUPLICATE_NAME);
    EXPECT_EQ(g->AddFilter(c.filter(), nullptr), S_OK);
    EXPECT_EQ(g->AddFilter(a.filter(), u"Again"), E_INVALIDARG);
    EXPECT_EQ(FilterNames(g.Get()), (Names{u"Sink", u"Sink 0001", u"Filter"}));

    ComPtr<IBaseFilter> found;
    ASSERT_EQ(g->FindFilterByName(u"Sink 0001", found.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(found.Get(), b.filter());
    EXPECT_EQ(g->FindFilterByName(u"sink", found.ReleaseAndGetAddressOf()), VFW_E_NOT_FOUND);

    EXPECT_EQ(g->RemoveFilter(b.filter()), S_OK);
    EXPECT_EQ(g->RemoveFilter(b.filter()), VFW_E_NOT_FOUND);
    FILTER_INFO info{};
    b->QueryFilterInfo(&info);
    EXPECT_EQ(info.pGraph, nullptr) << "a removed filter leaves the graph";
    EXPECT_EQ(g->AddFilter(b.filter(), u"Sink"), VFW_S_DUPLICATE_NAME) << "the freed suffix is used again";
    EXPECT_EQ(FilterNames(g.Get()), (Names{u"Sink", u"Filter", u"Sink 0001"}));

    // The suffix replaces the end of a name that is already as long as allowed.
    auto g2 = NewGraph();
    Owned<CSampleSinkFilter> d(new CSampleSinkFilter), e(new CSampleSinkFilter);
    std::u16string longName(200, u'n');
    ASSERT_EQ(g2->AddFilter(d.filter(), longName.c_str()), S_OK);
    ASSERT_EQ(g2->AddFilter(e.filter(), longName.c_str()), VFW_S_DUPLICATE_NAME);
    EXPECT_EQ(FilterNames(g2.Get()), (Names{std::u16string(127, u'n'), std::u16string(122, u'n') + u" 0001"}));
}

TEST(FilterGraph, ConnectionRulesAndTrace) {
    auto g = NewGraph();
    const std::string trace =
        (std::filesystem::temp_directory_path() / ("kestrel-trace-" + std::to_string(getpid()))).string();
    std::filesystem::remove(trace);
    ASSERT_EQ(g->SetTraceFile(trace), S_OK);

    Owned<CPushSourceFilter> src(new CPushSourceFilter({TsType()}, 188, 2, &NoData));
    Owned<CSampleSinkFilter> bdaOnly(new CSampleSinkFilter({}, {TsType(KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT)}));
    Owned<CSampleSinkFilter> any(new CSampleSinkFilter), outsider(new CSampleSinkFilter);
    ASSERT_EQ(g->AddFilter(src.filter(), u"Source"), S_OK);
    ASSERT_EQ(g->AddFilter(bdaOnly.filter(), u"BDA sink"), S_OK);
    ASSERT_EQ(g->AddFilter(any.filter(), u"Any sink"), S_OK);

    EXPECT_EQ(g->Connect(src.pin(), bdaOnly.pin()), VFW_E_CANNOT_CONNECT);
    EXPECT_FALSE(SUCCEEDED(g->ConnectDirect(src.pin(), bdaOnly.pin(), nullptr)));
    EXPECT_EQ(g->Connect(src.pin(), outsider.pin()), VFW_E_NOT_IN_GRAPH);
    EXPECT_EQ(g->Connect(any.pin(), src.pin()), VFW_E_INVALID_DIRECTION);
    EXPECT_EQ(g->Connect(nullptr, any.pin()), E_POINTER);
    ASSERT_EQ(g->Connect(src.pin(), any.pin()), S_OK);
    EXPECT_EQ(g->Connect(src.pin(), any.pin()), VFW_E_ALREADY_CONNECTED);

    // A log file handed over as a descriptor: the graph keeps a copy of its own and
    // writes UTF-16LE lines ending in CR LF.
    ASSERT_EQ(g->SetTraceFile(""), S_OK);
    EXPECT_EQ(g->SetLogFile(static_cast<DWORD_PTR>(987654)), E_HANDLE);
    const std::string log = trace + ".log";
    FILE* f = std::fopen(log.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(g->SetLogFile(static_cast<DWORD_PTR>(fileno(f))), S_OK);
    std::fclose(f);
    EXPECT_EQ(g->Connect(bdaOnly.pin(), any.pin()), VFW_E_INVALID_DIRECTION);
    ASSERT_EQ(g->SetLogFile(0), S_OK);
    const std::string wide = ReadWholeFile(log);
    std::filesystem::remove(log);
    const std::string expectedLine = "Connect \"BDA sink\":\"In\" -> \"Any sink\":\"In\" (any type) = 0x80040208\r\n";
    std::string expectedBytes;
    for (char c : expectedLine) expectedBytes += std::string{c, '\0'};
    EXPECT_EQ(wide, expectedBytes);

    std::ifstream in(trace);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::filesystem::remove(trace);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0].rfind("Connect \"Source\":\"Out\" -> \"BDA sink\":\"In\" (any type) = 0x8", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "Connect \"Source\":\"Out\" -> \"BDA sink\":\"In\" through registered filters = 0x80040217")
        << "nothing registered fits";
    EXPECT_EQ(lines[2].rfind("ConnectDirect \"Source\":\"Out\" -> \"BDA sink\":\"In\" (any type) = 0x8", 0), 0u)
        << lines[2];
    EXPECT_EQ(lines[3], "Connect \"Source\":\"Out\" -> \"\":\"In\" (any type) = 0x8004025F") << "no graph, no name";
    EXPECT_EQ(lines[4], "Connect \"Any sink\":\"In\" -> \"Source\":\"Out\" (any type) = 0x80040208");
    EXPECT_EQ(lines[5], "Connect (none) -> \"Any sink\":\"In\" (any type) = 0x80004003");
    EXPECT_EQ(lines[6],
              "Connect \"Source\":\"Out\" -> \"Any sink\":\"In\" (any type) = 0x00000000, connected with "
              "{E436EB83-524F-11CE-9F53-0020AF0BA770} {E06D8023-DB46-11CF-B4D1-00805F6CBBEA} "
              "{0F6417D6-C318-11D0-A43F-00A0C9223196}");
    EXPECT_EQ(lines[7], "Connect \"Source\":\"Out\" -> \"Any sink\":\"In\" (any type) = 0x80040204");
}

TEST(FilterGraph, ConnectionsNeedAStoppedGraphAndGoWithTheFilter) {
    auto g = NewGraph();
    Owned<CPushSourceFilter> src(new CPushSourceFilter({TsType()}, 188, 2, &NoData));
    Owned<CSampleSinkFilter> sink(new CSampleSinkFilter);
    ASSERT_EQ(g->AddFilter(src.filter(), u"Source"), S_OK);
    ASSERT_EQ(g->AddFilter(sink.filter(), u"Sink"), S_OK);
    ASSERT_EQ(g->ConnectDirect(src.pin(), sink.pin(), nullptr), S_OK);
    ASSERT_EQ(g->Pause(), S_OK);
    EXPECT_EQ(g->Disconnect(sink.pin()), VFW_E_NOT_STOPPED);
    EXPECT_EQ(g->RemoveFilter(sink.filter()), VFW_E_NOT_STOPPED);
    OAFilterState fs = -1;
    EXPECT_EQ(g->GetState(0, &fs), S_OK);
    EXPECT_EQ(fs, State_Paused);
    EXPECT_EQ(g->Stop(), S_OK);
    EXPECT_EQ(src->CurrentState(), State_Stopped);
    EXPECT_EQ(sink->CurrentState(), State_Stopped);

    ASSERT_EQ(g->RemoveFilter(sink.filter()), S_OK);
    EXPECT_FALSE(src.pin()->IsConnected()) << "removing a filter disconnects both ends";
    EXPECT_FALSE(sink.pin()->IsConnected());
}

TEST(FilterGraph, PlatformClassesAreCreatable) {
    ASSERT_EQ(RegisterPlatformClasses(), S_OK);
    ASSERT_EQ(RegisterPlatformClasses(), S_OK) << "a second call is harmless";
    for (const auto& [clsid, iid] : {std::pair{CLSID_FilterGraph, IID_IMediaControl},
                                     std::pair{CLSID_FilterMapper2, IID_IFilterMapper2},
                                     std::pair{CLSID_MemoryAllocator, IID_IMemAllocator}}) {
        IUnknown* p = nullptr;
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&p)), S_OK);
        p->Release();
    }
}

TEST(FilterGraph, ReleasingTheGraphFreesConnectedFilters) {
    const long before = CBaseObject::ObjectsActive();
    {
        auto g = NewGraph();
        auto* src = new CPushSourceFilter({TsType()}, 188, 2, &NoData);
        auto* sink = new CSampleSinkFilter;
        // Added without a reference of the test's own: only the graph and the connection hold them.
        ASSERT_EQ(g->AddFilter(static_cast<IBaseFilter*>(src), u"Source"), S_OK);
        ASSERT_EQ(g->AddFilter(static_cast<IBaseFilter*>(sink), u"Sink"), S_OK);
        ASSERT_EQ(g->ConnectDirect(src->GetPin(0), sink->GetPin(0), nullptr), S_OK);
        ASSERT_EQ(g->Run(), S_OK);
    }
    EXPECT_EQ(CBaseObject::ObjectsActive(), before);
}

}  // namespace
