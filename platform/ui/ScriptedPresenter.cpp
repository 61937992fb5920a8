#include "platform/ui/ScriptedPresenter.h"

#include <filesystem>

#include "platform/ui/DialogApi.h"
#include "platform/ui/DialogRuntime.h"
#include "platform/ui/UserAction.h"

namespace {

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::string IconName(HICON icon) {
    std::string name;
    if (icon && ResourceRegistry::Instance().DescribeIcon(icon, nullptr, &name)) return name;
    return icon ? "?" : "";
}

void Collect(const Window* dialog, const std::string& owner, HWND focus, std::vector<ControlState>& out) {
    for (const auto& c : dialog->Children()) {
        if (c->GetKind() == Window::Kind::Dialog) continue;
        ControlState state;
        c->Describe(state);
        state.owner = owner;
        state.focused = c->Handle() == focus;
        out.push_back(std::move(state));
    }
    for (const auto& c : dialog->Children()) {
        if (c->GetKind() == Window::Kind::Dialog && c->Visible())
            Collect(c.get(), static_cast<const DialogWindow*>(c.get())->Name(), focus, out);
    }
}

int DefaultButton(UINT type) {
    static const int kButtons[][3] = {{IDOK, IDOK, IDOK},          {IDOK, IDCANCEL, IDCANCEL}, {IDABORT, IDRETRY, IDIGNORE},
                                      {IDYES, IDNO, IDCANCEL},     {IDYES, IDNO, IDNO},        {IDRETRY, IDCANCEL, IDCANCEL}};
    UINT buttons = type & MB_TYPEMASK;
    if (buttons > 5) buttons = 0;
    UINT which = (type & MB_DEFMASK) >> 8;
    if (which > 2) which = 0;
    return kButtons[buttons][which];
}

}  // namespace

ScriptedPresenter& ScriptedPresenter::Add(Step step) {
    steps_.push_back(std::move(step));
    return *this;
}

ScriptedPresenter& ScriptedPresenter::Type(int id, std::string text) {
    std::string description = "type " + Quoted(text) + " into " + std::to_string(id);
    return Add(Step{Kind::Type, description, id, 0, std::move(text), false, {}});
}

ScriptedPresenter& ScriptedPresenter::Click(int id) {
    return Add(Step{Kind::Click, "click " + std::to_string(id), id, 0, {}, false, {}});
}

ScriptedPresenter& ScriptedPresenter::Check(int id, bool checked) {
    return Add(Step{Kind::Check, (checked ? "check " : "uncheck ") + std::to_string(id), id, 0, {}, checked, {}});
}

ScriptedPresenter& ScriptedPresenter::Select(int id, int index) {
    return Add(Step{Kind::Select, "select entry " + std::to_string(index) + " of " + std::to_string(id), id, index, {},
                    false, {}});
}

ScriptedPresenter& ScriptedPresenter::SelectText(int id, std::string text) {
    std::string description = "select " + Quoted(text) + " in " + std::to_string(id);
    return Add(Step{Kind::SelectText, description, id, 0, std::move(text), false, {}});
}

ScriptedPresenter& ScriptedPresenter::DoubleClick(int id, int index) {
    return Add(Step{Kind::DoubleClick, "double-click entry " + std::to_string(index) + " of " + std::to_string(id), id,
                    index, {}, false, {}});
}

ScriptedPresenter& ScriptedPresenter::TickRow(int id, int row) {
    return Add(Step{Kind::TickRow, "tick row " + std::to_string(row) + " of " + std::to_string(id), id, row, {}, false,
                    {}});
}

ScriptedPresenter& ScriptedPresenter::Scroll(int id, int position) {
    return Add(Step{Kind::Scroll, "move " + std::to_string(id) + " to " + std::to_string(position), id, position, {},
                    false, {}});
}

ScriptedPresenter& ScriptedPresenter::SelectPage(int index) {
    return Add(Step{Kind::SelectPage, "select page " + std::to_string(index), 0, index, {}, false, {}});
}

