#include "GraphTestFilters.h"
#include "platform/com/ComRuntime.h"
#include "platform/graph/PlatformClasses.h"
#include "platform/graph/WideString.h"
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

HRESULT NoData(IMediaSample*) { return S_FALSE; }

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

TEST(FilterGraph, NamesAreUniqueAndFiltersCanBeFound) {
    auto g = NewGraph();
    Owned<CSampleSinkFilter> a(new CSampleSinkFilter), b(new CSampleSinkFilter), c(new CSampleSinkFilter);
    EXPECT_EQ(g->AddFilter(a.filter(), u"Sink"), S_OK);
    EXPECT_EQ(g->AddFilter(b.filter(), u"Sink"), VFW_S_DUPLICATE_NAME);
    EXPECT_EQ(g->AddFilter(c.filter(), nullptr), S_OK);
    EXPECT_EQ(g->AddFilter(a.filter(), u"Again"), E_INVALIDARG);
    EXPECT_EQ(g->AddFilter(nullptr, u"x"), E_POINTER);
    EXPECT_EQ(FilterNames(g.Get()), (std::vector<std::u16string>{u"Sink", u"Sink 0001", u"Filter"}));

    ComPtr<IBaseFilter> found;
    ASSERT_EQ(g->FindFilterByName(u"Sink 0001", found.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(found.Get(), b.filter());
    EXPECT_EQ(g->FindFilterByName(u"sink", found.ReleaseAndGetAddressOf()), VFW_E_NOT_FOUND);

    EXPECT_EQ(g->RemoveFilter(b.filter()), S_OK);
    EXPECT_EQ(g->RemoveFilter(b.filter()), VFW_E_NOT_FOUND);
    FILTER_INFO info{};
    b->QueryFilterInfo(&info);
    EXPECT_EQ(info.pGraph, nullptr) << "a removed filter leaves the graph";
    // The freed name is available again.
    EXPECT_EQ(g->AddFilter(b.filter(), u"Sink"), VFW_S_DUPLICATE_NAME);
    EXPECT_EQ(FilterNames(g.Get()), (std::vector<std::u16string>{u"Sink", u"Filter", u"Sink 0001"}));
}

TEST(FilterGraph, LongNamesAreCutAndStillUnique) {
    auto g = NewGraph();
    Owned<CSampleSinkFilter> a(new CSampleSinkFilter), b(new CSampleSinkFilter);
    std::u16string longName(200, u'n');
    ASSERT_EQ(g->AddFilter(a.filter(), longName.c_str()), S_OK);
    ASSERT_EQ(g->AddFilter(b.filter(), longName.c_str()), VFW_S_DUPLICATE_NAME);
    auto names = FilterNames(g.Get());
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], std::u16string(127, u'n'));
    EXPECT_EQ(names[1], std::u16string(122, u'n') + u" 0001");
}

TEST(FilterGraph, ConnectionRulesAndTrace) {
    auto g = NewGraph();
    std::string trace = (std::filesystem::temp_directory_path() / ("kestrel-trace-" + std::to_string(getpid()))).string();
    std::filesystem::remove(trace);
    ASSERT_EQ(g->SetTraceFile(trace), S_OK);

    Owned<CPushSourceFilter> src(new CPushSourceFilter({TsType()}, 188, 2, &NoData));
    Owned<CSampleSinkFilter> bdaOnly(new CSampleSinkFilter({}, {TsType(KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT)}));
    Owned<CSampleSinkFilter> any(new CSampleSinkFilter);
    Owned<CSampleSinkFilter> outsider(new CSampleSinkFilter);
    ASSERT_EQ(g->AddFilter(src.filter(), u"Source"), S_OK);
    ASSERT_EQ(g->AddFilter(bdaOnly.filter(), u"BDA sink"), S_OK);
    ASSERT_EQ(g->AddFilter(any.filter(), u"Any sink"), S_OK);

    EXPECT_EQ(g->Connect(PinOf(src.get()), PinOf(bdaOnly.get())), VFW_E_CANNOT_CONNECT);
    EXPECT_FALSE(SUCCEEDED(g->ConnectDirect(PinOf(src.get()), PinOf(bdaOnly.get()), nullptr)));
    EXPECT_EQ(g->Connect(PinOf(src.get()), PinOf(outsider.get())), VFW_E_NOT_IN_GRAPH);
    EXPECT_EQ(g->Connect(PinOf(any.get()), PinOf(src.get())), VFW_E_INVALID_DIRECTION);
    EXPECT_EQ(g->Connect(nullptr, PinOf(any.get())), E_POINTER);
    ASSERT_EQ(g->Connect(PinOf(src.get()), PinOf(any.get())), S_OK);
    EXPECT_EQ(g->Connect(PinOf(src.get()), PinOf(any.get())), VFW_E_ALREADY_CONNECTED);
    ASSERT_EQ(g->SetTraceFile(""), S_OK);

    std::ifstream in(trace);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::filesystem::remove(trace);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0].rfind("Connect \"Source\":\"Out\" -> \"BDA sink\":\"In\" (any type) = 0x8", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("ConnectDirect \"Source\":\"Out\" -> \"BDA sink\":\"In\" (any type) = 0x8", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2], "Connect \"Source\":\"Out\" -> \"\":\"In\" (any type) = 0x8004025F")
        << "the outsider has no graph name";
    EXPECT_EQ(lines[3], "Connect \"Any sink\":\"In\" -> \"Source\":\"Out\" (any type) = 0x80040208");
    EXPECT_EQ(lines[4], "Connect (none) -> \"Any sink\":\"In\" (any type) = 0x80004003");
    EXPECT_EQ(lines[5],
              "Connect \"Source\":\"Out\" -> \"Any sink\":\"In\" (any type) = 0x00000000, connected with "
              "{E436EB83-524F-11CE-9F53-0020AF0BA770} {E06D8023-DB46-11CF-B4D1-00805F6CBBEA} "
              "{0F6417D6-C318-11D0-A43F-00A0C9223196}");
    EXPECT_EQ(lines[6], "Connect \"Source\":\"Out\" -> \"Any sink\":\"In\" (any type) = 0x80040204");
}

