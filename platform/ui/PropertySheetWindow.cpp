#include "platform/ui/PropertySheetWindow.h"

#include <algorithm>
#include <cstring>

#include "platform/com/WideString.h"
#include "platform/system/ErrorText.h"
#include "platform/ui/DialogApi.h"
#include "platform/ui/DialogRuntime.h"
#include "platform/ui/Presenter.h"

namespace {

// Layout of the sheet around its pages, in pixels.
constexpr int kMargin = 10;
constexpr int kTabInset = 4;
constexpr int kTabStrip = 26;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kButtonGap = 6;

std::string TextOf(const char* s) { return s ? s : ""; }
std::string TextOf(const WCHAR* s) { return s ? WideToUtf8(s) : ""; }

template <class Description>
SheetPage* MakePage(const Description* page, bool wide) {
    if (!page || page->dwSize < PROPSHEETPAGE_V1_SIZE) return nullptr;
    auto sheetPage = std::make_unique<SheetPage>();
    sheetPage->wide = wide;
    std::memcpy(sheetPage->description, page, sizeof(PROPSHEETPAGEA));
    if (page->dwFlags & PSP_DLGINDIRECT) {
        auto* dialog = static_cast<const DialogTemplate*>(page->pResource);
        if (!dialog) return nullptr;
        sheetPage->dialog = std::make_shared<const DialogTemplate>(*dialog);
        sheetPage->templateName = dialog->caption;
    } else {
        ResourceName name = ResourceName::From(page->pszTemplate);
        sheetPage->dialog = ResourceRegistry::Instance().FindDialog(page->hInstance, name);
        if (!sheetPage->dialog) {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return nullptr;
        }
        sheetPage->templateName = name.Describe();
    }
    sheetPage->title = sheetPage->dialog->caption;
    if ((page->dwFlags & PSP_USETITLE) && page->pszTitle) {
        if (IS_INTRESOURCE(page->pszTitle)) {
            char buffer[256];
            LoadStringA(page->hInstance, static_cast<UINT>(reinterpret_cast<uintptr_t>(page->pszTitle)), buffer,
                        sizeof buffer);
            sheetPage->title = buffer;
        } else {
            sheetPage->title = TextOf(page->pszTitle);
        }
    }
    if ((page->dwFlags & PSP_USEREFPARENT) && page->pcRefParent) ++*page->pcRefParent;
    return sheetPage.release();
}

void DestroyPage(SheetPage* page) {
    if (!page) return;
    page->CallbackRelease();
    PROPSHEETPAGEA& a = page->A();
    if ((a.dwFlags & PSP_USEREFPARENT) && a.pcRefParent && *a.pcRefParent > 0) --*a.pcRefParent;
    delete page;
}

int PixelsAcross(short du) { return du * kDialogCharWidth / 4; }
int PixelsDown(short du) { return du * kDialogCharHeight / 8; }

}  // namespace

bool SheetPage::CallbackCreate() {
    if (!(Flags() & PSP_USECALLBACK)) return true;
    if (wide) return !W().pfnCallback || W().pfnCallback(nullptr, PSPCB_CREATE, &W()) != 0;
    return !A().pfnCallback || A().pfnCallback(nullptr, PSPCB_CREATE, &A()) != 0;
}

void SheetPage::CallbackRelease() {
    if (!(Flags() & PSP_USECALLBACK)) return;
    if (wide) {
        if (W().pfnCallback) W().pfnCallback(nullptr, PSPCB_RELEASE, &W());
    } else if (A().pfnCallback) {
        A().pfnCallback(nullptr, PSPCB_RELEASE, &A());
    }
}

SheetPage* SheetPage::From(const PROPSHEETPAGEA* page) { return MakePage(page, false); }
SheetPage* SheetPage::From(const PROPSHEETPAGEW* page) { return MakePage(page, true); }

PropertySheetWindow::PropertySheetWindow(const Header& header, std::vector<SheetPage*> pages, RECT rect, RECT pageArea)
    : DialogWindow(header.caption, header.caption, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, rect, nullptr),
      header_(header),
      pages_(std::move(pages)),
      pageArea_(pageArea) {}

PropertySheetWindow::~PropertySheetWindow() {
    for (SheetPage* page : pages_) DestroyPage(page);
}

