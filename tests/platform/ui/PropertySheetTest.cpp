// Property sheets: pages created on first show, activation, apply, cancel and help.
#include "tests/platform/ui/UiTestSupport.h"

namespace {

// One page's view of the sheet: what it was told, and how it answers.
struct PageProbe {
    std::vector<std::string> events;
    LRESULT applyAnswer = PSNRET_NOERROR;
    LPARAM seenParam = 0;
    HWND hwnd = nullptr;
    std::function<void(HWND)> onSetActive;

    static INT_PTR Proc(HWND hwnd, UINT message, WPARAM, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            auto* page = reinterpret_cast<const PROPSHEETPAGEA*>(lParam);
            auto* self = reinterpret_cast<PageProbe*>(page->lParam);
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, page->lParam);
            self->seenParam = page->lParam;
            self->hwnd = hwnd;
            self->events.push_back("init");
            return TRUE;
        }
        auto* self = reinterpret_cast<PageProbe*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (!self || message != WM_NOTIFY) return FALSE;
        auto* nm = reinterpret_cast<PSHNOTIFY*>(lParam);
        switch (nm->hdr.code) {
        case PSN_SETACTIVE:
            self->events.push_back("active");
            if (self->onSetActive) self->onSetActive(hwnd);
            return TRUE;
        case PSN_KILLACTIVE: self->events.push_back("leave"); return TRUE;
        case PSN_APPLY:
            self->events.push_back(nm->lParam ? "apply+close" : "apply");
            SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, self->applyAnswer);
            return TRUE;
        case PSN_RESET: self->events.push_back("reset"); return TRUE;
        case PSN_HELP: self->events.push_back("help"); return TRUE;
        default: return FALSE;
        }
    }
};

PROPSHEETPAGEA Page(const char* templateName, PageProbe* probe, DWORD flags = 0) {
    PROPSHEETPAGEA page{};
    page.dwSize = PROPSHEETPAGE_V2_SIZE;
    page.dwFlags = flags;
    page.pszTemplate = templateName;
    page.pfnDlgProc = &PageProbe::Proc;
    page.lParam = reinterpret_cast<LPARAM>(probe);
    return page;
}

PROPSHEETHEADERA Sheet(PROPSHEETPAGEA* pages, UINT count, DWORD flags = 0) {
    PROPSHEETHEADERA header{};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE | flags;
    header.pszCaption = "Feed";
    header.nPages = count;
    header.ppsp = pages;
    return header;
}

class PropertySheetTest : public ::testing::Test {
protected:
    ScriptedPresenter presenter;
    ScopedPresenter scope{&presenter};
    ScopedTemplate first{"PS_FIRST", MakeDialog("Satellite", {Control(200, WC_EDIT, "", WS_TABSTOP)})};
    ScopedTemplate second{"PS_SECOND", MakeDialog("Cable", {Control(300, WC_EDIT, "")})};
    PageProbe a;
    PageProbe b;
};

}  // namespace

TEST_F(PropertySheetTest, PagesAreCreatedWhenFirstShownAndAppliedOnOk) {
    PROPSHEETPAGEA pages[] = {Page(first.Name(), &a, PSP_HASHELP), Page(second.Name(), &b)};
    PROPSHEETHEADERA header = Sheet(pages, 2, PSH_PROPTITLE | PSH_HASHELP);
    presenter
        .Run([&](HWND) {
            EXPECT_EQ(a.events, (std::vector<std::string>{"init", "active"}));
            EXPECT_TRUE(b.events.empty()) << "not shown yet, not created yet";
            EXPECT_EQ(a.seenParam, reinterpret_cast<LPARAM>(&a));
        })
        .Type(200, "11836")
        .Click(IDHELP)
        .SelectPage(1)
        .Run([&](HWND sheet) {
            EXPECT_FALSE(IsWindowEnabled(GetDlgItem(sheet, IDHELP))) << "the second page has no help";
            EXPECT_FALSE(IsWindowVisible(a.hwnd));
            EXPECT_EQ(reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)), b.hwnd);
        })
        .Type(300, "346")
        .Ok();
    EXPECT_EQ(PropertySheetA(&header), 1);
    EXPECT_EQ(a.events, (std::vector<std::string>{"init", "active", "help", "leave", "apply+close"}));
    EXPECT_EQ(b.events, (std::vector<std::string>{"init", "active", "leave", "apply+close"}));
    ASSERT_EQ(presenter.Dialogs().size(), 1u);
    const auto& shown = presenter.Dialogs()[0];
    EXPECT_EQ(shown.Shown().caption, "Feed Properties");
    EXPECT_EQ(shown.Shown().Find(ID_SHEET_TABS)->items, (std::vector<std::string>{"Satellite", "Cable"}));
    EXPECT_EQ(shown.Shown().Find(200)->owner, "PS_FIRST");
    EXPECT_EQ(shown.Last().Find(300)->text, "346");
    EXPECT_EQ(shown.Last().Find(200), nullptr) << "a hidden page is not on show";
    EXPECT_TRUE(presenter.Problems().empty());
}

TEST_F(PropertySheetTest, CancelResetsAndAnInvalidPageKeepsTheSheetOpen) {
    PROPSHEETPAGEA pages[] = {Page(first.Name(), &a), Page(second.Name(), &b)};
    PROPSHEETHEADERA header = Sheet(pages, 2);
    header.nStartPage = 1;
    b.applyAnswer = PSNRET_INVALID_NOCHANGEPAGE;
    presenter.Ok().Run([&](HWND) { b.applyAnswer = PSNRET_NOERROR; }).Cancel();
    EXPECT_EQ(PropertySheetA(&header), 0);
    EXPECT_TRUE(a.events.empty()) << "the start page was the second";
    EXPECT_EQ(b.events, (std::vector<std::string>{"init", "active", "leave", "apply+close", "reset"}));
}