TEST(FilterGraph, ConnectionsNeedAStoppedGraphAndGoWithTheFilter) {
    auto g = NewGraph();
    Owned<CPushSourceFilter> src(new CPushSourceFilter({TsType()}, 188, 2, &NoData));
    Owned<CSampleSinkFilter> sink(new CSampleSinkFilter);
    ASSERT_EQ(g->AddFilter(src.filter(), u"Source"), S_OK);
    ASSERT_EQ(g->AddFilter(sink.filter(), u"Sink"), S_OK);
    ASSERT_EQ(g->ConnectDirect(PinOf(src.get()), PinOf(sink.get()), nullptr), S_OK);
    ASSERT_EQ(g->Pause(), S_OK);
    EXPECT_EQ(g->Disconnect(PinOf(sink.get())), VFW_E_NOT_STOPPED);
    OAFilterState fs = -1;
    EXPECT_EQ(g->GetState(0, &fs), S_OK);
    EXPECT_EQ(fs, State_Paused);
    EXPECT_EQ(g->GetState(0, nullptr), E_POINTER);

    EXPECT_EQ(g->RemoveFilter(sink.filter()), VFW_E_NOT_STOPPED);
    EXPECT_EQ(g->Stop(), S_OK);
    EXPECT_EQ(src->CurrentState(), State_Stopped);
    EXPECT_EQ(sink->CurrentState(), State_Stopped);

    // Removing a filter disconnects both ends.
    ASSERT_EQ(g->RemoveFilter(sink.filter()), S_OK);
    EXPECT_FALSE(src->GetPin(0)->IsConnected());
    EXPECT_FALSE(sink->GetPin(0)->IsConnected());
}

TEST(FilterGraph, PlatformClassesAreCreatable) {
    ASSERT_EQ(RegisterPlatformClasses(), S_OK);
    ASSERT_EQ(RegisterPlatformClasses(), S_OK) << "a second call is harmless";
    ComPtr<IGraphBuilder> gb;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               reinterpret_cast<void**>(gb.ReleaseAndGetAddressOf())), S_OK);
    ComPtr<IMediaControl> mc;
    EXPECT_EQ(gb.As(IID_IMediaControl, &mc), S_OK);
    ComPtr<IMediaEventSink> sink;
    EXPECT_EQ(gb.As(IID_IMediaEventSink, &sink), S_OK);
    ComPtr<IFilterMapper2> mapper;
    EXPECT_EQ(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                               reinterpret_cast<void**>(mapper.ReleaseAndGetAddressOf())), S_OK);
    ComPtr<IMemAllocator> alloc;
    EXPECT_EQ(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                               reinterpret_cast<void**>(alloc.ReleaseAndGetAddressOf())), S_OK);
}

TEST(FilterGraph, ReleasingTheGraphFreesConnectedFilters) {
    const long before = CBaseObject::ObjectsActive();
    {
        auto g = NewGraph();
        auto* src = new CPushSourceFilter({TsType()}, 188, 2, &NoData);
        auto* sink = new CSampleSinkFilter;
        src->NonDelegatingAddRef();
        sink->NonDelegatingAddRef();
        ASSERT_EQ(g->AddFilter(static_cast<IBaseFilter*>(src), u"Source"), S_OK);
        ASSERT_EQ(g->AddFilter(static_cast<IBaseFilter*>(sink), u"Sink"), S_OK);
        ASSERT_EQ(g->ConnectDirect(src->GetPin(0), sink->GetPin(0), nullptr), S_OK);
        // From here on only the graph (and the connection) keeps them.
        src->NonDelegatingRelease();
        sink->NonDelegatingRelease();
        ASSERT_EQ(g->Run(), S_OK);
    }
    EXPECT_EQ(CBaseObject::ObjectsActive(), before);
}

TEST(FilterGraph, SetLogFileTakesADescriptor) {
    auto g = NewGraph();
    EXPECT_EQ(g->SetLogFile(static_cast<DWORD_PTR>(987654)), E_HANDLE);
    std::string path = (std::filesystem::temp_directory_path() / ("kestrel-log-" + std::to_string(getpid()))).string();
    FILE* f = std::fopen(path.c_str(), "w+");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(g->SetLogFile(static_cast<DWORD_PTR>(fileno(f))), S_OK);
    std::fclose(f);  // the graph keeps its own descriptor
    Owned<CSampleSinkFilter> a(new CSampleSinkFilter), b(new CSampleSinkFilter);
    g->AddFilter(a.filter(), u"A");
    g->AddFilter(b.filter(), u"B");
    EXPECT_EQ(g->Connect(PinOf(a.get()), PinOf(b.get())), VFW_E_INVALID_DIRECTION);
    ASSERT_EQ(g->SetLogFile(0), S_OK);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::filesystem::remove(path);
    EXPECT_EQ(text.str(), "Connect \"A\":\"In\" -> \"B\":\"In\" (any type) = 0x80040208\n");
}

}  // namespace
