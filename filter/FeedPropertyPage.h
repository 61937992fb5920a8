#pragma once
// The filter's property page: where the stream comes from (a listed feed, a file, or
// the input pin) and the feed name or file name that goes with it.
#include <cstdint>

#include "feeds/FeedEnumerator.h"
#include "platform/graph/CBasePropertyPage.h"

class CFeedFilter;

class CFeedPropertyPage : public CBasePropertyPage {
public:
    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* phr);
    ~CFeedPropertyPage() override;

    HRESULT OnConnect(IUnknown* object) override;
    HRESULT OnDisconnect() override;
    HRESULT OnActivate() override;
    HRESULT OnDeactivate() override;
    HRESULT OnApplyChanges() override;
    INT_PTR OnReceiveMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;
    // The controls report no changes to the page, so it stays dirty: every Apply and OK
    // applies what the controls show.
    HRESULT Apply() override;

private:
    explicit CFeedPropertyPage(IUnknown* outer);
    // Sets the filter's mode from the checked button and the edit box.
    void ApplyControls();

    ModuleObjectCount moduleCount_;
    CFeedFilter* m_filter = nullptr;
    int32_t m_listPositions[CFeedEnumerator::kMaxFeeds];
};