ScriptedPresenter& ScriptedPresenter::FireTimer(UINT_PTR id) {
    return Add(Step{Kind::FireTimer, "timer " + std::to_string(id), static_cast<int>(id), 0, {}, false, {}});
}

ScriptedPresenter& ScriptedPresenter::LetTimePass(DWORD ms) {
    return Add(Step{Kind::LetTimePass, "wait " + std::to_string(ms) + " ms", 0, static_cast<int>(ms), {}, false, {}});
}

ScriptedPresenter& ScriptedPresenter::Close() { return Add(Step{Kind::Close, "close", 0, 0, {}, false, {}}); }

ScriptedPresenter& ScriptedPresenter::Run(std::function<void(HWND)> action, std::string description) {
    return Add(Step{Kind::Run, std::move(description), 0, 0, {}, false, std::move(action)});
}

ScriptedPresenter& ScriptedPresenter::Answer(int button) {
    return Add(Step{Kind::Answer, "answer " + std::to_string(button), 0, button, {}, false, {}});
}

ScriptedPresenter& ScriptedPresenter::PickFile(std::string path) {
    std::string description = "pick " + Quoted(path);
    return Add(Step{Kind::PickFile, description, 0, 0, std::move(path), false, {}});
}

ScriptedPresenter& ScriptedPresenter::CancelFile() {
    return Add(Step{Kind::CancelFile, "cancel the open-file dialog", 0, 0, {}, false, {}});
}

const ScriptedPresenter::ShownDialog* ScriptedPresenter::FindDialog(const std::string& name) const {
    for (const ShownDialog& d : dialogs_)
        if (d.name == name) return &d;
    return nullptr;
}

void ScriptedPresenter::Problem(const std::string& dialogName, const std::string& what) {
    problems_.push_back(dialogName + ": " + what);
}

DialogState ScriptedPresenter::Snapshot(HWND dialog, const std::string& label) const {
    DialogState state;
    state.label = label;
    Window* w = Window::FromHandle(dialog);
    if (!w) return state;
    state.caption = w->Text();
    state.enabled = w->Enabled();
    state.smallIcon = IconName(w->Icon(true));
    state.bigIcon = IconName(w->Icon(false));
    state.colours = w->Painted();
    const std::string& owner = w->GetKind() == Window::Kind::Dialog ? static_cast<DialogWindow*>(w)->Name() : w->Text();
    Collect(w, owner, DialogRuntime::Focus(), state.controls);
    return state;
}

void ScriptedPresenter::RunModal(HWND dialog, const std::string& name) {
    size_t record = dialogs_.size();
    dialogs_.push_back(ShownDialog{name, {}, 0});
    DialogRuntime::Pump();
    dialogs_[record].states.push_back(Snapshot(dialog, "shown"));

    while (!DialogRuntime::Ended(dialog)) {
        if (steps_.empty()) {
            Problem(name, "the script ended while the dialog was open");
            // What a person would do: close it; a dialog that refuses is ended anyway.
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            if (!DialogRuntime::Ended(dialog)) DialogRuntime::ForceEnd(dialog, 0);
            break;
        }
        Step step = std::move(steps_.front());
        steps_.pop_front();
        Apply(dialog, step);
        DialogRuntime::Pump();
        if (IsWindow(dialog)) dialogs_[record].states.push_back(Snapshot(dialog, step.description));
    }
    if (Window* w = Window::FromHandle(dialog)) {
        dialogs_[record].states.push_back(Snapshot(dialog, "ended"));
        if (w->GetKind() == Window::Kind::Dialog) dialogs_[record].result = static_cast<DialogWindow*>(w)->Result();
    }
}

