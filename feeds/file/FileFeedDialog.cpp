#include "feeds/file/FileFeedDialog.h"

#include <cstring>
#include <string>

#include "feeds/file/FileFeed.h"
#include "feeds/file/StreamAnalysis.h"
#include "platform/com/WideString.h"

namespace {

constexpr const WCHAR* kTemplateName = u"FILEFEEDCONFIGDLG";
// Description and patterns in pairs, ending with an empty text.
constexpr char kFileFilter[] =
    "Transport Streams (*.TS,*.TRP,*.MPG)\0*.TS;*.TRP;*.MPG\0All files (*.*)\0*.*\0";
constexpr const char* kNoBitrateText =
    "Unable to calculate stream bitrate. This no MPEG2 stream or it is a stream that does not contain PCRs.";
constexpr const char* kNoBitrateCaption = "Warning";

constexpr COLORREF kPlausibleColour = RGB(231, 247, 255);
constexpr COLORREF kLowColour = RGB(255, 255, 204);
constexpr COLORREF kImplausibleColour = RGB(255, 0, 0);
constexpr UINT kLowBitrate = 1'000'000;
constexpr UINT kTooLowBitrate = 100'000;
constexpr UINT kTooHighBitrate = 100'000'000;

constexpr size_t kPathSize = 260;

// Red when implausible, light yellow when low, light blue otherwise.
COLORREF BitrateColour(UINT bitsPerSecond) {
    COLORREF colour = kPlausibleColour;
    if (bitsPerSecond < kLowBitrate) colour = kLowColour;
    if (bitsPerSecond < kTooLowBitrate) colour = kImplausibleColour;
    if (bitsPerSecond > kTooHighBitrate) colour = kImplausibleColour;
    return colour;
}

int BrushIndex(COLORREF colour) {
    if (colour == kImplausibleColour) return 0;
    if (colour == kLowColour) return 1;
    return 2;
}

}  // namespace

CFileFeedDialog::CFileFeedDialog(CFileFeed* feed) : CConfigDialog(kTemplateName, nullptr), feed_(feed) {}

CFileFeedDialog::~CFileFeedDialog() {
    for (HBRUSH brush : brushes_)
        if (brush) DeleteObject(brush);
}

INT_PTR CFileFeedDialog::OnInitDialog() {
    SetDlgItemTextA(m_hwnd, kFileNameEdit, feed_->FileName());
    SetFocus(GetDlgItem(m_hwnd, kFileNameEdit));
    CheckDlgButton(m_hwnd, kLoopCheck, feed_->Loop() ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(m_hwnd, kBitrateLockCheck, feed_->BitrateLock() ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemInt(m_hwnd, kBitrateEdit, feed_->Bitrate(), FALSE);
    UpdateEnableState();
    // The icon is the host program's, like the template.
    if (HICON icon = LoadIconA(m_resourceModule, MAKEINTRESOURCEA(kSmallIconId)))
        SendMessageA(m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    return 0;  // the focus is set
}

void CFileFeedDialog::UpdateEnableState() {
    const BOOL locked = IsDlgButtonChecked(m_hwnd, kBitrateLockCheck) == BST_CHECKED;
    for (int id : {kBitrateLabel, kBitrateUnit, kBitrateEdit}) EnableWindow(GetDlgItem(m_hwnd, id), locked);
    InvalidateRect(GetDlgItem(m_hwnd, kBitrateEdit), nullptr, TRUE);
}

INT_PTR CFileFeedDialog::OnCommand(WPARAM command, WORD notification) {
    switch (LOWORD(command)) {
    case kBrowseButton: Browse(); return TRUE;
    case kLoopCheck:
    case kBitrateLockCheck: UpdateEnableState(); return TRUE;
    case kBitrateEdit:
        if (notification != EN_UPDATE) return FALSE;
        InvalidateRect(GetDlgItem(m_hwnd, kBitrateEdit), nullptr, TRUE);
        return TRUE;
    case IDOK: Accept(); return TRUE;
    case IDCANCEL: EndDialog(m_hwnd, 0); return TRUE;
    default: return FALSE;
    }
}

void CFileFeedDialog::Accept() {
    // The controls stay readable until the command has been handled.
    EndDialog(m_hwnd, 1);
    char name[CFileFeed::kFileNameSize] = {};
    GetDlgItemTextA(m_hwnd, kFileNameEdit, name, sizeof name);
    feed_->SetPlainFileName(name);
    feed_->SetLoop(IsDlgButtonChecked(m_hwnd, kLoopCheck) == BST_CHECKED);
    feed_->SetBitrateLock(IsDlgButtonChecked(m_hwnd, kBitrateLockCheck) == BST_CHECKED);
    feed_->SetBitrate(GetDlgItemInt(m_hwnd, kBitrateEdit, nullptr, FALSE));
}

void CFileFeedDialog::Browse() {
    char path[kPathSize] = {};
    OPENFILENAMEA request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = m_hwnd;
    request.hInstance = m_resourceModule;
    request.lpstrFilter = kFileFilter;
    request.lpstrFile = path;
    request.nMaxFile = sizeof path;
    request.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NONETWORKBUTTON | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameA(&request)) return;

    SetDlgItemTextA(m_hwnd, kFileNameEdit, path);
    std::u16string wide = WideFromUtf8(path);
    if (wide.size() > kPathSize) wide.resize(kPathSize);
    const uint32_t bitrate = MeasureFileBitrate(wide.c_str());
    if (bitrate == 0) {
        MessageBoxA(m_hwnd, kNoBitrateText, kNoBitrateCaption, MB_ICONEXCLAMATION | MB_OK);
        return;
    }
    // Kept even when the dialog is cancelled later: the measurement is a fact about the file.
    feed_->SetBitrate(bitrate);
    UpdateEnableState();
    SetDlgItemInt(m_hwnd, kBitrateEdit, bitrate, FALSE);
}

INT_PTR CFileFeedDialog::PaintBitrateField(HDC dc) {
    const COLORREF colour = BitrateColour(GetDlgItemInt(m_hwnd, kBitrateEdit, nullptr, FALSE));
    HBRUSH& brush = brushes_[BrushIndex(colour)];
    if (!brush) brush = CreateSolidBrush(colour);
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkMode(dc, TRANSPARENT);
    SetBkColor(dc, colour);
    return reinterpret_cast<INT_PTR>(brush);
}

INT_PTR CFileFeedDialog::OnMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_HSCROLL: UpdateEnableState(); return TRUE;
    // An enabled edit asks with the edit message, a disabled one with the static one.
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) == GetDlgItem(hwnd, kBitrateEdit))
            return PaintBitrateField(reinterpret_cast<HDC>(wParam));
        break;
    default: break;
    }
    return CConfigDialog::OnMessage(hwnd, message, wParam, lParam);
}
