// The platform's property page class and the frame that shows pages for an object.
#include "platform/com/TaskMemory.h"
#include "platform/graph/CBasePropertyPage.h"
#include "platform/graph/CPropertyFrame.h"
#include "platform/com/WideString.h"
#include "tests/platform/RegistryTestSupport.h"
#include "tests/platform/ui/UiTestSupport.h"
#include "tests/support/CountingPageSite.h"

namespace {

constexpr int kDialogId = 3105;
constexpr int kTitleId = 3100;

// A page that notes every hook call, in order, into a shared log.
class LoggingPage : public CBasePropertyPage {
public:
    LoggingPage(Texts* log, HRESULT applyResult = S_OK)
        : CBasePropertyPage("logging page", nullptr, kDialogId, kTitleId, MainProgramModule()), log_(log),
          applyResult_(applyResult) {}
    ~LoggingPage() override { log_->push_back("destroyed"); }

    HRESULT OnConnect(IUnknown*) override { return Note("connect"), SetDirty(), S_OK; }
    HRESULT OnDisconnect() override { return Note(IsWindow(m_Dlg) ? "disconnect with window" : "disconnect"), S_OK; }
    HRESULT OnActivate() override { return Note("activate"), SetDlgItemTextA(m_Dlg, 10, "from the object"), S_OK; }
    HRESULT OnDeactivate() override { return Note("deactivate"), S_OK; }
    HRESULT OnApplyChanges() override {
        char text[64];
        GetDlgItemTextA(m_Dlg, 10, text, sizeof text);
        return Note(std::string("apply ") + text), applyResult_;
    }
    HWND Dialog() const { return m_Dlg; }

private:
    void Note(const std::string& what) { log_->push_back(what); }
    Texts* log_;
    HRESULT applyResult_;
};

class PropertyPageTest : public ScriptedTest {
protected:
    void SetUp() override {
        DialogTemplate page = MakeDialog("", {Control(10, WC_EDIT, "", WS_TABSTOP), Control(11, WC_BUTTON, "Go")});
        page.style = WS_CHILD;
        page.cx = 328;
        page.cy = 233;
        RegisterDialogTemplate(nullptr, MAKEINTRESOURCEA(kDialogId), page);
        RegisterStringResource(nullptr, kTitleId, "Properties");
    }
    void TearDown() override { UnregisterDialogTemplate(nullptr, MAKEINTRESOURCEA(kDialogId)); }

    static IPropertyPage* Interface(CBasePropertyPage* page) {
        IPropertyPage* p = nullptr;
        page->NonDelegatingQueryInterface(IID_IPropertyPage, reinterpret_cast<void**>(&p));
        return p;
    }

    // The pages only pass the object on; nothing calls it.
    IUnknown* Object() { return reinterpret_cast<IUnknown*>(&objectTag); }

    Texts log;
    CountingPageSite site;
    int objectTag = 0;
};

}  // namespace

TEST_F(PropertyPageTest, TheInterfaceChecksItsOrderOfCallsAndNamesItsSize) {
    IPropertyPage* page = Interface(new LoggingPage(&log));
    PROPPAGEINFO info{};
    ASSERT_EQ(page->GetPageInfo(&info), S_OK);
    EXPECT_EQ(WideToUtf8(info.pszTitle), "Properties");
    EXPECT_EQ(info.size.cx, 492) << "dialog units in pixels";
    EXPECT_EQ(info.size.cy, 378);
    CoTaskMemFree(info.pszTitle);
    EXPECT_EQ(page->GetPageInfo(nullptr), E_POINTER);

    RECT r{0, 0, 100, 100};
    EXPECT_EQ(page->Activate(nullptr, &r, TRUE), E_UNEXPECTED) << "no object yet";
    EXPECT_EQ(page->Apply(), E_UNEXPECTED);
    EXPECT_EQ(page->SetPageSite(nullptr), E_UNEXPECTED);
    EXPECT_EQ(page->SetPageSite(&site), S_OK);
    EXPECT_EQ(page->SetPageSite(&site), E_UNEXPECTED);
    IUnknown* two[2] = {page, page};
    EXPECT_EQ(page->SetObjects(2, two), E_UNEXPECTED);
    EXPECT_EQ(page->Show(SW_SHOW), E_UNEXPECTED);
    EXPECT_TRUE(log.empty());
    IUnknown* object = Object();
    ASSERT_EQ(page->SetObjects(1, &object), S_OK);
    page->Release();
    EXPECT_EQ(log, (Texts{"connect", "disconnect", "destroyed"})) << "the last release disconnects";
}

