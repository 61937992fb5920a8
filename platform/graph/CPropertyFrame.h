#pragma once
// The frame a host shows for an object's property pages (OleCreatePropertyFrame on the
// desktop): a tab per page and OK, Cancel and Apply. OK and Apply apply every page
// that reports changes; closing deactivates the page on show, then disconnects every
// page from the objects and from the frame.
#include <atomic>
#include <string>
#include <vector>

#include "platform/graph/Interfaces.h"
#include "platform/ui/UiTypes.h"

class CPropertyFrame final : public IPropertyPageSite {
public:
    // S_OK once the frame has been shown and closed; E_FAIL when it could not be shown
    // (no presenter); E_POINTER or E_INVALIDARG for bad arguments.
    static HRESULT Show(HWND owner, const WCHAR* caption, IUnknown* const* objects, ULONG objectCount,
                        IPropertyPage* const* pages, ULONG pageCount);

    // IUnknown
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    // IPropertyPageSite
    HRESULT OnStatusChange(DWORD flags) override;
    HRESULT GetLocaleID(LCID* locale) override;
    HRESULT GetPageContainer(IUnknown** container) override;
    HRESULT TranslateAccelerator(MSG* msg) override;

private:
    CPropertyFrame() = default;
    ~CPropertyFrame() = default;

    static INT_PTR FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void ActivatePage(size_t index);
    bool ApplyAll();

    std::atomic<long> ref_{1};
    std::vector<IPropertyPage*> pages_;
    std::vector<std::string> titles_;
    SIZE pageSize_{0, 0};
    HWND frame_ = nullptr;
    int current_ = -1;
    RECT pageRect_{0, 0, 0, 0};
};

constexpr int ID_FRAME_TABS = 0x3020;

// Creates each page by class identifier and shows them in a frame for the objects.
HRESULT OleCreatePropertyFrame(HWND owner, UINT x, UINT y, LPCOLESTR caption, ULONG objectCount, IUnknown** objects,
                               ULONG pageCount, const CLSID* pageClsids, LCID locale, DWORD reserved,
                               void* reserved2);