Window* ScriptedPresenter::Reach(HWND dialog, const Step& step, const std::string& dialogName) {
    Window* d = Window::FromHandle(dialog);
    Window* control = d ? UserAction::Find(d, step.id) : nullptr;
    if (!control) {
        Problem(dialogName, step.description + ": no such control");
        return nullptr;
    }
    HWND handle = control->Handle();
    if (std::string why = UserAction::Reach(control); !why.empty()) {
        Problem(dialogName, step.description + ": " + why);
        return nullptr;
    }
    return Window::FromHandle(handle);
}

void ScriptedPresenter::Apply(HWND dialog, const Step& step) {
    Window* d = Window::FromHandle(dialog);
    std::string dialogName = d && d->GetKind() == Window::Kind::Dialog ? static_cast<DialogWindow*>(d)->Name() : "?";
    auto report = [&](const std::string& why) {
        if (!why.empty()) Problem(dialogName, step.description + ": " + why);
    };

    switch (step.kind) {
    case Kind::Answer:
    case Kind::PickFile:
    case Kind::CancelFile:
        return report(step.kind == Kind::Answer ? "no message box is open" : "no open-file dialog is open");
    case Kind::Close: UserAction::Close(dialog); return;
    case Kind::Run: step.action(dialog); return;
    case Kind::LetTimePass: DialogRuntime::LetTimePass(static_cast<DWORD>(step.index)); return;
    case Kind::FireTimer:
        return report(d ? UserAction::FireTimer(d, static_cast<UINT_PTR>(step.id)) : "no such timer is running");
    case Kind::SelectPage: return report(d ? UserAction::SelectPage(d, step.index) : "the dialog has no pages");
    default: break;
    }

    Window* control = Reach(dialog, step, dialogName);
    if (!control) return;
    switch (step.kind) {
    case Kind::Click: return report(UserAction::Click(control));
    case Kind::Check: return report(UserAction::Check(control, step.flag));
    case Kind::Type: return report(UserAction::Type(control, step.text));
    case Kind::Select: return report(UserAction::Select(control, step.index));
    case Kind::SelectText: return report(UserAction::SelectText(control, step.text));
    case Kind::DoubleClick: return report(UserAction::DoubleClick(control, step.index));
    case Kind::TickRow: return report(UserAction::TickRow(control, step.index));
    case Kind::Scroll: return report(UserAction::Scroll(control, step.index));
    default: return;
    }
}

int ScriptedPresenter::ShowMessageBox(const MessageBoxRequest& request) {
    ShownMessageBox shown;
    shown.text = request.text;
    shown.caption = request.caption;
    shown.type = request.type;
    if (Window* owner = Window::FromHandle(request.owner)) shown.ownerCaption = owner->Root()->Text();
    shown.answer = DefaultButton(request.type);
    if (!steps_.empty() && steps_.front().kind == Kind::Answer) {
        shown.answer = steps_.front().index;
        steps_.pop_front();
    }
    messageBoxes_.push_back(shown);
    return shown.answer;
}

std::optional<std::string> ScriptedPresenter::ShowOpenFile(const OpenFileRequest& request) {
    ShownOpenFile shown{request, std::nullopt};
    if (!steps_.empty() && (steps_.front().kind == Kind::PickFile || steps_.front().kind == Kind::CancelFile)) {
        Step step = std::move(steps_.front());
        steps_.pop_front();
        if (step.kind == Kind::PickFile) {
            namespace fs = std::filesystem;
            std::error_code ec;
            fs::path path(step.text);
            fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
            // A person cannot confirm a name the dialog would reject.
            if ((request.flags & OFN_FILEMUSTEXIST) && (!fs::exists(path, ec) || fs::is_directory(path, ec)))
                Problem("open-file dialog", step.description + ": the file does not exist");
            else if ((request.flags & OFN_PATHMUSTEXIST) && !fs::is_directory(folder, ec))
                Problem("open-file dialog", step.description + ": the folder does not exist");
            else
                shown.chosen = step.text;
        }
    }
    openFiles_.push_back(shown);
    return shown.chosen;
}
