#include "feeds/satip/SatIpPages.h"

#include <iterator>

#include "feeds/DeliveryDescriptor.h"
#include "feeds/satip/SatIpCapabilities.h"
#include "feeds/satip/SatIpServerSelectDialog.h"
#include "feeds/transponders/TransponderListDialog.h"

namespace {

constexpr const char* kSelectServerCaption = "&Select SAT>IP Server";
constexpr const char* kTransponderFile = "TransponderList.txt";

constexpr const char* kSatelliteFec[] = {"12", "23", "34", "56", "78", "89", "35", "45", "910"};
constexpr const char* kTerrestrialFec[] = {"1/2", "2/3", "3/4", "5/6", "7/8"};
constexpr const char* kBandwidths[] = {"8", "7", "6", "5", "10", "1,712"};
constexpr const char* kModes[] = {"2", "8", "4", "1", "16", "32"};
constexpr const char* kGuards[] = {"1/32", "1/16", "1/8", "1/4", "1/128", "19/128", "19/256"};
constexpr const char* kCableModulations[] = {"16-QAM", "32-QAM", "64-QAM", "128-QAM", "256-QAM"};
// How many of the lists above DVB-T offers; DVB-T2 offers them all.
constexpr int kDvbTBandwidths = 4;
constexpr int kDvbTModes = 3;
constexpr int kDvbTGuards = 4;
constexpr int kGuardQuarter = 3;

struct OrbitalSource {
    uint16_t position;
    uint32_t source;
};
constexpr OrbitalSource kSources[] = {{0x0192, 1}, {0x0130, 2}, {0x0282, 3}, {0x0235, 4}};

}  // namespace

CSatIpPage::CSatIpPage(const WCHAR* templateName, uint32_t system, SatIpSheetState& state)
    : CConfigPage(templateName, nullptr), state_(state), s_(state.settings), system_(system) {}

bool CSatIpPage::Checked(int id) const { return IsDlgButtonChecked(Window(), id) == BST_CHECKED; }
void CSatIpPage::Check(int id, bool on) { CheckDlgButton(Window(), id, on ? BST_CHECKED : BST_UNCHECKED); }
void CSatIpPage::Enable(int id, bool on) { EnableWindow(GetDlgItem(Window(), id), on ? TRUE : FALSE); }
void CSatIpPage::Show(int id, bool on) { ShowWindow(GetDlgItem(Window(), id), on ? SW_SHOW : SW_HIDE); }
UINT CSatIpPage::Number(int id) const { return GetDlgItemInt(Window(), id, nullptr, FALSE); }
void CSatIpPage::SetNumber(int id, UINT value) { SetDlgItemInt(Window(), id, value, FALSE); }

void CSatIpPage::SetItems(int id, const char* const* items, size_t count) {
    SendDlgItemMessageA(Window(), id, CB_RESETCONTENT, 0, 0);
    for (size_t i = 0; i < count; ++i)
        SendDlgItemMessageA(Window(), id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(items[i]));
}

int CSatIpPage::Selection(int id) const {
    const LRESULT item = SendDlgItemMessageA(Window(), id, CB_GETCURSEL, 0, 0);
    return item == CB_ERR ? -1 : static_cast<int>(item);
}

