#pragma once
// The property sheet "SAT>IP feed properties": one page per delivery system the
// server offers, each editing its part of the settings. The sheet's Help button
// becomes the way to choose another server.
#include <cstdint>
#include <string>

#include "feeds/ConfigDialog.h"
#include "feeds/satip/SatIpServerList.h"
#include "feeds/satip/SatIpSettings.h"

// What the pages of one sheet share.
struct SatIpSheetState {
    static constexpr INT_PTR kApplied = 1;
    static constexpr INT_PTR kServerChanged = 42;

    SatIpSettings& settings;
    uint32_t capabilities;  // SatIpCapability bits of the server being configured
    SatIpServerList& servers;
    const char* application;  // for the transponder list; may be null
    INT_PTR result = 0;
    bool firstActivation = true;
};

class CSatIpPage : public CConfigPage {
public:
    CSatIpPage(const WCHAR* templateName, uint32_t system, SatIpSheetState& state);

    INT_PTR OnInitDialog() override;
    INT_PTR OnNotify(int controlId, NMHDR* header) override;

protected:
    virtual void Fill() = 0;
    virtual void Apply() = 0;

    bool Checked(int id) const;
    void Check(int id, bool on);
    void Enable(int id, bool on);
    void Show(int id, bool on);
    UINT Number(int id) const;
    void SetNumber(int id, UINT value);
    // Empties the list box and adds the items.
    void SetItems(int id, const char* const* items, size_t count);
    int Selection(int id) const;  // -1 when none
    void Select(int id, int index);

    SatIpSheetState& state_;
    SatIpSettings& s_;

private:
    void Activated();
    void ChooseServer();

    const uint32_t system_;
};

class CSatIpSatellitePage : public CSatIpPage {
public:
    static constexpr const WCHAR* kTemplateName = u"SAT2IP_DVB_S_S2";
    enum : int {
        kFrequency = 200, kSymbolRate = 201, kPolH = 202, kPolR = 205, kDvbS = 206, kDvbS2 = 207, kQpsk = 208,
        k8psk = 209, kSource1 = 210, kSource4 = 213, kFec = 214, kRollOff035 = 215, kRollOff025 = 216,
        kRollOff020 = 217, kPilotsOn = 218, kPilotsOff = 219, kTransponderList = 4712,
    };
    explicit CSatIpSatellitePage(SatIpSheetState& state);
    INT_PTR OnCommand(WPARAM command, WORD notification) override;

    // Takes a satellite delivery-system descriptor from the transponder list.
    static void TakeTransponder(SatIpSettings& settings, uint16_t orbitalPosition, const uint8_t* descriptor);

protected:
    void Fill() override;
    void Apply() override;

private:
    void SystemChosen(bool s2);
};

class CSatIpTerrestrialPage : public CSatIpPage {
public:
    static constexpr const WCHAR* kTemplateName = u"SAT2IP_DVB_T_T2";
    enum : int {
        kFrequency = 200, kBandwidth = 201, kDvbT = 202, kDvbT2 = 203, kMode = 204, kQpsk = 205, kQam16 = 206,
        kQam64 = 207, kGuard = 208, kFec = 209, kPlp = 210, kSystemId = 211, kMisoOff = 212, kMisoOn = 213,
    };
    explicit CSatIpTerrestrialPage(SatIpSheetState& state);
    INT_PTR OnCommand(WPARAM command, WORD notification) override;

protected:
    void Fill() override;
    void Apply() override;

private:
    // Lists for the system, the given choices kept where the system has them.
    void BuildLists(bool t2, int bandwidth, int mode, int guard);
};

class CSatIpCablePage : public CSatIpPage {
public:
    static constexpr const WCHAR* kTemplateName = u"SAT2IP_DVB_C_C2";
    enum : int {
        kFrequency = 200, kDvbC = 201, kDvbC2 = 202, kGroupCFirst = 300, kModulation = 301, kSymbolRate = 303,
        kInverted = 306, kNotInverted = 307, kGroupCLast = 307, kGroupC2First = 400, kTuning0 = 401, kTuning2 = 403,
        k8MHz = 405, k6MHz = 406, kDataSlice = 408, kPlp = 411, kGroupC2Last = 412,
    };
    explicit CSatIpCablePage(SatIpSheetState& state);
    INT_PTR OnCommand(WPARAM command, WORD notification) override;

protected:
    void Fill() override;
    void Apply() override;

private:
    void ShowGroups(bool c2);
};

// Shows the sheet; the sheet's own result (1 for OK). state.result tells whether a
// page applied (1) or a server change asks for a new round (42).
INT_PTR RunSatIpPropertySheet(HWND parent, SatIpSheetState& state);
