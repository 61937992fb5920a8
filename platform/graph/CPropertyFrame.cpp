#include "platform/graph/CPropertyFrame.h"

#include <algorithm>

#include "platform/com/ComRuntime.h"
#include "platform/com/TaskMemory.h"
#include "platform/com/WideString.h"
#include "platform/ui/DialogApi.h"
#include "platform/ui/DialogTemplate.h"

namespace {

constexpr LCID kEnglishUnitedStates = 0x0409;
// Layout in dialog units around the largest page.
constexpr short kMargin = 7;
constexpr short kTabStrip = 16;
constexpr short kButtonWidth = 50;
constexpr short kButtonHeight = 14;
constexpr short kButtonGap = 4;

short AcrossUnits(LONG pixels) { return static_cast<short>((pixels * 4 + kDialogCharWidth - 1) / kDialogCharWidth); }
short DownUnits(LONG pixels) { return static_cast<short>((pixels * 8 + kDialogCharHeight - 1) / kDialogCharHeight); }

}  // namespace

HRESULT CPropertyFrame::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IPropertyPageSite) return GetInterface(static_cast<IPropertyPageSite*>(this), ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CPropertyFrame::AddRef() { return static_cast<ULONG>(ref_.fetch_add(1) + 1); }

ULONG CPropertyFrame::Release() {
    long left = ref_.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return static_cast<ULONG>(left < 0 ? 0 : left);
}

HRESULT CPropertyFrame::OnStatusChange(DWORD flags) {
    if ((flags & PROPPAGESTATUS_DIRTY) && IsWindow(frame_)) EnableWindow(GetDlgItem(frame_, ID_APPLY_NOW), TRUE);
    return S_OK;
}

HRESULT CPropertyFrame::GetLocaleID(LCID* locale) {
    if (!locale) return E_POINTER;
    *locale = kEnglishUnitedStates;
    return S_OK;
}

HRESULT CPropertyFrame::GetPageContainer(IUnknown** container) {
    if (container) *container = nullptr;
    return E_NOTIMPL;
}

HRESULT CPropertyFrame::TranslateAccelerator(MSG*) { return S_FALSE; }

HRESULT CPropertyFrame::Show(HWND owner, const WCHAR* caption, IUnknown* const* objects, ULONG objectCount,
                             IPropertyPage* const* pages, ULONG pageCount) {
    if ((objectCount && !objects) || (pageCount && !pages)) return E_POINTER;
    if (pageCount == 0) return E_INVALIDARG;
    for (ULONG i = 0; i < pageCount; ++i)
        if (!pages[i]) return E_POINTER;

    auto* frame = new CPropertyFrame;
    for (ULONG i = 0; i < pageCount; ++i) {
        IPropertyPage* page = pages[i];
        page->AddRef();
        frame->pages_.push_back(page);
        page->SetPageSite(frame);
        page->SetObjects(objectCount, const_cast<IUnknown**>(objects));
        PROPPAGEINFO info{};
        std::string title;
        if (SUCCEEDED(page->GetPageInfo(&info))) {
            title = WideToUtf8(info.pszTitle);
            CoTaskMemFree(info.pszTitle);
            CoTaskMemFree(info.pszDocString);
            CoTaskMemFree(info.pszHelpFile);
            frame->pageSize_.cx = std::max(frame->pageSize_.cx, info.size.cx);
            frame->pageSize_.cy = std::max(frame->pageSize_.cy, info.size.cy);
        }
        frame->titles_.push_back(title);
    }

    short pageWidth = AcrossUnits(frame->pageSize_.cx);
    short pageHeight = DownUnits(frame->pageSize_.cy);
    DialogTemplate dialog;
    dialog.caption = WideToUtf8(caption) + " Properties";
    dialog.style |= DS_CENTER;
    dialog.cx = static_cast<short>(pageWidth + 4 * kMargin);
    dialog.cy = static_cast<short>(pageHeight + kTabStrip + 4 * kMargin + kButtonHeight);
    dialog.controls.push_back(ControlTemplate{ID_FRAME_TABS, WC_TABCONTROL, "", kMargin, kMargin,
                                              static_cast<short>(pageWidth + 2 * kMargin),
                                              static_cast<short>(pageHeight + kTabStrip + kMargin), WS_TABSTOP, false});
    short buttonTop = static_cast<short>(dialog.cy - kMargin - kButtonHeight);
    short x = static_cast<short>(dialog.cx - kMargin - 3 * kButtonWidth - 2 * kButtonGap);
    const struct {
        int id;
        const char* text;
        DWORD style;
    } buttons[] = {{IDOK, "OK", BS_DEFPUSHBUTTON | WS_TABSTOP},
                   {IDCANCEL, "Cancel", BS_PUSHBUTTON | WS_TABSTOP},
                   {ID_APPLY_NOW, "&Apply", BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED}};
    for (const auto& b : buttons) {
        dialog.controls.push_back(
            ControlTemplate{b.id, WC_BUTTON, b.text, x, buttonTop, kButtonWidth, kButtonHeight, b.style, false});
        x = static_cast<short>(x + kButtonWidth + kButtonGap);
    }
    frame->pageRect_ = RECT{(kMargin + kMargin / 2) * kDialogCharWidth / 4, (kMargin + kTabStrip) * kDialogCharHeight / 8,
                            0, 0};
    frame->pageRect_.right = frame->pageRect_.left + frame->pageSize_.cx;
    frame->pageRect_.bottom = frame->pageRect_.top + frame->pageSize_.cy;

    INT_PTR shown = DialogBoxIndirectParamA(nullptr, &dialog, owner, &CPropertyFrame::FrameProc,
                                            reinterpret_cast<LPARAM>(frame));

    for (IPropertyPage* page : frame->pages_) {
        page->SetObjects(0, nullptr);
        page->SetPageSite(nullptr);
        page->Release();
    }
    frame->pages_.clear();
    frame->Release();
    return shown == -1 ? E_FAIL : S_OK;
}

INT_PTR CPropertyFrame::FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
    auto* frame = reinterpret_cast<CPropertyFrame*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    return frame ? frame->OnMessage(hwnd, message, wParam, lParam) : FALSE;
}

