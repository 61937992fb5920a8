#pragma once
// A property page's site that lives on the test's stack and counts the status changes
// its page reports.
#include "platform/graph/CBasePropertyPage.h"

struct CountingPageSite final : IPropertyPageSite {
    int statusChanges = 0;
    HRESULT QueryInterface(REFIID, void** ppv) override { return *ppv = nullptr, E_NOINTERFACE; }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT OnStatusChange(DWORD) override { return ++statusChanges, S_OK; }
    HRESULT GetLocaleID(LCID*) override { return E_NOTIMPL; }
    HRESULT GetPageContainer(IUnknown**) override { return E_NOTIMPL; }
    HRESULT TranslateAccelerator(MSG*) override { return S_FALSE; }
};
