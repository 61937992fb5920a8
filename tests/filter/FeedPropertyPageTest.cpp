// The filter's property page, opened on a real filter the way a host opens it.
#include <algorithm>
#include <cstring>

#include "filter/FeedPropertyPage.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/TaskMemory.h"
#include "platform/graph/CClassFactory.h"
#include "platform/graph/CPropertyFrame.h"
#include "platform/graph/WideString.h"
#include "platform/ui/DialogApi.h"
#include "platform/ui/ItemList.h"
#include "platform/ui/ScriptedPresenter.h"
#include "tests/filter/FilterTestSupport.h"

namespace {

constexpr int kFileName = 1000;
constexpr int kFileStream = 1001;
constexpr int kBrowse = 1002;
constexpr int kLiveStream = 1003;
constexpr int kFeedList = 1004;
constexpr int kInputPin = 1005;

const CFactoryTemplate kPageTemplate = {u"filter properties", &CLSID_TSFeedPropertyPage,
                                        &CFeedPropertyPage::CreateInstance, nullptr, nullptr};

struct QuietSite final : IPropertyPageSite {
    HRESULT QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT OnStatusChange(DWORD) override { return S_OK; }
    HRESULT GetLocaleID(LCID*) override { return E_NOTIMPL; }
    HRESULT GetPageContainer(IUnknown**) override { return E_NOTIMPL; }
    HRESULT TranslateAccelerator(MSG*) override { return S_FALSE; }
};

std::string ModeText(TestFilter& f, uint32_t* mode) {
    char text[kSourceTextSize];
    f.control->GetMode(mode, text);
    return text;
}

// The page window inside a frame: the child dialog that holds the feed list.
HWND PageIn(HWND frame) {
    for (HWND w = GetWindow(frame, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT))
        if (GetDlgItem(w, kFeedList)) return w;
    return nullptr;
}

class FeedPropertyPageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static ModuleCounts counts;
        factory_ = new CClassFactory(&kPageTemplate, counts);
        factory_->AddRef();
        ASSERT_EQ(CoRegisterClassFactory(CLSID_TSFeedPropertyPage, factory_), S_OK);
    }
    static void TearDownTestSuite() {
        CoRevokeClassFactory(CLSID_TSFeedPropertyPage);
        factory_->Release();
    }

    // What a host does: ask the filter for its pages, then show them in a frame.
    HRESULT ShowPages(TestFilter& f) {
        ComPtr<ISpecifyPropertyPages> specify;
        EXPECT_EQ(f.filter.As(IID_ISpecifyPropertyPages, &specify), S_OK);
        CAUUID pages{};
        EXPECT_EQ(specify->GetPages(&pages), S_OK);
        IUnknown* object = f.filter.Get();
        HRESULT hr = OleCreatePropertyFrame(nullptr, 0, 0, u"TS Feed", 1, &object, pages.cElems, pages.pElems, 0, 0,
                                            nullptr);
        CoTaskMemFree(pages.pElems);
        return hr;
    }

    std::vector<std::string> ListedNames(TestFilter& f) {
        std::vector<std::string> names;
        int32_t type;
        const char *name, *details;
        for (uint32_t i = 0; f.control->GetFeedInfo(i, &type, &name, &details); ++i) names.push_back(name);
        return names;
    }

    static IClassFactory* factory_;
    ScriptedPresenter presenter;
    ScopedPresenter scope{&presenter};
};

IClassFactory* FeedPropertyPageTest::factory_ = nullptr;

}  // namespace

TEST_F(FeedPropertyPageTest, PassThroughModeOpensWithTheInputPinButtonAndTheStoredText) {
    TestFilter f;
    ASSERT_EQ(f.control->SetMode(kModePassThrough, "upstream tuner"), S_OK);
    presenter.Cancel();
    ASSERT_EQ(ShowPages(f), S_OK);
    ASSERT_EQ(presenter.Dialogs().size(), 1u);
    const DialogState& shown = presenter.Dialogs()[0].Shown();
    EXPECT_EQ(shown.caption, "TS Feed Properties");
    EXPECT_EQ(shown.Find(ID_FRAME_TABS)->items, (std::vector<std::string>{"Properties"}));
    EXPECT_EQ(shown.Find(kInputPin)->text,
              "&BDA compliant (or other TS input), connected to the input pin of this filter");
    EXPECT_EQ(shown.Find(kInputPin)->check, static_cast<int>(BST_CHECKED));
    EXPECT_EQ(shown.Find(kLiveStream)->check, static_cast<int>(BST_UNCHECKED));
    EXPECT_EQ(shown.Find(kFileStream)->check, static_cast<int>(BST_UNCHECKED));
    EXPECT_EQ(shown.Find(kFileName)->text, "upstream tuner");
    uint32_t mode = 99;
    EXPECT_EQ(ModeText(f, &mode), "upstream tuner") << "cancel applies nothing";
    EXPECT_EQ(mode, kModePassThrough);
    EXPECT_TRUE(presenter.Problems().empty());
}