void CSatIpPage::Select(int id, int index) {
    SendDlgItemMessageA(Window(), id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

INT_PTR CSatIpPage::OnInitDialog() {
    Fill();
    return TRUE;
}

void CSatIpPage::Activated() {
    s_.feedType = system_;
    if (!state_.firstActivation) return;
    state_.firstActivation = false;
    // The sheet's Help button is the way to another server.
    HWND sheet = GetParent(Window());
    if (HWND help = GetDlgItem(sheet, IDHELP)) {
        SetWindowTextA(help, kSelectServerCaption);
        EnableWindow(help, TRUE);
    }
}

void CSatIpPage::ChooseServer() {
    SatIpSettings chosen = s_;
    CSatIpServerSelectDialog dialog(state_.servers, chosen);
    if (dialog.DoModal(GetParent(Window())) != 1) return;
    const bool changed = chosen.manualSelect != s_.manualSelect || chosen.deliveryMode != s_.deliveryMode ||
                         (chosen.manualSelect ? !(chosen.manualAddress == s_.manualAddress)
                                              : chosen.serverHash != s_.serverHash);
    s_ = chosen;
    if (!changed) return;
    state_.result = SatIpSheetState::kServerChanged;
    PostMessageA(GetParent(Window()), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
}

INT_PTR CSatIpPage::OnNotify(int /*controlId*/, NMHDR* header) {
    switch (header->code) {
        case PSN_SETACTIVE:
            Activated();
            SetWindowLongPtrA(Window(), DWLP_MSGRESULT, 0);
            return 1;
        case PSN_APPLY:
            // Only the page whose system was chosen last writes its values.
            if (s_.feedType == system_) {
                Apply();
                if (state_.result == 0) state_.result = SatIpSheetState::kApplied;
            }
            SetWindowLongPtrA(Window(), DWLP_MSGRESULT, PSNRET_NOERROR);
            return 1;
        case PSN_HELP:
            ChooseServer();
            return 1;
        default:
            return 0;
    }
}

// Satellite

CSatIpSatellitePage::CSatIpSatellitePage(SatIpSheetState& state)
    : CSatIpPage(kTemplateName, kSatIpSatellite, state) {}

void CSatIpSatellitePage::SystemChosen(bool s2) {
    CheckRadioButton(Window(), kDvbS, kDvbS2, s2 ? kDvbS2 : kDvbS);
    if (!s2) {
        CheckRadioButton(Window(), kQpsk, k8psk, kQpsk);
        CheckRadioButton(Window(), kRollOff035, kRollOff020, kRollOff035);
        CheckRadioButton(Window(), kPilotsOn, kPilotsOff, kPilotsOff);
    }
    for (int id : {k8psk, kRollOff025, kRollOff020, kPilotsOn}) Enable(id, s2);
}

void CSatIpSatellitePage::Fill() {
    SetNumber(kFrequency, s_.frequencyS);
    SetNumber(kSymbolRate, s_.symbolRateS);
    CheckRadioButton(Window(), kPolH, kPolR, kPolH + (s_.polarisation <= 3 ? static_cast<int>(s_.polarisation) : 0));
    const bool s2 = s_.modulationS == 1 || s_.modulationS == 2;
    CheckRadioButton(Window(), kQpsk, k8psk, s_.modulationS == 2 ? k8psk : kQpsk);
    CheckRadioButton(Window(), kSource1, kSource4,
                     kSource1 + (s_.signalSource >= 1 && s_.signalSource <= 4 ? static_cast<int>(s_.signalSource) - 1 : 0));
    SetItems(kFec, kSatelliteFec, std::size(kSatelliteFec));
    Select(kFec, s_.fecS >= 1 && s_.fecS <= std::size(kSatelliteFec) ? static_cast<int>(s_.fecS) - 1 : 2);
    if (s2) {
        CheckRadioButton(Window(), kRollOff035, kRollOff020, kRollOff035 + (s_.rollOff <= 2 ? static_cast<int>(s_.rollOff) : 0));
        CheckRadioButton(Window(), kPilotsOn, kPilotsOff, s_.pilotTones ? kPilotsOn : kPilotsOff);
    }
    SystemChosen(s2);
}

void CSatIpSatellitePage::Apply() {
    s_.frequencyS = Number(kFrequency);
    s_.symbolRateS = Number(kSymbolRate);
    s_.polarisation = 0;
    for (int id = kPolH; id <= kPolR; ++id)
        if (Checked(id)) s_.polarisation = static_cast<uint32_t>(id - kPolH);
    s_.modulationS = Checked(k8psk) ? 2 : Checked(kDvbS2) ? 1 : 0;
    s_.signalSource = 1;
    for (int id = kSource1; id <= kSource4; ++id)
        if (Checked(id)) s_.signalSource = static_cast<uint32_t>(id - kSource1 + 1);
    const int fec = Selection(kFec);
    s_.fecS = fec < 0 ? 3 : static_cast<uint32_t>(fec + 1);
    s_.rollOff = 0;
    for (int id = kRollOff035; id <= kRollOff020; ++id)
        if (Checked(id)) s_.rollOff = static_cast<uint32_t>(id - kRollOff035);
    s_.pilotTones = Checked(kPilotsOn) ? 1 : 0;
}

void CSatIpSatellitePage::TakeTransponder(SatIpSettings& s, uint16_t orbitalPosition, const uint8_t* d) {
    s.frequencyS = DescriptorBcdFrequency(d) / 100;
    s.symbolRateS = DescriptorBcdSymbolRate(d) / 10;
    s.polarisation = (d[8] >> 5) & 3;
    const uint8_t modulation = d[8] & 7;
    if (modulation <= 3) s.modulationS = 0;
    else if (modulation <= 5) s.modulationS = 1;
    else if (modulation == 6) s.modulationS = 2;
    for (const OrbitalSource& known : kSources)
        if (known.position == orbitalPosition) s.signalSource = known.source;
}

INT_PTR CSatIpSatellitePage::OnCommand(WPARAM command, WORD /*notification*/) {
    switch (LOWORD(command)) {
        case kDvbS:
        case kDvbS2:
            SystemChosen(LOWORD(command) == kDvbS2);
            return 1;
        case kTransponderList: {
            TransponderListDialog dialog(state_.application, kTransponderFile);
            uint16_t position = 0;
            uint8_t descriptor[kDeliveryDescriptorSize + 2] = {};
            if (dialog.Run(Window(), &position, descriptor)) {
                TakeTransponder(s_, position, descriptor);
                Fill();
            }
            return 1;
        }
        default:
            return 0;
    }
}

// Terrestrial

CSatIpTerrestrialPage::CSatIpTerrestrialPage(SatIpSheetState& state)
    : CSatIpPage(kTemplateName, kSatIpTerrestrial, state) {}

void CSatIpTerrestrialPage::BuildLists(bool t2, int bandwidth, int mode, int guard) {
    const int bandwidths = t2 ? static_cast<int>(std::size(kBandwidths)) : kDvbTBandwidths;
    const int modes = t2 ? static_cast<int>(std::size(kModes)) : kDvbTModes;
    const int guards = t2 ? static_cast<int>(std::size(kGuards)) : kDvbTGuards;
    SetItems(kBandwidth, kBandwidths, static_cast<size_t>(bandwidths));
    SetItems(kMode, kModes, static_cast<size_t>(modes));
    SetItems(kGuard, kGuards, static_cast<size_t>(guards));
    Select(kBandwidth, bandwidth >= 0 && bandwidth < bandwidths ? bandwidth : 0);
    Select(kMode, mode >= 0 && mode < modes ? mode : 0);
    Select(kGuard, guard >= 0 && guard < guards ? guard : kGuardQuarter);
    for (int id : {kPlp, kSystemId, kMisoOff, kMisoOn}) Enable(id, t2);
}

void CSatIpTerrestrialPage::Fill() {
    const uint32_t mask = state_.capabilities;
    bool t2 = s_.systemT != 0;
    if (!(mask & kSatIpCapDvbT)) t2 = true;
    if (!(mask & kSatIpCapDvbT2)) t2 = false;
    Enable(kDvbT, (mask & kSatIpCapDvbT) != 0);
    Enable(kDvbT2, (mask & kSatIpCapDvbT2) != 0);
    SetNumber(kFrequency, s_.frequencyT);
    CheckRadioButton(Window(), kDvbT, kDvbT2, t2 ? kDvbT2 : kDvbT);
    BuildLists(t2, static_cast<int>(s_.bandwidthT), static_cast<int>(s_.transmissionMode),
               static_cast<int>(s_.guardInterval));
    CheckRadioButton(Window(), kQpsk, kQam64, kQpsk + (s_.modulationT <= 2 ? static_cast<int>(s_.modulationT) : 1));
    SetItems(kFec, kTerrestrialFec, std::size(kTerrestrialFec));
    Select(kFec, s_.fecT < std::size(kTerrestrialFec) ? static_cast<int>(s_.fecT) : 1);
    SetNumber(kPlp, s_.plpT);
    SetNumber(kSystemId, s_.t2SystemId);
    CheckRadioButton(Window(), kMisoOff, kMisoOn, s_.miso ? kMisoOn : kMisoOff);
}

void CSatIpTerrestrialPage::Apply() {
    s_.frequencyT = Number(kFrequency);
    const int bandwidth = Selection(kBandwidth);
    const int mode = Selection(kMode);
    const int guard = Selection(kGuard);
    s_.bandwidthT = bandwidth < 0 ? 0 : static_cast<uint32_t>(bandwidth);
    s_.transmissionMode = mode < 0 ? 0 : static_cast<uint32_t>(mode);
    s_.guardInterval = guard < 0 ? kGuardQuarter : static_cast<uint32_t>(guard);
    s_.systemT = Checked(kDvbT2) ? 1 : 0;
    s_.modulationT = 1;
    for (int id = kQpsk; id <= kQam64; ++id)
        if (Checked(id)) s_.modulationT = static_cast<uint32_t>(id - kQpsk);
    const int fec = Selection(kFec);
    s_.fecT = fec < 0 ? 1 : static_cast<uint32_t>(fec);
    s_.plpT = static_cast<uint8_t>(Number(kPlp));
    s_.t2SystemId = static_cast<uint16_t>(Number(kSystemId));
    s_.miso = Checked(kMisoOn) ? 1 : 0;
}

INT_PTR CSatIpTerrestrialPage::OnCommand(WPARAM command, WORD /*notification*/) {
    const int id = LOWORD(command);
    if (id != kDvbT && id != kDvbT2) return 0;
    CheckRadioButton(Window(), kDvbT, kDvbT2, id);
    BuildLists(id == kDvbT2, Selection(kBandwidth), Selection(kMode), Selection(kGuard));
    return 1;
}

// Cable

CSatIpCablePage::CSatIpCablePage(SatIpSheetState& state) : CSatIpPage(kTemplateName, kSatIpCable, state) {}

void CSatIpCablePage::ShowGroups(bool c2) {
    for (int id = kGroupCFirst; id <= kGroupCLast; ++id) Show(id, !c2);
    for (int id = kGroupC2First; id <= kGroupC2Last; ++id) Show(id, c2);
}

void CSatIpCablePage::Fill() {
    const uint32_t mask = state_.capabilities;
    bool c2 = s_.systemC != 0;
    if (!(mask & kSatIpCapDvbC)) c2 = true;
    if (!(mask & kSatIpCapDvbC2)) c2 = false;
    Enable(kDvbC, (mask & kSatIpCapDvbC) != 0);
    Enable(kDvbC2, (mask & kSatIpCapDvbC2) != 0);
    SetNumber(kFrequency, s_.frequencyC);
    CheckRadioButton(Window(), kDvbC, kDvbC2, c2 ? kDvbC2 : kDvbC);
    SetItems(kModulation, kCableModulations, std::size(kCableModulations));
    Select(kModulation, s_.modulationC >= 1 && s_.modulationC <= 4 ? static_cast<int>(s_.modulationC) - 1 : 4);
    SetNumber(kSymbolRate, s_.symbolRateC);
    CheckRadioButton(Window(), kInverted, kNotInverted, s_.spectrumInversion ? kInverted : kNotInverted);
    CheckRadioButton(Window(), kTuning0, kTuning2, kTuning0 + (s_.c2TuningType <= 2 ? static_cast<int>(s_.c2TuningType) : 0));
    CheckRadioButton(Window(), k8MHz, k6MHz, s_.c2SymbolDuration == 1 ? k6MHz : k8MHz);
    SetNumber(kDataSlice, s_.c2DataSliceId);
    SetNumber(kPlp, s_.plpC);
    ShowGroups(c2);
}

void CSatIpCablePage::Apply() {
    s_.frequencyC = Number(kFrequency);
    s_.systemC = Checked(kDvbC2) ? 1 : 0;
    const int modulation = Selection(kModulation);
    s_.modulationC = modulation < 0 ? 5 : static_cast<uint32_t>(modulation + 1);
    s_.symbolRateC = Number(kSymbolRate);
    s_.spectrumInversion = Checked(kInverted) ? 1 : 0;
    s_.c2TuningType = 0;
    for (int id = kTuning0; id <= kTuning2; ++id)
        if (Checked(id)) s_.c2TuningType = static_cast<uint32_t>(id - kTuning0);
    s_.c2SymbolDuration = Checked(k6MHz) ? 1 : 0;
    s_.c2DataSliceId = static_cast<uint8_t>(Number(kDataSlice));
    s_.plpC = static_cast<uint8_t>(Number(kPlp));
}

INT_PTR CSatIpCablePage::OnCommand(WPARAM command, WORD /*notification*/) {
    const int id = LOWORD(command);
    if (id != kDvbC && id != kDvbC2) return 0;
    CheckRadioButton(Window(), kDvbC, kDvbC2, id);
    ShowGroups(id == kDvbC2);
    return 1;
}

INT_PTR RunSatIpPropertySheet(HWND parent, SatIpSheetState& state) {
    static constexpr const WCHAR* kCaption = u"SAT>IP feed properties";
    const uint32_t mask = state.capabilities;
    CSatIpSatellitePage satellite(state);
    CSatIpTerrestrialPage terrestrial(state);
    CSatIpCablePage cable(state);
    struct Offered {
        CSatIpPage* page;
        uint32_t system;
        bool offered;
    };
    const Offered all[] = {{&satellite, kSatIpSatellite, (mask & kSatIpCapDvbS2) != 0},
                           {&terrestrial, kSatIpTerrestrial, (mask & (kSatIpCapDvbT | kSatIpCapDvbT2)) != 0},
                           {&cable, kSatIpCable, (mask & (kSatIpCapDvbC | kSatIpCapDvbC2)) != 0}};
    PROPSHEETPAGEW pages[3] = {};
    UINT count = 0;
    UINT start = 0;
    for (const Offered& item : all) {
        if (!item.offered) continue;
        if (item.system == state.settings.feedType) start = count;
        item.page->FillPageDescription(&pages[count++]);
    }
    if (count == 0) return 0;
    PROPSHEETHEADERW sheet{};
    sheet.dwSize = sizeof sheet;
    sheet.dwFlags = PSH_PROPSHEETPAGE | PSH_HASHELP | PSH_NOAPPLYNOW;
    sheet.hwndParent = parent;
    sheet.pszCaption = kCaption;
    sheet.nPages = count;
    sheet.nStartPage = start;
    sheet.ppsp = pages;
    state.firstActivation = true;
    return PropertySheetW(&sheet);
}
