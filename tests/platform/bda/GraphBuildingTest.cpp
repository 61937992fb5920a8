#include "BdaTestSupport.h"
#include "platform/bda/CBdaFilter.h"
#include "platform/bda/CInfTee.h"
#include "platform/graph/CClassFactory.h"
#include "platform/graph/CFilterMapper2.h"
#include "tests/platform/graph_extras/GraphTestFilters.h"
#include <cstdio>
#include <sstream>

namespace {

// Takes the plain transport stream and passes it on as the BDA flavour: the piece a
// graph has to find by itself when a source and a sink disagree.
class CTestConverter final : public CBdaFilter {
public:
    CTestConverter() : CBdaFilter("CTestConverter", kClsid) {
        in_ = AddInput(u"Input");
        out_ = AddOutput(u"Output");
    }
    static constexpr CLSID kClsid = {0x5D1E2F30, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x01}};
    HRESULT CheckType(CBasePin* pin, const CMediaType* mt) override {
        const GUID& wanted = pin == in_ ? MEDIASUBTYPE_MPEG2_TRANSPORT : KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT;
        return *mt->Type() == MEDIATYPE_Stream && *mt->Subtype() == wanted ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT ProposeType(CBasePin* pin, int position, CMediaType* mt) override {
        if (pin != out_ || position > 0) return VFW_S_NO_MORE_ITEMS;
        *mt = TsType(KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT);
        return S_OK;
    }

private:
    CBdaInputPin* in_;
    CBdaOutputPin* out_;
};

constexpr CLSID kRendererClsid = {0x5D1E2F30, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x02}};

CUnknown* NewConverter(IUnknown*, HRESULT*) { return new CTestConverter; }
CUnknown* NewBdaRenderer(IUnknown*, HRESULT*) {
    return new CSampleSinkFilter({}, {TsType(KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT)});
}

const CFactoryTemplate kConverter{u"Test Converter", &CTestConverter::kClsid, &NewConverter, nullptr, nullptr};
const CFactoryTemplate kRenderer{u"Test Renderer", &kRendererClsid, &NewBdaRenderer, nullptr, nullptr};

void RegisterClass(const CFactoryTemplate& t) {
    static ModuleCounts counts;
    auto* factory = new CClassFactory(&t, counts);
    factory->AddRef();
    HRESULT hr = CoRegisterClassFactory(*t.m_ClsID, factory);
    factory->Release();
    ASSERT_TRUE(hr == S_OK || hr == CO_E_OBJISREG);
}

// Registers with the filter mapper: one input of `in`, and an output of `out` unless null.
void RegisterWithMapper(const CFactoryTemplate& t, DWORD merit, const GUID& in, const GUID* out) {
    const REGPINTYPES inType{&MEDIATYPE_Stream, &in};
    const REGPINTYPES outType{&MEDIATYPE_Stream, out};
    const REGFILTERPINS pins[] = {
        {u"Input", FALSE, FALSE, FALSE, FALSE, nullptr, nullptr, 1, &inType},
        {u"Output", FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 1, &outType},
    };
    REGFILTER2 rf{};
    rf.dwVersion = 1;
    rf.dwMerit = merit;
    rf.cPins = out ? 2 : 1;
    rf.rgPins = pins;
    auto mapper = Create<IFilterMapper2>(CLSID_FilterMapper2, IID_IFilterMapper2);
    ASSERT_EQ(mapper->RegisterFilter(*t.m_ClsID, t.m_Name, nullptr, nullptr, nullptr, &rf), S_OK);
}

std::vector<std::string> Names(CFilterGraph* g) {
    std::vector<std::string> names;
    ComPtr<IEnumFilters> e;
    g->EnumFilters(e.ReleaseAndGetAddressOf());
    IBaseFilter* f = nullptr;
    while (e->Next(1, &f, nullptr) == S_OK) {
        FILTER_INFO info{};
        f->QueryFilterInfo(&info);
        if (info.pGraph) info.pGraph->Release();
        names.push_back(WideToUtf8(info.achName));
        f->Release();
    }
    return names;
}

// Lines of a UTF-16LE file with CR LF line ends.
std::vector<std::string> WideLines(const std::string& path) {
    const std::string raw = ReadWholeFile(path);
    std::u16string text;
    for (size_t i = 0; i + 1 < raw.size(); i += 2)
        text += static_cast<char16_t>(static_cast<uint8_t>(raw[i]) | static_cast<uint8_t>(raw[i + 1]) << 8);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(u"\r\n", start)) != std::u16string::npos; start = end + 2)
        lines.push_back(WideToUtf8(text.substr(start, end - start)));
    EXPECT_EQ(start, text.size()) << "every line ends in CR LF";
    return lines;
}

class GraphBuilding : public BdaTest {
protected:
    void SetUp() override {
        BdaTest::SetUp();
        RegisterClass(kConverter);
        RegisterClass(kRenderer);
    }
};

}  // namespace

