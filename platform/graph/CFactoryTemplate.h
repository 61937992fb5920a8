#pragma once
// One class that a module serves: its name, class identifier, creation function and
// the setup data that registration hands to the filter mapper.
#include "platform/graph/Interfaces.h"

class CUnknown;

using LPFNNewCOMObject = CUnknown* (*)(IUnknown* outer, HRESULT* phr);
using LPFNInitRoutine = void (*)(BOOL loading, const CLSID* clsid);

struct CFactoryTemplate {
    LPCWSTR m_Name;
    const CLSID* m_ClsID;
    LPFNNewCOMObject m_lpfnNew;
    LPFNInitRoutine m_lpfnInit;
    const AMOVIESETUP_FILTER* m_pAMovieSetup_Filter;

    bool IsClassID(REFCLSID clsid) const { return m_ClsID && *m_ClsID == clsid; }
    CUnknown* CreateInstance(IUnknown* outer, HRESULT* phr) const { return m_lpfnNew(outer, phr); }
};