TEST_F(PropertySheetTest, ApplyNowWaitsForAChangeAndCountsAsSaved) {
    PROPSHEETPAGEA pages[] = {Page(first.Name(), &a)};
    PROPSHEETHEADERA header = Sheet(pages, 1);
    presenter.Click(ID_APPLY_NOW)
        .Run([&](HWND sheet) { SendMessageA(sheet, PSM_CHANGED, reinterpret_cast<WPARAM>(a.hwnd), 0); })
        .Click(ID_APPLY_NOW)
        .Cancel();
    EXPECT_EQ(PropertySheetA(&header), 1) << "applied before the cancel";
    EXPECT_EQ(a.events, (std::vector<std::string>{"init", "active", "leave", "apply", "reset"}));
    EXPECT_EQ(presenter.Problems(), (std::vector<std::string>{"Feed: click 12321: the control is disabled"}));
    EXPECT_FALSE(presenter.Dialogs()[0].Last().Find(ID_APPLY_NOW)->enabled);
}

TEST_F(PropertySheetTest, APageCanEndTheSheetWithItsOwnResult) {
    PROPSHEETPAGEA pages[] = {Page(first.Name(), &a)};
    PROPSHEETHEADERA header = Sheet(pages, 1, PSH_NOAPPLYNOW);
    presenter.Run([&](HWND sheet) {
        EXPECT_EQ(GetDlgItem(sheet, ID_APPLY_NOW), nullptr);
        EXPECT_EQ(GetDlgItem(sheet, IDHELP), nullptr);
        EXPECT_EQ(GetParent(a.hwnd), sheet);
        EndDialog(GetParent(a.hwnd), 42);
    });
    EXPECT_EQ(PropertySheetA(&header), 42);
    EXPECT_EQ(presenter.StepsLeft(), 0u);
}

TEST_F(PropertySheetTest, PressingAButtonFromAPageHappensAfterItsHandler) {
    PROPSHEETPAGEA pages[] = {Page(first.Name(), &a)};
    PROPSHEETHEADERA header = Sheet(pages, 1);
    a.onSetActive = [](HWND page) { SendMessageA(GetParent(page), PSM_PRESSBUTTON, PSBTN_OK, 0); };
    EXPECT_EQ(PropertySheetA(&header), 1);
    EXPECT_EQ(a.events, (std::vector<std::string>{"init", "active", "leave", "apply+close"}));
}

TEST_F(PropertySheetTest, SheetsThatCannotBeShownFailAtOnce) {
    PROPSHEETPAGEA missing[] = {Page(first.Name(), &a), Page("PS_NOWHERE", &b)};
    PROPSHEETHEADERA header = Sheet(missing, 2);
    EXPECT_EQ(PropertySheetA(&header), -1);
    PROPSHEETPAGEA old[] = {Page(first.Name(), &a)};
    old[0].dwSize = 36;  // older than any layout
    header = Sheet(old, 1);
    EXPECT_EQ(PropertySheetA(&header), -1);
    header = Sheet(old, 0);
    EXPECT_EQ(PropertySheetA(&header), -1);
    PROPSHEETPAGEA fine[] = {Page(first.Name(), &a)};
    header = Sheet(fine, 1, PSH_MODELESS);
    EXPECT_EQ(PropertySheetA(&header), -1);
    SetPresenter(nullptr);
    header = Sheet(fine, 1);
    EXPECT_EQ(PropertySheetA(&header), -1);
    EXPECT_TRUE(a.events.empty());
    EXPECT_TRUE(presenter.Dialogs().empty());
}

TEST_F(PropertySheetTest, WidePagesFromHandlesAndTheirCallbacks) {
    static int created;
    static int released;
    created = released = 0;
    UINT references = 0;
    PROPSHEETPAGEW page{};
    page.dwSize = PROPSHEETPAGE_V2_SIZE;
    page.dwFlags = PSP_USETITLE | PSP_USECALLBACK | PSP_USEREFPARENT;
    page.pszTemplate = u"ps_first";
    page.pszTitle = u"Terrestrial";
    page.pfnDlgProc = &PageProbe::Proc;
    page.lParam = reinterpret_cast<LPARAM>(&a);
    page.pcRefParent = &references;
    page.pfnCallback = [](HWND, UINT message, PROPSHEETPAGEW*) -> UINT {
        (message == PSPCB_CREATE ? created : released)++;
        return 1;
    };
    HPROPSHEETPAGE handle = CreatePropertySheetPageW(&page);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(references, 1u);
    PROPSHEETHEADERW header{};
    header.dwSize = sizeof header;
    header.pszCaption = u"Wide";
    header.nPages = 1;
    header.phpage = &handle;
    presenter.Ok();
    EXPECT_EQ(PropertySheetW(&header), 1);
    EXPECT_EQ(presenter.Dialogs()[0].Shown().Find(ID_SHEET_TABS)->items, (std::vector<std::string>{"Terrestrial"}));
    EXPECT_EQ(created, 1);
    EXPECT_EQ(released, 1) << "the sheet destroys the pages it was given";
    EXPECT_EQ(references, 0u);
    page.pszTemplate = u"PS_NOWHERE";
    EXPECT_EQ(CreatePropertySheetPageW(&page), nullptr);
}