TEST_F(GraphBuilding, IntelligentConnectInsertsARegisteredFilterAndTracesEveryAttempt) {
    auto g = NewGraph();
    Owned<CPushSourceFilter> src(new CPushSourceFilter({TsType()}, 188, 2, &NoData));
    Owned<CSampleSinkFilter> sink(new CSampleSinkFilter({}, {TsType(KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT)}));
    ASSERT_EQ(g->AddFilter(src.filter(), u"Source"), S_OK);
    ASSERT_EQ(g->AddFilter(sink.filter(), u"BDA sink"), S_OK);

    EXPECT_EQ(g->Connect(src.pin(), sink.pin()), VFW_E_CANNOT_CONNECT) << "nothing registered yet";
    RegisterWithMapper(kConverter, MERIT_DO_NOT_USE, MEDIASUBTYPE_MPEG2_TRANSPORT, &KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT);
    EXPECT_EQ(g->Connect(src.pin(), sink.pin()), VFW_E_CANNOT_CONNECT) << "a do-not-use merit is never tried";
    EXPECT_EQ(Names(g.Get()).size(), 2u);

    RegisterWithMapper(kConverter, MERIT_NORMAL, MEDIASUBTYPE_MPEG2_TRANSPORT, &KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT);
    const std::string log = home_.File("trace.log");
    FILE* f = std::fopen(log.c_str(), "wb");
    ASSERT_EQ(g->SetLogFile(static_cast<DWORD_PTR>(fileno(f))), S_OK);
    std::fclose(f);
    ASSERT_EQ(g->Connect(src.pin(), sink.pin()), S_OK);
    g->SetLogFile(0);
    EXPECT_EQ(Names(g.Get()), (std::vector<std::string>{"Source", "BDA sink", "Test Converter"}));

    const std::string bda = " {E436EB83-524F-11CE-9F53-0020AF0BA770} {F4AEB342-0329-4FDD-A8FD-4AFF4926C978} "
                            "{0F6417D6-C318-11D0-A43F-00A0C9223196}";
    const std::string plain = " {E436EB83-524F-11CE-9F53-0020AF0BA770} {E06D8023-DB46-11CF-B4D1-00805F6CBBEA} "
                              "{0F6417D6-C318-11D0-A43F-00A0C9223196}";
    EXPECT_EQ(WideLines(log),
              (std::vector<std::string>{
                  "Connect \"Source\":\"Out\" -> \"BDA sink\":\"In\" (any type) = 0x80040207",
                  "  trying \"Test Converter\" {5D1E2F30-1111-4222-8333-444455556601}",
                  "  ConnectDirect \"Source\":\"Out\" -> \"Test Converter\":\"Input\" (any type) = 0x00000000, "
                  "connected with" + plain,
                  "  ConnectDirect \"Test Converter\":\"Output\" -> \"BDA sink\":\"In\" (any type) = 0x00000000, "
                  "connected with" + bda,
                  "Connect \"Source\":\"Out\" -> \"BDA sink\":\"In\" through registered filters = 0x00000000",
              }));
}

