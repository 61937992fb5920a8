#include "platform/graph/CBasePropertyPage.h"

#include "platform/com/WideString.h"
#include "platform/ui/DialogApi.h"

namespace {
constexpr int kTitleCapacity = 256;
}

CBasePropertyPage::CBasePropertyPage(const char* name, IUnknown* outer, int dialogId, int titleId,
                                     HINSTANCE resources)
    : CUnknown(name, outer), m_DialogId(dialogId), m_TitleId(titleId), m_hResources(resources) {}

CBasePropertyPage::~CBasePropertyPage() {
    if (m_hwnd) DestroyWindow(m_hwnd);
    if (m_pPageSite) m_pPageSite->Release();
}

HRESULT CBasePropertyPage::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IPropertyPage) return GetInterface(static_cast<IPropertyPage*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

ULONG CBasePropertyPage::NonDelegatingRelease() {
    long left = ref_.fetch_sub(1) - 1;
    if (left > 0) return static_cast<ULONG>(left);
    // Keep the object alive through the calls below, which may take references.
    ref_.store(1);
    if (m_pPageSite) SetPageSite(nullptr);
    if (m_bObjectSet) SetObjects(0, nullptr);
    delete this;
    return 0;
}

INT_PTR CBasePropertyPage::OnReceiveMessage(HWND, UINT, WPARAM, LPARAM) { return 0; }

INT_PTR CBasePropertyPage::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        if (auto* page = reinterpret_cast<CBasePropertyPage*>(lParam)) page->m_Dlg = hwnd;
    }
    auto* page = reinterpret_cast<CBasePropertyPage*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    return page ? page->OnReceiveMessage(hwnd, message, wParam, lParam) : 0;
}

HRESULT CBasePropertyPage::SetPageSite(IPropertyPageSite* site) {
    if (site) {
        if (m_pPageSite) return E_UNEXPECTED;
        m_pPageSite = site;
        m_pPageSite->AddRef();
        return S_OK;
    }
    if (!m_pPageSite) return E_UNEXPECTED;
    IPropertyPageSite* old = m_pPageSite;
    m_pPageSite = nullptr;
    old->Release();
    return S_OK;
}

HRESULT CBasePropertyPage::Activate(HWND parent, LPCRECT rect, BOOL /*modal*/) {
    if (!rect) return E_POINTER;
    if (!m_bObjectSet || m_hwnd) return E_UNEXPECTED;
    m_hwnd = CreateDialogParamA(m_hResources, MAKEINTRESOURCEA(static_cast<WORD>(m_DialogId)), parent,
                                &CBasePropertyPage::DialogProc, reinterpret_cast<LPARAM>(this));
    if (!m_hwnd) return E_OUTOFMEMORY;
    OnActivate();
    Move(rect);
    return Show(SW_SHOWNORMAL);
}

HRESULT CBasePropertyPage::Deactivate() {
    if (!m_hwnd) return E_UNEXPECTED;
    HRESULT hr = OnDeactivate();
    HWND window = m_hwnd;
    m_hwnd = nullptr;
    DestroyWindow(window);
    return FAILED(hr) ? hr : S_OK;
}

HRESULT CBasePropertyPage::GetPageInfo(PROPPAGEINFO* info) {
    if (!info) return E_POINTER;
    char title[kTitleCapacity];
    LoadStringA(m_hResources, static_cast<UINT>(m_TitleId), title, kTitleCapacity);
    std::u16string wide = WideFromUtf8(title);
    HRESULT hr = AMGetWideString(wide.c_str(), &info->pszTitle);
    if (FAILED(hr)) return hr;
    info->cb = sizeof(PROPPAGEINFO);
    info->size = SIZE{0, 0};
    auto dialog =
        ResourceRegistry::Instance().FindDialog(m_hResources, ResourceName(static_cast<WORD>(m_DialogId)));
    if (dialog) {
        info->size.cx = dialog->cx * kDialogCharWidth / 4;
        info->size.cy = dialog->cy * kDialogCharHeight / 8;
    }
    info->pszDocString = nullptr;
    info->pszHelpFile = nullptr;
    info->dwHelpContext = 0;
    return S_OK;
}

HRESULT CBasePropertyPage::SetObjects(ULONG count, IUnknown** objects) {
    if (count == 1) {
        if (!objects || !objects[0]) return E_POINTER;
        m_bObjectSet = TRUE;
        return OnConnect(objects[0]);
    }
    if (count == 0) {
        m_bObjectSet = FALSE;
        return OnDisconnect();
    }
    // One object at a time.
    return E_UNEXPECTED;
}

HRESULT CBasePropertyPage::Show(UINT command) {
    if (!m_hwnd) return E_UNEXPECTED;
    if (command != SW_SHOW && command != SW_SHOWNORMAL && command != SW_HIDE) return E_INVALIDARG;
    ShowWindow(m_hwnd, static_cast<int>(command));
    InvalidateRect(m_hwnd, nullptr, TRUE);
    return S_OK;
}

HRESULT CBasePropertyPage::Move(LPCRECT rect) {
    if (!rect) return E_POINTER;
    if (!m_hwnd) return E_UNEXPECTED;
    MoveWindow(m_hwnd, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
    return S_OK;
}

HRESULT CBasePropertyPage::IsPageDirty() { return m_bDirty ? S_OK : S_FALSE; }

HRESULT CBasePropertyPage::Apply() {
    if (!m_bObjectSet || !m_pPageSite) return E_UNEXPECTED;
    if (!m_bDirty) return S_OK;
    HRESULT hr = OnApplyChanges();
    if (SUCCEEDED(hr)) m_bDirty = FALSE;
    return hr;
}

HRESULT CBasePropertyPage::Help(LPCOLESTR) { return E_NOTIMPL; }

HRESULT CBasePropertyPage::TranslateAccelerator(MSG*) { return E_NOTIMPL; }

void CBasePropertyPage::SetDirty() {
    m_bDirty = TRUE;
    if (m_pPageSite) m_pPageSite->OnStatusChange(PROPPAGESTATUS_DIRTY);
}
