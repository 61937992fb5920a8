// Message boxes and the open-file dialog, shown through the presenter.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/ui/DialogApi.h"
#include "platform/ui/DialogRuntime.h"
#include "platform/ui/Presenter.h"

namespace {

thread_local DWORD t_commonDialogError = 0;

// The buttons a message box type offers; the first is the default unless the type
// names another.
std::vector<int> Buttons(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    default: return {IDOK};
    }
}

std::vector<std::pair<std::string, std::string>> FilterPairs(LPCSTR filter) {
    std::vector<std::pair<std::string, std::string>> pairs;
    if (!filter) return pairs;
    while (*filter) {
        std::string description = filter;
        filter += description.size() + 1;
        std::string patterns = filter;
        filter += patterns.size() + 1;
        bool last = patterns.empty();
        pairs.emplace_back(std::move(description), std::move(patterns));
        if (last) break;
    }
    return pairs;
}

}  // namespace

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    MessageBoxRequest request;
    request.owner = IsWindow(owner) ? owner : nullptr;
    request.text = text ? text : "";
    request.caption = caption ? caption : "Error";
    request.type = type;
    Presenter* presenter = GetPresenter();
    if (!presenter) {
        std::fprintf(stderr, "%s: %s\n", request.caption.c_str(), request.text.c_str());
        return 0;
    }
    DialogRuntime::Pump();
    int answer = presenter->ShowMessageBox(request);
    std::vector<int> buttons = Buttons(type);
    for (int b : buttons)
        if (b == answer) return answer;
    // Only a button the box shows can have been pressed.
    size_t fallback = (type & MB_DEFMASK) >> 8;
    return buttons[fallback < buttons.size() ? fallback : 0];
}

BOOL GetOpenFileNameA(OPENFILENAMEA* request) {
    t_commonDialogError = 0;
    if (!request || (request->lStructSize != sizeof(OPENFILENAMEA) &&
                     request->lStructSize != OPENFILENAME_SIZE_VERSION_400A)) {
        t_commonDialogError = CDERR_STRUCTSIZE;
        return FALSE;
    }
    if (!request->lpstrFile || request->nMaxFile == 0) {
        t_commonDialogError = FNERR_INVALIDFILENAME;
        return FALSE;
    }
    Presenter* presenter = GetPresenter();
    if (!presenter) {
        t_commonDialogError = CDERR_DIALOGFAILURE;
        return FALSE;
    }
    OpenFileRequest shown;
    shown.owner = IsWindow(request->hwndOwner) ? request->hwndOwner : nullptr;
    shown.filters = FilterPairs(request->lpstrFilter);
    shown.filterIndex = request->nFilterIndex;
    shown.initialFile.assign(request->lpstrFile, strnlen(request->lpstrFile, request->nMaxFile));
    shown.initialDirectory = request->lpstrInitialDir ? request->lpstrInitialDir : "";
    shown.title = request->lpstrTitle ? request->lpstrTitle : "";
    shown.flags = request->Flags;
    shown.defaultExtension = request->lpstrDefExt ? request->lpstrDefExt : "";

    DialogRuntime::Pump();
    std::optional<std::string> chosen = presenter->ShowOpenFile(shown);
    if (!chosen) return FALSE;

    std::string path = *chosen;
    size_t slash = path.find_last_of('/');
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.find_last_of('.');
    bool hasExtension = dot != std::string::npos && dot >= nameStart;
    if (!hasExtension && !shown.defaultExtension.empty()) {
        path += "." + shown.defaultExtension;
        dot = path.find_last_of('.');
        hasExtension = true;
    }
    if (path.size() + 1 > request->nMaxFile) {
        // The caller learns the size it would need from the first two bytes.
        if (request->nMaxFile >= 2) {
            WORD needed = static_cast<WORD>(path.size() + 1 > 0xFFFF ? 0xFFFF : path.size() + 1);
            std::memcpy(request->lpstrFile, &needed, sizeof needed);
        }
        t_commonDialogError = FNERR_BUFFERTOOSMALL;
        return FALSE;
    }
    std::memcpy(request->lpstrFile, path.c_str(), path.size() + 1);
    request->nFileOffset = static_cast<WORD>(nameStart);
    request->nFileExtension = static_cast<WORD>(hasExtension ? dot + 1 : 0);
    if (request->lpstrFileTitle && request->nMaxFileTitle > 0) {
        std::string title = path.substr(nameStart);
        size_t n = std::min(title.size(), static_cast<size_t>(request->nMaxFileTitle - 1));
        std::memcpy(request->lpstrFileTitle, title.data(), n);
        request->lpstrFileTitle[n] = '\0';
    }
    return TRUE;
}

DWORD CommDlgExtendedError() { return t_commonDialogError; }