TEST_F(FeedPropertyPageTest, ApplyingFileStreamWithANameSwitchesToFileMode) {
    TestFilter f;
    ASSERT_EQ(f.control->SetMode(kModePassThrough, nullptr), S_OK);
    presenter.Click(kFileStream).Type(kFileName, "/media/astra.ts:LOOP:").Ok();
    ASSERT_EQ(ShowPages(f), S_OK);
    uint32_t mode = 99;
    EXPECT_EQ(ModeText(f, &mode), "/media/astra.ts:LOOP:");
    EXPECT_EQ(mode, kModeFile);
    const DialogState& last = presenter.Dialogs()[0].Last();
    EXPECT_EQ(last.Find(kFileStream)->check, static_cast<int>(BST_CHECKED));
    EXPECT_EQ(last.Find(kInputPin)->check, static_cast<int>(BST_UNCHECKED)) << "the buttons form one group";
    EXPECT_TRUE(presenter.Problems().empty());
}

TEST_F(FeedPropertyPageTest, FeedNamesAreListedAlphabeticallyAndMapBackToTheirEntries) {
    TestFilter f;
    std::vector<std::string> listed = ListedNames(f);
    ASSERT_GE(listed.size(), 3u);
    ASSERT_EQ(listed[0], "Zeta Tuner") << "the list is out of order to begin with";
    std::vector<std::string> sorted = listed;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const std::string& a, const std::string& b) { return ItemList::CompareNoCase(a, b) < 0; });
    presenter
        .Run([&](HWND frame) {
            HWND page = PageIn(frame);
            ASSERT_NE(page, nullptr);
            auto count = SendDlgItemMessageA(page, kFeedList, LB_GETCOUNT, 0, 0);
            ASSERT_EQ(static_cast<size_t>(count), listed.size());
            for (LRESULT i = 0; i < count; ++i) {
                char text[kSourceTextSize];
                SendDlgItemMessageA(page, kFeedList, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
                auto index = static_cast<uint32_t>(SendDlgItemMessageA(page, kFeedList, LB_GETITEMDATA, static_cast<WPARAM>(i), 0));
                ASSERT_LT(index, listed.size());
                EXPECT_EQ(listed[index], text) << "entry " << i;
            }
        })
        .Cancel();
    ASSERT_EQ(ShowPages(f), S_OK);
    EXPECT_EQ(presenter.Dialogs()[0].Shown().Find(kFeedList)->items, sorted);
    EXPECT_EQ(presenter.Dialogs()[0].Shown().Find(kFeedList)->items.front(), "alpha Tuner");
}

TEST_F(FeedPropertyPageTest, ApplyingALiveFeedStartsItAndEveryApplyAppliesAgain) {
    TestFilter f;
    ASSERT_EQ(f.control->SetMode(kModePassThrough, nullptr), S_OK);
    presenter.Click(kLiveStream)
        .Select(kFeedList, 1)
        .Click(kBrowse)
        .Run([](HWND frame) {
            char text[64];
            GetDlgItemTextA(PageIn(frame), kFileName, text, sizeof text);
            EXPECT_STREQ(text, "") << "neither the list nor Browse touch the edit box";
        })
        .Type(kFileName, "Mu Tuner")
        .Click(ID_APPLY_NOW)
        .Run([&](HWND) {
            EXPECT_EQ(f.control->GetFeedType(), kFeedDvbT);
            uint32_t mode = 99;
            EXPECT_EQ(ModeText(f, &mode), "Mu Tuner");
            EXPECT_EQ(mode, kModeLiveFeed);
        })
        .Type(kFileName, "alpha Tuner")
        .Ok();
    ASSERT_EQ(ShowPages(f), S_OK);
    EXPECT_EQ(f.control->GetFeedType(), kFeedDvbC) << "OK applied the second name too";
    EXPECT_TRUE(presenter.OpenFileDialogs().empty());
    EXPECT_TRUE(presenter.Problems().empty());
}

TEST_F(FeedPropertyPageTest, DisconnectAppliesWhatTheControlsShowWhileTheyExist) {
    TestFilter f;
    ASSERT_EQ(f.control->SetMode(kModePassThrough, "kept"), S_OK);
    f.object->BuildFeedList();
    HRESULT hr = E_FAIL;
    CUnknown* unknown = CFeedPropertyPage::CreateInstance(nullptr, &hr);
    ASSERT_NE(unknown, nullptr);
    IPropertyPage* page = nullptr;
    ASSERT_EQ(unknown->NonDelegatingQueryInterface(IID_IPropertyPage, reinterpret_cast<void**>(&page)), S_OK);
    QuietSite site;
    DialogTemplate host;
    host.style |= WS_VISIBLE;
    HWND frame = CreateDialogIndirectParamA(nullptr, &host, nullptr, nullptr, 0);
    ASSERT_NE(frame, nullptr);
    IUnknown* object = f.filter.Get();
    RECT area{0, 0, 492, 378};

    ASSERT_EQ(page->SetPageSite(&site), S_OK);
    ASSERT_EQ(page->SetObjects(1, &object), S_OK);
    ASSERT_EQ(page->Activate(frame, &area, TRUE), S_OK);
    HWND window = GetWindow(frame, GW_CHILD);
    SendMessageA(GetDlgItem(window, kFileStream), BM_CLICK, 0, 0);
    SetDlgItemTextA(window, kFileName, "/media/hotbird.ts");
    ASSERT_EQ(page->SetObjects(0, nullptr), S_OK);
    uint32_t mode = 99;
    EXPECT_EQ(ModeText(f, &mode), "/media/hotbird.ts");
    EXPECT_EQ(mode, kModeFile);

    // Once the window is gone there is nothing left to apply.
    ASSERT_EQ(page->SetObjects(1, &object), S_OK);
    ASSERT_EQ(page->Deactivate(), S_OK);
    ASSERT_EQ(f.control->SetMode(kModePassThrough, "kept"), S_OK);
    ASSERT_EQ(page->SetObjects(0, nullptr), S_OK);
    EXPECT_EQ(ModeText(f, &mode), "kept");
    EXPECT_EQ(mode, kModePassThrough);
    page->SetPageSite(nullptr);
    page->Release();
    DestroyWindow(frame);
}

