#pragma once
// A property page over a dialog resource: the frame hands it the objects to edit
// (SetObjects), makes it create its window (Activate) and tells it to apply. Derived
// pages override the On... hooks. Every module shares this library, so a page names
// the module whose resources hold its dialog and title; the desktop class takes that
// from the module's own instance handle.
#include "platform/com/Unknown.h"
#include "platform/graph/Interfaces.h"
#include "platform/ui/UiTypes.h"

class CBasePropertyPage : public IPropertyPage, public CUnknown {
public:
    CBasePropertyPage(const char* name, IUnknown* outer, int dialogId, int titleId, HINSTANCE resources);
    ~CBasePropertyPage() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    // The last release lets go of the site and the objects first, as a frame that
    // forgot to would have done.
    ULONG NonDelegatingRelease() override;

    virtual HRESULT OnConnect(IUnknown* /*object*/) { return S_OK; }
    virtual HRESULT OnDisconnect() { return S_OK; }
    virtual HRESULT OnActivate() { return S_OK; }
    virtual HRESULT OnDeactivate() { return S_OK; }
    virtual HRESULT OnApplyChanges() { return S_OK; }
    // Messages of the page's dialog; the default handles none (0).
    virtual INT_PTR OnReceiveMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    // IPropertyPage
    HRESULT SetPageSite(IPropertyPageSite* site) override;
    HRESULT Activate(HWND parent, LPCRECT rect, BOOL modal) override;
    HRESULT Deactivate() override;
    HRESULT GetPageInfo(PROPPAGEINFO* info) override;
    HRESULT SetObjects(ULONG count, IUnknown** objects) override;
    HRESULT Show(UINT command) override;
    HRESULT Move(LPCRECT rect) override;
    HRESULT IsPageDirty() override;
    HRESULT Apply() override;
    HRESULT Help(LPCOLESTR helpDir) override;
    HRESULT TranslateAccelerator(MSG* msg) override;

protected:
    // Marks the page changed and tells the frame, which offers Apply.
    void SetDirty();

    HWND m_hwnd = nullptr;  // the page window between Activate and Deactivate
    HWND m_Dlg = nullptr;   // the dialog as its procedure knows it (set on WM_INITDIALOG)
    IPropertyPageSite* m_pPageSite = nullptr;
    BOOL m_bDirty = FALSE;
    BOOL m_bObjectSet = FALSE;
    int m_DialogId;
    int m_TitleId;
    HINSTANCE m_hResources;

private:
    static INT_PTR DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};
