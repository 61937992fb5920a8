// Property sheets: pages created on first show, activation, apply, cancel and help.
#include "tests/platform/ui/UiTestSupport.h"

namespace {

// One page's view of the sheet: what it was told, and how it answers.
struct PageProbe {
    Texts events;
    LRESULT applyAnswer = PSNRET_NOERROR;
    HWND hwnd = nullptr;
    std::function<void(HWND)> onSetActive;

    static INT_PTR Proc(HWND hwnd, UINT message, WPARAM, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            auto* self = reinterpret_cast<PageProbe*>(reinterpret_cast<const PROPSHEETPAGEA*>(lParam)->lParam);
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
            self->hwnd = hwnd;
            self->events.push_back("init");
            return TRUE;
        }
        auto* self = reinterpret_cast<PageProbe*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (!self || message != WM_NOTIFY) return FALSE;
        auto* nm = reinterpret_cast<PSHNOTIFY*>(lParam);
        const UINT code = nm->hdr.code;
        const char* name = code == PSN_SETACTIVE ? "active" : code == PSN_KILLACTIVE ? "leave" : code == PSN_RESET ? "reset"
                         : code == PSN_HELP ? "help" : code == PSN_APPLY ? (nm->lParam ? "apply+close" : "apply") : nullptr;
        if (!name) return FALSE;
        self->events.push_back(name);
        if (code == PSN_APPLY) SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, self->applyAnswer);
        if (code == PSN_SETACTIVE && self->onSetActive) self->onSetActive(hwnd);
        return TRUE;
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

class PropertySheetTest : public ScriptedTest {
protected:
    ScopedTemplate first{"PS_FIRST", MakeDialog("Satellite", {Control(200, WC_EDIT, "", WS_TABSTOP)})};
    ScopedTemplate second{"PS_SECOND", MakeDialog("Cable", {Control(300, WC_EDIT, "")})};
    PageProbe a, b;
};

}  // namespace

TEST_F(PropertySheetTest, PagesAreCreatedWhenFirstShownAndAppliedOnOk) {
    PROPSHEETPAGEA pages[] = {Page(first.Name(), &a, PSP_HASHELP), Page(second.Name(), &b)};
    PROPSHEETHEADERA header = Sheet(pages, 2, PSH_PROPTITLE | PSH_HASHELP);
    presenter
        .Run([&](HWND) {
            EXPECT_EQ(a.events, (Texts{"init", "active"}));
            EXPECT_TRUE(b.events.empty()) << "not shown yet, not created yet";
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
    EXPECT_EQ(a.events, (Texts{"init", "active", "help", "leave", "apply+close"}));
    EXPECT_EQ(b.events, (Texts{"init", "active", "leave", "apply+close"}));
    ASSERT_EQ(presenter.Dialogs().size(), 1u);
    const auto& shown = presenter.Dialogs()[0];
    EXPECT_EQ(shown.Shown().caption, "Feed Properties");
    EXPECT_EQ(shown.Shown().Find(ID_SHEET_TABS)->items, (Texts{"Satellite", "Cable"}));
    EXPECT_EQ(shown.Shown().Find(200)->owner, "PS_FIRST");
    EXPECT_EQ(shown.Last().Find(300)->text, "346");
    EXPECT_EQ(shown.Last().Find(200), nullptr) << "a hidden page is not on show";
    EXPECT_TRUE(presenter.Problems().empty());
}

TEST_F(PropertySheetTest, ApplyNowWaitsForAChangeAndAnInvalidPageKeepsTheSheetOpen) {
    PROPSHEETPAGEA pages[] = {Page(first.Name(), &a), Page(second.Name(), &b)};
    PROPSHEETHEADERA header = Sheet(pages, 1);
    presenter.Click(ID_APPLY_NOW)
        .Run([&](HWND sheet) { SendMessageA(sheet, PSM_CHANGED, reinterpret_cast<WPARAM>(a.hwnd), 0); })
        .Click(ID_APPLY_NOW)
        .Cancel();
    EXPECT_EQ(PropertySheetA(&header), 1) << "applied before the cancel";
    EXPECT_EQ(a.events, (Texts{"init", "active", "leave", "apply", "reset"}));
    EXPECT_EQ(presenter.Problems(), (Texts{"Feed: click 12321: the control is disabled"}));
    EXPECT_FALSE(presenter.Dialogs()[0].Last().Find(ID_APPLY_NOW)->enabled) << "disabled again once applied";

    a.events.clear();
    header = Sheet(pages, 2);
    header.nStartPage = 1;
    b.applyAnswer = PSNRET_INVALID_NOCHANGEPAGE;
    presenter.Ok().Run([&](HWND) { b.applyAnswer = PSNRET_NOERROR; }).Cancel();
    EXPECT_EQ(PropertySheetA(&header), 0);
    EXPECT_TRUE(a.events.empty()) << "the start page was the second";
    EXPECT_EQ(b.events, (Texts{"init", "active", "leave", "apply+close", "reset"}));
}

TEST_F(PropertySheetTest, APageCanPressButtonsOrEndTheSheetWithItsOwnResult) {
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

    // The press waits until the page's handler has returned.
    a.events.clear();
    a.onSetActive = [](HWND page) { SendMessageA(GetParent(page), PSM_PRESSBUTTON, PSBTN_OK, 0); };
    EXPECT_EQ(PropertySheetA(&header), 1);
    EXPECT_EQ(a.events, (Texts{"init", "active", "leave", "apply+close"}));
}

TEST_F(PropertySheetTest, SheetsThatCannotBeShownFailAtOnce) {
    PROPSHEETPAGEA pages[] = {Page(first.Name(), &a), Page("PS_NOWHERE", &b)};
    PROPSHEETHEADERA header = Sheet(pages, 2);
    EXPECT_EQ(PropertySheetA(&header), -1) << "a page without a template";
    header = Sheet(pages, 0);
    EXPECT_EQ(PropertySheetA(&header), -1) << "no pages";
    header = Sheet(pages, 1, PSH_MODELESS);
    EXPECT_EQ(PropertySheetA(&header), -1);
    pages[0].dwSize = 36;  // older than any layout
    header = Sheet(pages, 1);
    EXPECT_EQ(PropertySheetA(&header), -1);
    pages[0].dwSize = PROPSHEETPAGE_V2_SIZE;
    SetPresenter(nullptr);
    EXPECT_EQ(PropertySheetA(&header), -1);
    EXPECT_TRUE(a.events.empty());
    EXPECT_TRUE(presenter.Dialogs().empty());
}

TEST_F(PropertySheetTest, WidePagesFromHandlesAndTheirCallbacks) {
    static int created, released;
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
        return ++(message == PSPCB_CREATE ? created : released), 1;
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
    EXPECT_EQ(presenter.Dialogs()[0].Shown().Find(ID_SHEET_TABS)->items, (Texts{"Terrestrial"}));
    EXPECT_EQ(created, 1);
    EXPECT_EQ(released, 1) << "the sheet destroys the pages it was given";
    EXPECT_EQ(references, 0u);
    page.pszTemplate = u"PS_NOWHERE";
    EXPECT_EQ(CreatePropertySheetPageW(&page), nullptr);
}