TEST_F(FeedPropertyPageTest, CommandsAreConsumedWithoutAction) {
    HRESULT hr = S_OK;
    auto* page = static_cast<CFeedPropertyPage*>(CFeedPropertyPage::CreateInstance(nullptr, &hr));
    ASSERT_NE(page, nullptr);
    page->NonDelegatingAddRef();
    EXPECT_EQ(page->OnReceiveMessage(nullptr, WM_COMMAND, MAKEWPARAM(kBrowse, BN_CLICKED), 0), TRUE);
    EXPECT_EQ(page->OnReceiveMessage(nullptr, WM_COMMAND, MAKEWPARAM(kFeedList, LBN_SELCHANGE), 0), TRUE);
    EXPECT_EQ(page->OnReceiveMessage(nullptr, WM_TIMER, 1, 0), 0);
    page->NonDelegatingRelease();
}

TEST_F(FeedPropertyPageTest, WithoutTheFilterThePageStaysEmptyAndAppliesNothing) {
    HRESULT hr = S_OK;
    CUnknown* unknown = CFeedPropertyPage::CreateInstance(nullptr, &hr);
    IPropertyPage* page = nullptr;
    ASSERT_EQ(unknown->NonDelegatingQueryInterface(IID_IPropertyPage, reinterpret_cast<void**>(&page)), S_OK);
    QuietSite site;
    page->SetPageSite(&site);
    IUnknown* notAFilter = page;
    EXPECT_EQ(page->SetObjects(1, &notAFilter), E_NOINTERFACE);
    EXPECT_EQ(page->SetObjects(1, nullptr), E_POINTER);
    DialogTemplate host;
    host.style |= WS_VISIBLE;
    HWND frame = CreateDialogIndirectParamA(nullptr, &host, nullptr, nullptr, 0);
    RECT area{0, 0, 10, 10};
    ASSERT_EQ(page->Activate(frame, &area, TRUE), S_OK);
    HWND window = GetWindow(frame, GW_CHILD);
    EXPECT_EQ(SendDlgItemMessageA(window, kFeedList, LB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(IsDlgButtonChecked(window, kLiveStream) | IsDlgButtonChecked(window, kFileStream) |
                  IsDlgButtonChecked(window, kInputPin),
              0u);
    EXPECT_EQ(page->Apply(), S_OK);
    page->Deactivate();
    page->SetPageSite(nullptr);
    page->Release();
    DestroyWindow(frame);
}

TEST_F(FeedPropertyPageTest, TheModuleServesThePageWithItsOwnResources) {
    HMODULE module = LoadLibraryA(KESTREL_MODULE_PATH);
    ASSERT_NE(module, nullptr) << LastLibraryError();
    auto getClassObject = reinterpret_cast<DllGetClassObjectFunction>(GetProcAddress(module, "DllGetClassObject"));
    ASSERT_NE(getClassObject, nullptr);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(getClassObject(CLSID_TSFeedPropertyPage, IID_IClassFactory,
                             reinterpret_cast<void**>(factory.ReleaseAndGetAddressOf())),
              S_OK);
    ComPtr<IPropertyPage> page;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPropertyPage, reinterpret_cast<void**>(page.ReleaseAndGetAddressOf())),
              S_OK);
    PROPPAGEINFO info{};
    ASSERT_EQ(page->GetPageInfo(&info), S_OK);
    EXPECT_EQ(WideToUtf8(info.pszTitle), "Properties");
    EXPECT_EQ(info.size.cx, 328 * 6 / 4);
    EXPECT_EQ(info.size.cy, 233 * 13 / 8);
    CoTaskMemFree(info.pszTitle);
    EXPECT_NE(ResourceRegistry::Instance().FindDialog(module, ResourceName(105)), nullptr)
        << "the dialog is the module's resource, not the host's";
    auto canUnload = reinterpret_cast<HRESULT (*)()>(GetProcAddress(module, "DllCanUnloadNow"));
    ASSERT_NE(canUnload, nullptr);
    EXPECT_EQ(canUnload(), S_FALSE) << "a page is alive";
    page.Reset();
    factory.Reset();
    EXPECT_EQ(canUnload(), S_OK);
}
