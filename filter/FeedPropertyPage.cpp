#include "filter/FeedPropertyPage.h"

#include <cstring>
#include <mutex>
#include <new>

#include "filter/FeedFilter.h"
#include "platform/ui/DialogApi.h"

namespace {

constexpr int kPageDialogId = 105;
constexpr int kPageTitleId = 100;
constexpr const char* kPageTitle = "Properties";

constexpr int kFileName = 1000;
constexpr int kFileStream = 1001;
constexpr int kBrowse = 1002;
constexpr int kLiveStream = 1003;
constexpr int kFeedList = 1004;
constexpr int kInputPin = 1005;

HINSTANCE PageResources() { return ModuleOfAddress(reinterpret_cast<const void*>(&PageResources)); }

DialogTemplate PageTemplate() {
    DialogTemplate page;
    page.style = WS_CHILD | DS_SETFONT;
    page.cx = 328;
    page.cy = 233;
    page.fontName = "MS Sans Serif";
    page.pointSize = 8;
    page.controls = {
        {IDC_STATIC, WC_STATIC, "Please select the digital TV Feed: hardware to use:", 7, 7, 161, 8, SS_LEFT, false},
        {IDC_STATIC, WC_STATIC, "#105", 220, 7, 101, 29, SS_BITMAP, false},
        {kLiveStream, WC_BUTTON, "&Livestream", 7, 24, 50, 10, BS_AUTORADIOBUTTON, false},
        {kFeedList, WC_LISTBOX, "", 26, 38, 295, 118,
         LBS_SORT | LBS_NOTIFY | WS_VSCROLL | WS_BORDER | LBS_NOINTEGRALHEIGHT | WS_TABSTOP, false},
        {kFileStream, WC_BUTTON, "&File Stream", 7, 168, 51, 10, BS_AUTORADIOBUTTON, false},
        {kFileName, WC_EDIT, "", 45, 185, 186, 14, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, false},
        {kBrowse, WC_BUTTON, "&Browse", 232, 185, 50, 14, BS_PUSHBUTTON | WS_TABSTOP, false},
        {kInputPin, WC_BUTTON, "&BDA compliant (or other TS input), connected to the input pin of this filter", 7, 206,
         243, 10, BS_AUTORADIOBUTTON, false},
    };
    return page;
}

// The module's own resources: the page's dialog and its title.
void RegisterPageResources() {
    static std::once_flag once;
    std::call_once(once, [] {
        HINSTANCE module = PageResources();
        RegisterDialogTemplate(module, MAKEINTRESOURCEA(kPageDialogId), PageTemplate());
        RegisterStringResource(module, kPageTitleId, kPageTitle);
    });
}

}  // namespace

CUnknown* CFeedPropertyPage::CreateInstance(IUnknown* outer, HRESULT* phr) {
    RegisterPageResources();
    CFeedPropertyPage* page = new (std::nothrow) CFeedPropertyPage(outer);
    if (!page && phr) *phr = E_OUTOFMEMORY;
    return page;
}

CFeedPropertyPage::CFeedPropertyPage(IUnknown* outer)
    : CBasePropertyPage(nullptr, outer, kPageDialogId, kPageTitleId, PageResources()),
      moduleCount_(KestrelModuleCounts()) {
    for (int32_t& position : m_listPositions) position = -1;
}

CFeedPropertyPage::~CFeedPropertyPage() {
    if (m_filter) m_filter->Release();
}

HRESULT CFeedPropertyPage::OnConnect(IUnknown* object) {
    if (!object) return E_POINTER;
    m_bDirty = TRUE;
    void* filter = nullptr;
    HRESULT hr = object->QueryInterface(CLSID_TSFeedFilter, &filter);
    if (m_filter) m_filter->Release();
    m_filter = SUCCEEDED(hr) ? static_cast<CFeedFilter*>(filter) : nullptr;
    return hr;
}

HRESULT CFeedPropertyPage::OnActivate() {
    if (!m_filter) return S_OK;
    for (uint32_t i = 0; i < CFeedEnumerator::kMaxFeeds; ++i) {
        const char* name = m_filter->ListedFeedName(i);
        if (!name) continue;
        LRESULT position = SendDlgItemMessageA(m_Dlg, kFeedList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        m_listPositions[i] = static_cast<int32_t>(position);
        SendDlgItemMessageA(m_Dlg, kFeedList, LB_SETITEMDATA, static_cast<WPARAM>(position), static_cast<LPARAM>(i));
    }

    uint32_t mode = 0;
    char text[kSourceTextSize] = {};
    HRESULT hr = static_cast<ITSFeedControl*>(m_filter)->GetMode(&mode, text);
    if (FAILED(hr)) return hr;
    switch (mode) {
    case kModeLiveFeed:
        CheckDlgButton(m_Dlg, kLiveStream, BST_CHECKED);
        CheckDlgButton(m_Dlg, kFileStream, BST_UNCHECKED);
        CheckDlgButton(m_Dlg, kInputPin, BST_UNCHECKED);
        break;
    case kModeFile:
        CheckDlgButton(m_Dlg, kFileStream, BST_CHECKED);
        CheckDlgButton(m_Dlg, kLiveStream, BST_UNCHECKED);
        CheckDlgButton(m_Dlg, kInputPin, BST_UNCHECKED);
        break;
    case kModePassThrough:
        CheckDlgButton(m_Dlg, kInputPin, BST_CHECKED);
        CheckDlgButton(m_Dlg, kLiveStream, BST_UNCHECKED);
        CheckDlgButton(m_Dlg, kFileStream, BST_UNCHECKED);
        break;
    default: break;
    }
    SetDlgItemTextA(m_Dlg, kFileName, text);
    return S_OK;
}

void CFeedPropertyPage::ApplyControls() {
    char text[kSourceTextSize] = {};
    GetDlgItemTextA(m_Dlg, kFileName, text, static_cast<int>(kSourceTextSize));
    auto* control = static_cast<ITSFeedControl*>(m_filter);
    if (IsDlgButtonChecked(m_Dlg, kLiveStream) == BST_CHECKED) control->SetMode(kModeLiveFeed, text);
    if (IsDlgButtonChecked(m_Dlg, kFileStream) == BST_CHECKED) control->SetMode(kModeFile, text);
    if (IsDlgButtonChecked(m_Dlg, kInputPin) == BST_CHECKED) control->SetMode(kModePassThrough, text);
}

HRESULT CFeedPropertyPage::OnApplyChanges() {
    if (m_filter) ApplyControls();
    return S_OK;
}

HRESULT CFeedPropertyPage::OnDisconnect() {
    // The page window may be gone already; then no control answers and nothing changes.
    if (m_filter) ApplyControls();
    return S_OK;
}

HRESULT CFeedPropertyPage::OnDeactivate() { return S_OK; }

INT_PTR CFeedPropertyPage::OnReceiveMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) return TRUE;
    return CBasePropertyPage::OnReceiveMessage(hwnd, message, wParam, lParam);
}

HRESULT CFeedPropertyPage::Apply() {
    HRESULT hr = CBasePropertyPage::Apply();
    if (m_bObjectSet) m_bDirty = TRUE;
    return hr;
}