void PropertySheetWindow::BuildControls() {
    RECT tabs{kMargin, kMargin, pageArea_.right + kTabInset, pageArea_.bottom + kTabInset};
    Window* strip = AddChild(CreateControl(WC_TABCONTROL, ID_SHEET_TABS, WS_CHILD | WS_VISIBLE | WS_TABSTOP, "", tabs));
    for (SheetPage* page : pages_) {
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = page->title.data();
        DialogRuntime::Send(strip, TCM_INSERTITEMA, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    }

    struct ButtonLayout {
        int id;
        const char* text;
        bool wanted;
    };
    const ButtonLayout buttons[] = {
        {IDOK, "OK", true},
        {IDCANCEL, "Cancel", true},
        {ID_APPLY_NOW, "&Apply", !(header_.flags & PSH_NOAPPLYNOW)},
        {IDHELP, "Help", (header_.flags & PSH_HASHELP) != 0},
    };
    int count = 0;
    for (const ButtonLayout& b : buttons) count += b.wanted ? 1 : 0;
    int top = tabs.bottom + kMargin;
    int x = tabs.right - count * kButtonWidth - (count - 1) * kButtonGap;
    for (const ButtonLayout& b : buttons) {
        if (!b.wanted) continue;
        DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (b.id == IDOK ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        // Apply waits for a change; Help for a page that has help.
        if (b.id == ID_APPLY_NOW || b.id == IDHELP) style |= WS_DISABLED;
        AddChild(CreateControl(WC_BUTTON, b.id, style, b.text, RECT{x, top, x + kButtonWidth, top + kButtonHeight}));
        x += kButtonWidth + kButtonGap;
    }
}

INT_PTR PropertySheetWindow::Run(const Header& header, std::vector<SheetPage*> pages) {
    Presenter* presenter = GetPresenter();
    bool usable = presenter && !pages.empty() && !(header.flags & PSH_MODELESS) &&
                  std::none_of(pages.begin(), pages.end(), [](SheetPage* p) { return p == nullptr; });
    if (!usable) {
        if (!presenter) SetLastError(ERROR_NOT_SUPPORTED);
        for (SheetPage* page : pages) DestroyPage(page);
        return -1;
    }

    int pageWidth = 0;
    int pageHeight = 0;
    for (SheetPage* page : pages) {
        pageWidth = std::max(pageWidth, PixelsAcross(page->dialog->cx));
        pageHeight = std::max(pageHeight, PixelsDown(page->dialog->cy));
    }
    RECT pageArea{kMargin + kTabInset, kMargin + kTabStrip, kMargin + kTabInset + pageWidth,
                  kMargin + kTabStrip + pageHeight};
    int width = pageArea.right + kTabInset + kMargin;
    int height = pageArea.bottom + kTabInset + kMargin + kButtonHeight + kMargin;
    RECT rect{0, 0, width, height};
    Window* owner = Window::FromHandle(header.owner);
    RECT around = owner ? owner->ScreenRect() : RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    rect.left = around.left + ((around.right - around.left) - width) / 2;
    rect.top = around.top + ((around.bottom - around.top) - height) / 2;
    rect.right = rect.left + width;
    rect.bottom = rect.top + height;

    Header shown = header;
    if (header.flags & PSH_PROPTITLE) shown.caption = header.caption + " Properties";
    std::unique_ptr<PropertySheetWindow> sheet(new PropertySheetWindow(shown, std::move(pages), rect, pageArea));
    auto* window = static_cast<PropertySheetWindow*>(DialogRuntime::AdoptTopLevel(std::move(sheet)));
    window->SetOwner(header.owner);
    window->BuildControls();
    if (header.icon) DialogRuntime::Send(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(header.icon));

    int start = static_cast<int>(std::min<size_t>(header.startPage, window->pages_.size() - 1));
    if (header.flags & PSH_USEPSTARTPAGE) {
        start = 0;
        for (size_t i = 0; i < window->pages_.size(); ++i)
            if (window->pages_[i]->title == header.startTitle) start = static_cast<int>(i);
    }
    HWND handle = window->Handle();
    return DialogRuntime::RunModalLoop(presenter, window, header.owner, [window, handle, start, &header] {
        if (header.flags & PSH_USECALLBACK && header.callback) header.callback(handle, PSCB_INITIALIZED, 0);
        if (Window::FromHandle(handle)) window->Activate(start, false);
    });
}

LRESULT PropertySheetWindow::NotifyPage(int index, UINT code, LPARAM lParam) {
    if (index < 0 || index >= static_cast<int>(pages_.size())) return 0;
    Window* page = Window::FromHandle(pages_[static_cast<size_t>(index)]->window);
    if (!page) return 0;
    PSHNOTIFY nm{};
    nm.hdr.hwndFrom = Handle();
    nm.hdr.idFrom = 0;
    nm.hdr.code = code;
    nm.lParam = lParam;
    return DialogRuntime::Send(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&nm));
}

bool PropertySheetWindow::Activate(int index, bool leavingAsked) {
    if (index < 0 || index >= static_cast<int>(pages_.size())) return false;
    if (index == current_) return true;
    if (current_ >= 0 && !leavingAsked && NotifyPage(current_, PSN_KILLACTIVE, 0)) return false;

    SheetPage* page = pages_[static_cast<size_t>(index)];
    if (!IsWindow(page->window)) {
        if (!page->CallbackCreate()) return false;
        DialogTemplate dialog = *page->dialog;
        dialog.style = (dialog.style & ~(WS_POPUP | WS_CAPTION | WS_VISIBLE)) | WS_CHILD;
        DialogWindow* built = DialogRuntime::Build(dialog, page->templateName, Handle(), page->Proc(), false);
        built->SetRect(pageArea_);
        page->window = built->Handle();
        DialogRuntime::Initialise(built, reinterpret_cast<LPARAM>(page->description));
        if (!IsWindow(page->window)) return false;
    }
    if (current_ >= 0) ShowWindow(pages_[static_cast<size_t>(current_)]->window, SW_HIDE);
    current_ = index;
    ShowWindow(page->window, SW_SHOW);
    SendDlgItemMessageA(Handle(), ID_SHEET_TABS, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    if (HWND help = GetDlgItem(Handle(), IDHELP)) EnableWindow(help, (page->Flags() & PSP_HASHELP) ? TRUE : FALSE);
    NotifyPage(index, PSN_SETACTIVE, 0);
    return true;
}

bool PropertySheetWindow::Apply(bool closing) {
    if (current_ >= 0 && NotifyPage(current_, PSN_KILLACTIVE, 0)) return false;
    for (int i = 0; i < static_cast<int>(pages_.size()); ++i) {
        if (!IsWindow(pages_[static_cast<size_t>(i)]->window)) continue;
        LRESULT answer = NotifyPage(i, PSN_APPLY, closing ? TRUE : FALSE);
        if (answer == PSNRET_INVALID) {
            Activate(i, true);
            return false;
        }
        if (answer == PSNRET_INVALID_NOCHANGEPAGE) return false;
    }
    applied_ = true;
    changed_.clear();
    SetApplyEnabled(false);
    return true;
}

void PropertySheetWindow::Cancel() {
    if (current_ >= 0 && NotifyPage(current_, PSN_QUERYCANCEL, 0)) return;
    for (int i = 0; i < static_cast<int>(pages_.size()); ++i)
        if (IsWindow(pages_[static_cast<size_t>(i)]->window)) NotifyPage(i, PSN_RESET, 0);
    if (!Ended()) End(applied_ ? 1 : 0);
}

void PropertySheetWindow::SetApplyEnabled(bool enabled) {
    if (HWND apply = GetDlgItem(Handle(), ID_APPLY_NOW)) EnableWindow(apply, enabled ? TRUE : FALSE);
}

LRESULT PropertySheetWindow::DefaultDialogProcess(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            if (Apply(true) && !Ended()) End(1);
            return 0;
        case IDCANCEL: Cancel(); return 0;
        case ID_APPLY_NOW: Apply(false); return 0;
        case IDHELP: NotifyPage(current_, PSN_HELP, 0); return 0;
        default: return 0;
        }
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (!header || header->idFrom != static_cast<UINT_PTR>(ID_SHEET_TABS)) return 0;
        if (header->code == TCN_SELCHANGING) return NotifyPage(current_, PSN_KILLACTIVE, 0) ? TRUE : FALSE;
        if (header->code == TCN_SELCHANGE) {
            int wanted = static_cast<int>(SendDlgItemMessageA(Handle(), ID_SHEET_TABS, TCM_GETCURSEL, 0, 0));
            if (!Activate(wanted, true))
                SendDlgItemMessageA(Handle(), ID_SHEET_TABS, TCM_SETCURSEL, static_cast<WPARAM>(current_), 0);
        }
        return 0;
    }
    case PSM_SETCURSEL: {
        int index = static_cast<int>(wParam);
        for (size_t i = 0; lParam && i < pages_.size(); ++i)
            if (reinterpret_cast<LPARAM>(pages_[i]) == lParam) index = static_cast<int>(i);
        return Activate(index, false) ? TRUE : FALSE;
    }
    case PSM_CHANGED:
        changed_.insert(reinterpret_cast<HWND>(wParam));
        SetApplyEnabled(true);
        return 0;
    case PSM_UNCHANGED:
        changed_.erase(reinterpret_cast<HWND>(wParam));
        if (changed_.empty()) SetApplyEnabled(false);
        return 0;
    case PSM_PRESSBUTTON: {
        // Pressed once the current message is done, as the desktop does it.
        int id = wParam == PSBTN_OK ? IDOK
                 : wParam == PSBTN_CANCEL ? IDCANCEL
                 : wParam == PSBTN_APPLYNOW ? ID_APPLY_NOW
                 : wParam == PSBTN_HELP ? IDHELP
                                         : 0;
        if (id) PostMessageA(Handle(), WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED), 0);
        return 0;
    }
    case PSM_GETCURRENTPAGEHWND:
        return current_ >= 0 ? reinterpret_cast<LRESULT>(pages_[static_cast<size_t>(current_)]->window) : 0;
    case PSM_GETTABCONTROL: return reinterpret_cast<LRESULT>(GetDlgItem(Handle(), ID_SHEET_TABS));
    case PSM_SETTITLEA:
        DefaultProcess(WM_SETTEXT, 0, lParam);
        return 0;
    default: return DialogWindow::DefaultDialogProcess(message, wParam, lParam);
    }
}

