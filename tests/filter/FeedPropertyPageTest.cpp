// The filter's property page, opened on a real filter the way a host opens it.
#include <cstring>

#include "filter/FeedPropertyPage.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/TaskMemory.h"
#include "platform/graph/CClassFactory.h"
#include "platform/graph/CPropertyFrame.h"
#include "platform/ui/DialogApi.h"
#include "platform/ui/ScriptedPresenter.h"
#include "tests/filter/FilterTestSupport.h"
#include "tests/support/CountingPageSite.h"

namespace {

constexpr int kFileName = 1000;
constexpr int kFileStream = 1001;
constexpr int kBrowse = 1002;
constexpr int kLiveStream = 1003;
constexpr int kFeedList = 1004;
constexpr int kInputPin = 1005;

const CFactoryTemplate kPageTemplate = {u"filter properties", &CLSID_TSFeedPropertyPage,
                                        &CFeedPropertyPage::CreateInstance, nullptr, nullptr};

// The page window inside a frame: the child dialog that holds the feed list.
HWND PageIn(HWND frame) {
    for (HWND w = GetWindow(frame, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT))
        if (GetDlgItem(w, kFeedList)) return w;
    return nullptr;
}

constexpr int kChecked = BST_CHECKED, kUnchecked = BST_UNCHECKED;

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
    void TearDown() override { EXPECT_TRUE(presenter.Problems().empty()); }

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

    static inline IClassFactory* factory_ = nullptr;
    ScriptedPresenter presenter;
    ScopedPresenter scope{&presenter};
};

}  // namespace

TEST_F(FeedPropertyPageTest, PassThroughModeOpensWithItsButtonAndTextAndFileStreamApplies) {
    TestFilter f;
    ASSERT_EQ(f.control->SetMode(kModePassThrough, "upstream tuner"), S_OK);
    presenter.Click(kFileStream).Type(kFileName, "/media/astra.ts:LOOP:").Ok();
    ASSERT_EQ(ShowPages(f), S_OK);
    ASSERT_EQ(presenter.Dialogs().size(), 1u);
    const DialogState& shown = presenter.Dialogs()[0].Shown();
    EXPECT_EQ(shown.Find(kInputPin)->check, kChecked);
    EXPECT_EQ(shown.Find(kLiveStream)->check, kUnchecked);
    EXPECT_EQ(shown.Find(kFileStream)->check, kUnchecked);
    EXPECT_EQ(shown.Find(kFileName)->text, "upstream tuner");

    EXPECT_EQ(f.Mode(), ModeAndText(kModeFile, "/media/astra.ts:LOOP:"));
    const DialogState& last = presenter.Dialogs()[0].Last();
    EXPECT_EQ(last.Find(kFileStream)->check, kChecked);
    EXPECT_EQ(last.Find(kInputPin)->check, kUnchecked) << "the buttons form one group";
}

TEST_F(FeedPropertyPageTest, FeedsAreListedSortedAndEveryApplyAppliesTheTypedName) {
    TestFilter f;
    ASSERT_EQ(f.control->SetMode(kModePassThrough, nullptr), S_OK);
    int32_t type;
    const char *name, *details;
    ASSERT_TRUE(f.control->GetFeedInfo(0, &type, &name, &details));
    ASSERT_STREQ(name, "Zeta Tuner") << "the list is out of order to begin with";
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
            EXPECT_EQ(f.Mode(), ModeAndText(kModeLiveFeed, "Mu Tuner"));
        })
        .Type(kFileName, "alpha Tuner")
        .Ok();
    ASSERT_EQ(ShowPages(f), S_OK);
    EXPECT_EQ(presenter.Dialogs()[0].Shown().Find(kFeedList)->items,
              (std::vector<std::string>{"alpha Tuner", "File Feed", "Mu Tuner", "Zeta Tuner"}));
    EXPECT_EQ(f.control->GetFeedType(), kFeedDvbC) << "OK applied the second name too";
    EXPECT_TRUE(presenter.OpenFileDialogs().empty());
}

TEST_F(FeedPropertyPageTest, DisconnectAppliesWhatTheControlsShowWhileTheyExist) {
    TestFilter f;
    ASSERT_EQ(f.control->SetMode(kModePassThrough, "kept"), S_OK);
    HRESULT hr = E_FAIL;
    CUnknown* unknown = CFeedPropertyPage::CreateInstance(nullptr, &hr);
    ASSERT_NE(unknown, nullptr);
    IPropertyPage* page = nullptr;
    ASSERT_EQ(unknown->NonDelegatingQueryInterface(IID_IPropertyPage, reinterpret_cast<void**>(&page)), S_OK);
    CountingPageSite site;
    DialogTemplate host;
    host.style |= WS_VISIBLE;
    HWND frame = CreateDialogIndirectParamA(nullptr, &host, nullptr, nullptr, 0);
    ASSERT_NE(frame, nullptr);
    RECT area{0, 0, 492, 378};
    ASSERT_EQ(page->SetPageSite(&site), S_OK);

    // Something other than the filter: the page stays empty and applies nothing.
    IUnknown* notAFilter = page;
    EXPECT_EQ(page->SetObjects(1, &notAFilter), E_NOINTERFACE);
    ASSERT_EQ(page->Activate(frame, &area, TRUE), S_OK);
    HWND window = GetWindow(frame, GW_CHILD);
    EXPECT_EQ(SendDlgItemMessageA(window, kFeedList, LB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(IsDlgButtonChecked(window, kLiveStream) | IsDlgButtonChecked(window, kFileStream) |
                  IsDlgButtonChecked(window, kInputPin),
              0u);
    EXPECT_EQ(page->Apply(), S_OK);
    ASSERT_EQ(page->Deactivate(), S_OK);

    IUnknown* object = f.filter.Get();
    ASSERT_EQ(page->SetObjects(1, &object), S_OK);
    ASSERT_EQ(page->Activate(frame, &area, TRUE), S_OK);
    window = GetWindow(frame, GW_CHILD);
    SendMessageA(GetDlgItem(window, kFileStream), BM_CLICK, 0, 0);
    SetDlgItemTextA(window, kFileName, "/media/hotbird.ts");
    ASSERT_EQ(page->SetObjects(0, nullptr), S_OK);
    EXPECT_EQ(f.Mode(), ModeAndText(kModeFile, "/media/hotbird.ts"));

    // Once the window is gone there is nothing left to apply.
    ASSERT_EQ(page->SetObjects(1, &object), S_OK);
    ASSERT_EQ(page->Deactivate(), S_OK);
    ASSERT_EQ(f.control->SetMode(kModePassThrough, "kept"), S_OK);
    ASSERT_EQ(page->SetObjects(0, nullptr), S_OK);
    EXPECT_EQ(f.Mode(), ModeAndText(kModePassThrough, "kept"));
    page->SetPageSite(nullptr);
    page->Release();
    DestroyWindow(frame);
}