TEST_F(PropertyPageTest, ActivateCreatesTheWindowAndApplyRunsWhileDirty) {
    ModelessDialog frame(MakeDialog("Frame", {}));
    ShowWindow(frame.hwnd, SW_SHOW);
    IPropertyPage* page = Interface(new LoggingPage(&log));
    page->SetPageSite(&site);
    IUnknown* object = Object();
    ASSERT_EQ(page->SetObjects(1, &object), S_OK);
    EXPECT_EQ(site.statusChanges, 1);
    RECT r{10, 20, 110, 220};
    ASSERT_EQ(page->Activate(frame.hwnd, &r, TRUE), S_OK);
    HWND window = GetWindow(frame.hwnd, GW_CHILD);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsWindowVisible(window));
    RECT placed{};
    GetClientRect(window, &placed);
    EXPECT_EQ(placed.bottom, 200) << "the page fills the rectangle it was given";
    EXPECT_EQ(page->Activate(frame.hwnd, &r, TRUE), E_UNEXPECTED) << "one window at a time";
    EXPECT_EQ(page->IsPageDirty(), S_OK);
    EXPECT_EQ(page->Apply(), S_OK);
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
    EXPECT_EQ(page->Apply(), S_OK) << "clean: nothing to apply";
    EXPECT_EQ(page->Deactivate(), S_OK);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(page->SetObjects(0, nullptr), S_OK);
    page->Release();
    EXPECT_EQ(log, (Texts{"connect", "activate", "apply from the object", "deactivate", "disconnect", "destroyed"}));
}

TEST_F(PropertyPageTest, TheFrameAppliesOnOkAndTakesThePageDownInOrder) {
    auto* logging = new LoggingPage(&log);
    IPropertyPage* page = Interface(logging);
    IUnknown* object = Object();
    presenter
        .Run([&](HWND frame) {
            EXPECT_TRUE(IsWindowEnabled(GetDlgItem(frame, ID_APPLY_NOW))) << "the page was dirty from the start";
            EXPECT_EQ(GetParent(logging->Dialog()), frame);
        })
        .Type(10, "typed")
        .Ok();
    EXPECT_EQ(CPropertyFrame::Show(nullptr, u"Filter", &object, 1, &page, 1), S_OK);
    EXPECT_EQ(log, (Texts{"connect", "activate", "apply typed", "deactivate", "disconnect"}));
    ASSERT_EQ(presenter.Dialogs().size(), 1u);
    EXPECT_EQ(presenter.Dialogs()[0].Shown().caption, "Filter Properties");
    EXPECT_EQ(presenter.Dialogs()[0].Shown().Find(ID_FRAME_TABS)->items, (Texts{"Properties"}));
    EXPECT_TRUE(presenter.Problems().empty());
    page->Release();
}

TEST_F(PropertyPageTest, AFailedApplyKeepsTheFrameOpenAndWithoutPresenterNothingShows) {
    IPropertyPage* page = Interface(new LoggingPage(&log, E_FAIL));
    IUnknown* object = Object();
    presenter.Ok().Cancel();
    EXPECT_EQ(CPropertyFrame::Show(nullptr, u"Filter", &object, 1, &page, 1), S_OK);
    EXPECT_EQ(log, (Texts{"connect", "activate", "apply from the object", "deactivate", "disconnect"}));
    EXPECT_EQ(presenter.Dialogs()[0].result, IDCANCEL);

    log.clear();
    SetPresenter(nullptr);
    EXPECT_EQ(CPropertyFrame::Show(nullptr, u"Filter", &object, 1, &page, 1), E_FAIL);
    EXPECT_EQ(log, (Texts{"connect", "disconnect"})) << "the page is still taken down";
    EXPECT_EQ(CPropertyFrame::Show(nullptr, u"Filter", &object, 1, &page, 0), E_INVALIDARG);
    page->Release();
    ScopedRegistryHome home;
    CLSID unknown{0x12345678, 0, 0, {0}};
    EXPECT_EQ(OleCreatePropertyFrame(nullptr, 0, 0, u"x", 1, &object, 1, &unknown, 0, 0, nullptr), REGDB_E_CLASSNOTREG);
}