namespace {

template <class HeaderType, class PageType>
INT_PTR RunSheet(const HeaderType* header) {
    if (!header || header->dwSize < PROPSHEETHEADER_V1_SIZE) return -1;
    PropertySheetWindow::Header h;
    h.flags = header->dwFlags;
    h.owner = IsWindow(header->hwndParent) ? header->hwndParent : nullptr;
    h.module = header->hInstance;
    if (header->dwFlags & PSH_USEHICON) h.icon = header->hIcon;
    h.caption = TextOf(header->pszCaption);
    if (header->dwFlags & PSH_USEPSTARTPAGE)
        h.startTitle = TextOf(header->pStartPage);
    else
        h.startPage = header->nStartPage;
    h.callback = header->pfnCallback;
    std::vector<SheetPage*> pages;
    for (UINT i = 0; i < header->nPages; ++i) {
        if (header->dwFlags & PSH_PROPSHEETPAGE) {
            auto* page = reinterpret_cast<const PageType*>(reinterpret_cast<const unsigned char*>(header->ppsp) +
                                                           i * sizeof(PageType));
            pages.push_back(SheetPage::From(page));
        } else {
            pages.push_back(header->phpage ? reinterpret_cast<SheetPage*>(header->phpage[i]) : nullptr);
        }
    }
    return PropertySheetWindow::Run(h, std::move(pages));
}

}  // namespace

INT_PTR PropertySheetA(const PROPSHEETHEADERA* header) { return RunSheet<PROPSHEETHEADERA, PROPSHEETPAGEA>(header); }

INT_PTR PropertySheetW(const PROPSHEETHEADERW* header) { return RunSheet<PROPSHEETHEADERW, PROPSHEETPAGEW>(header); }

HPROPSHEETPAGE CreatePropertySheetPageA(const PROPSHEETPAGEA* page) {
    return reinterpret_cast<HPROPSHEETPAGE>(SheetPage::From(page));
}

HPROPSHEETPAGE CreatePropertySheetPageW(const PROPSHEETPAGEW* page) {
    return reinterpret_cast<HPROPSHEETPAGE>(SheetPage::From(page));
}

BOOL DestroyPropertySheetPage(HPROPSHEETPAGE page) {
    if (!page) return FALSE;
    DestroyPage(reinterpret_cast<SheetPage*>(page));
    return TRUE;
}