TEST_F(GraphBuilding, RenderEndsEveryBranchInAFilterWithoutOutputsOrLeavesTheGraphAsItWas) {
    auto g = NewGraph();
    Owned<CPushSourceFilter> src(new CPushSourceFilter({TsType()}, 188, 2, &NoData));
    ASSERT_EQ(g->AddFilter(src.filter(), u"Source"), S_OK);
    RegisterWithMapper(kConverter, MERIT_NORMAL, MEDIASUBTYPE_MPEG2_TRANSPORT, &KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT);

    const std::string trace = home_.File("render.txt");
    ASSERT_EQ(g->SetTraceFile(trace), S_OK);
    EXPECT_EQ(g->Render(src.pin()), VFW_E_CANNOT_RENDER) << "the converter's output leads nowhere";
    EXPECT_EQ(Names(g.Get()), (std::vector<std::string>{"Source"})) << "what did not help is taken out again";
    EXPECT_FALSE(src.pin()->IsConnected());
    const std::string text = ReadWholeFile(trace);
    EXPECT_NE(text.find("  removed \"Test Converter\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Render \"Source\":\"Out\" = 0x80040218\n"), std::string::npos) << text;

    RegisterWithMapper(kRenderer, MERIT_NORMAL, KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT, nullptr);
    EXPECT_EQ(g->Render(src.pin()), S_OK);
    EXPECT_EQ(Names(g.Get()), (std::vector<std::string>{"Source", "Test Converter", "Test Renderer"}));
    EXPECT_EQ(g->Render(src.pin()), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(g->Render(nullptr), E_POINTER);
}

TEST_F(GraphBuilding, TheTeeGrowsAnOutputEachTimeItsLastFreeOneConnects) {
    auto g = NewGraph();
    auto tee = Create<IBaseFilter>(CLSID_InfTee, IID_IBaseFilter);
    ASSERT_TRUE(tee);
    Owned<CPushSourceFilter> src(new CPushSourceFilter({TsType()}, 188, 2, &NoData));
    ASSERT_EQ(g->AddFilter(src.filter(), u"Source"), S_OK);
    ASSERT_EQ(g->AddFilter(tee.Get(), u"Tee"), S_OK);
    auto* t = static_cast<CInfTee*>(tee.Get());
    ASSERT_EQ(t->GetPinCount(), 2);
    Owned<CSampleSinkFilter> early(new CSampleSinkFilter);
    ASSERT_EQ(g->AddFilter(early.filter(), u"Early"), S_OK);
    EXPECT_FALSE(SUCCEEDED(g->ConnectDirect(t->GetPin(1), early.pin(), nullptr)))
        << "outputs carry the input's type, so the input connects first";
    EXPECT_EQ(t->GetPinCount(), 2);

    ASSERT_EQ(g->ConnectDirect(src.pin(), t->GetPin(0), nullptr), S_OK);
    std::vector<std::unique_ptr<Owned<CSampleSinkFilter>>> sinks;
    for (int n = 1; n <= 4; ++n) {
        sinks.push_back(std::make_unique<Owned<CSampleSinkFilter>>(new CSampleSinkFilter));
        ASSERT_EQ(g->AddFilter((*sinks.back()).filter(), nullptr), S_OK);
        ASSERT_EQ(g->ConnectDirect(t->GetPin(n), (*sinks.back()).pin(), nullptr), S_OK) << n;
        EXPECT_EQ(t->GetPinCount(), n + 2) << "one free output after " << n << " connections";
        PIN_INFO info{};
        t->GetPin(n + 1)->QueryPinInfo(&info);
        info.pFilter->Release();
        EXPECT_EQ(WideToUtf8(info.achName), "Output" + std::to_string(n + 1));
    }
}

TEST_F(GraphBuilding, AnExportFilterThatRefusesTheStreamFailsDirectAndIntelligentConnect) {
    for (bool accepts : {true, false}) {
        BdaDeclaration d;
        d.exportFilterAccepts = accepts;
        BdaSimulation::Declare(d);
        auto g = NewGraph();
        auto tee = Create<IBaseFilter>(CLSID_InfTee, IID_IBaseFilter);
        auto exporter = Create<IBaseFilter>(CLSID_TSExportFilter, IID_IBaseFilter);
        ASSERT_TRUE(exporter);
        EXPECT_TRUE(Query<IDSExport>(exporter, IID_IDSExport));
        Owned<CPushSourceFilter> src(new CPushSourceFilter({TsType(KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT)}, 188, 2, &NoData));
        ASSERT_EQ(g->AddFilter(src.filter(), u"Tuner"), S_OK);
        ASSERT_EQ(g->AddFilter(tee.Get(), u"Tee"), S_OK);
        ASSERT_EQ(g->AddFilter(exporter.Get(), u"Export"), S_OK);
        auto* t = static_cast<CInfTee*>(tee.Get());
        ASSERT_EQ(g->ConnectDirect(src.pin(), t->GetPin(0), nullptr), S_OK);
        IPin* exportIn = static_cast<CBdaFilter*>(exporter.Get())->GetPin(0);
        EXPECT_EQ(SUCCEEDED(g->ConnectDirect(t->GetPin(1), exportIn, nullptr)), accepts);
        if (!accepts) {
            EXPECT_EQ(g->Connect(t->GetPin(1), exportIn), VFW_E_CANNOT_CONNECT);
        }
    }
    BdaDeclaration gone;
    gone.exportFilterPresent = false;
    BdaSimulation::Declare(gone);
    EXPECT_FALSE(Create<IBaseFilter>(CLSID_TSExportFilter, IID_IBaseFilter));
}

TEST_F(GraphBuilding, TheDemultiplexerHasTheDeclaredOutputs) {
    for (unsigned outputs : {5u, 2u, 0u}) {
        BdaDeclaration d;
        d.demuxOutputPins = outputs;
        BdaSimulation::Declare(d);
        auto demux = Create<IBaseFilter>(CLSID_MPEG2Demultiplexer, IID_IBaseFilter);
        ASSERT_TRUE(demux);
        EXPECT_EQ(static_cast<CBdaFilter*>(demux.Get())->GetPinCount(), static_cast<int>(outputs + 1));
    }
}

TEST_F(GraphBuilding, FiltersAddedByClassCarryTheirRegisteredNames) {
    const std::pair<GUID, const char*> names[] = {
        {CLSID_InfTee, "Infinite Pin Tee Filter"},
        {CLSID_MPEG2Demultiplexer, "MPEG-2 Demultiplexer"},
        {CLSID_TSExportFilter, "Velmar TS Export Filter"},
        {CLSID_DVBSNetworkProvider, "DVBS Network Provider"},
    };
    for (const auto& [clsid, name] : names) {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, ("CLSID\\" + GuidToString(clsid)).c_str(), &key), ERROR_SUCCESS);
        char value[64] = {};
        DWORD size = sizeof value;
        EXPECT_EQ(RegQueryValueExA(key, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size), ERROR_SUCCESS);
        EXPECT_STREQ(value, name);
        RegCloseKey(key);
    }
}