void CPropertyFrame::ActivatePage(size_t index) {
    if (index >= pages_.size() || static_cast<int>(index) == current_) return;
    if (current_ >= 0) pages_[static_cast<size_t>(current_)]->Deactivate();
    current_ = static_cast<int>(index);
    IPropertyPage* page = pages_[index];
    if (SUCCEEDED(page->Activate(frame_, &pageRect_, TRUE))) page->Show(SW_SHOW);
    SendDlgItemMessageA(frame_, ID_FRAME_TABS, TCM_SETCURSEL, index, 0);
}

bool CPropertyFrame::ApplyAll() {
    for (IPropertyPage* page : pages_) {
        if (page->IsPageDirty() != S_OK) continue;
        if (FAILED(page->Apply())) return false;
    }
    if (IsWindow(frame_)) EnableWindow(GetDlgItem(frame_, ID_APPLY_NOW), FALSE);
    return true;
}

INT_PTR CPropertyFrame::OnMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        frame_ = hwnd;
        for (std::string& title : titles_) {
            TCITEMA item{};
            item.mask = TCIF_TEXT;
            item.pszText = title.data();
            SendDlgItemMessageA(hwnd, ID_FRAME_TABS, TCM_INSERTITEMA, static_cast<WPARAM>(-1),
                                reinterpret_cast<LPARAM>(&item));
        }
        // Pages that were dirty from the start can be applied at once.
        for (IPropertyPage* page : pages_)
            if (page->IsPageDirty() == S_OK) EnableWindow(GetDlgItem(hwnd, ID_APPLY_NOW), TRUE);
        ActivatePage(0);
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            // A page that cannot apply keeps the frame open, so nothing typed is lost.
            if (ApplyAll()) EndDialog(hwnd, IDOK);
            return TRUE;
        case IDCANCEL: EndDialog(hwnd, IDCANCEL); return TRUE;
        case ID_APPLY_NOW: ApplyAll(); return TRUE;
        default: return FALSE;
        }
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header && header->idFrom == static_cast<UINT_PTR>(ID_FRAME_TABS) && header->code == TCN_SELCHANGE) {
            LRESULT wanted = SendDlgItemMessageA(hwnd, ID_FRAME_TABS, TCM_GETCURSEL, 0, 0);
            if (wanted >= 0) ActivatePage(static_cast<size_t>(wanted));
            return TRUE;
        }
        return FALSE;
    }
    case WM_DESTROY:
        if (current_ >= 0) pages_[static_cast<size_t>(current_)]->Deactivate();
        current_ = -1;
        frame_ = nullptr;
        return TRUE;
    default: return FALSE;
    }
}

HRESULT OleCreatePropertyFrame(HWND owner, UINT /*x*/, UINT /*y*/, LPCOLESTR caption, ULONG objectCount,
                               IUnknown** objects, ULONG pageCount, const CLSID* pageClsids, LCID /*locale*/,
                               DWORD /*reserved*/, void* /*reserved2*/) {
    if (pageCount && !pageClsids) return E_POINTER;
    std::vector<IPropertyPage*> pages;
    HRESULT hr = S_OK;
    for (ULONG i = 0; i < pageCount && SUCCEEDED(hr); ++i) {
        IPropertyPage* page = nullptr;
        hr = CoCreateInstance(pageClsids[i], nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                              reinterpret_cast<void**>(&page));
        if (SUCCEEDED(hr)) pages.push_back(page);
    }
    if (SUCCEEDED(hr)) hr = CPropertyFrame::Show(owner, caption, objects, objectCount, pages.data(), pageCount);
    for (IPropertyPage* page : pages) page->Release();
    return hr;
}
