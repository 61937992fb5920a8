#pragma once
// A presenter that works dialogs from a script, for tests: a queue of the things a
// person would do, applied in order to whatever dialog is on top (nested dialogs,
// message boxes and the open-file dialog take their steps from the same queue). It
// records what every dialog showed after each step, every message box and every
// open-file dialog, and every step that a person could not have taken (a disabled
// or missing control, a script that ran out while a dialog was still open...).
// One script serves one thread's dialogs at a time.
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Presenter.h"
#include "platform/ui/WindowState.h"

class Window;

class ScriptedPresenter : public Presenter {
public:
    struct ShownDialog {
        std::string name;
        // "shown", then one entry per step taken on this dialog, then "ended"
        std::vector<DialogState> states;
        INT_PTR result = 0;

        const DialogState& Shown() const { return states.front(); }
        const DialogState& Last() const { return states.back(); }
    };
    struct ShownMessageBox {
        std::string text;
        std::string caption;
        UINT type = 0;
        std::string ownerCaption;
        int answer = 0;

        UINT Icon() const { return type & MB_ICONMASK; }
        UINT Buttons() const { return type & MB_TYPEMASK; }
    };
    struct ShownOpenFile {
        OpenFileRequest request;
        std::optional<std::string> chosen;
    };

    // Steps. Controls are found by identifier in the dialog on top, then in its
    // visible pages.
    ScriptedPresenter& Type(int id, std::string text);
    ScriptedPresenter& Click(int id);
    // Clicks a check box or radio button when it is not yet in that state.
    ScriptedPresenter& Check(int id, bool checked = true);
    // List box, combo box, table row or tab.
    ScriptedPresenter& Select(int id, int index);
    ScriptedPresenter& SelectText(int id, std::string text);
    // -1 in a table: a double click where no row is.
    ScriptedPresenter& DoubleClick(int id, int index);
    ScriptedPresenter& TickRow(int id, int row);
    ScriptedPresenter& Scroll(int id, int position);
    ScriptedPresenter& SelectPage(int index);
    ScriptedPresenter& FireTimer(UINT_PTR id);
    ScriptedPresenter& LetTimePass(DWORD ms);
    // The title bar's close button.
    ScriptedPresenter& Close();
    ScriptedPresenter& Ok() { return Click(IDOK); }
    ScriptedPresenter& Cancel() { return Click(IDCANCEL); }
    // Anything else, on the dialog's own thread: inspections, calls a person's
    // action would cause.
    ScriptedPresenter& Run(std::function<void(HWND dialog)> action, std::string description = "run");
    // The next message box is answered with button; unscripted ones get their default.
    ScriptedPresenter& Answer(int button);
    // The next open-file dialog; unscripted ones are cancelled.
    ScriptedPresenter& PickFile(std::string path);
    ScriptedPresenter& CancelFile();

    const std::vector<ShownDialog>& Dialogs() const { return dialogs_; }
    // The first dialog of that name, or null.
    const ShownDialog* FindDialog(const std::string& name) const;
    const std::vector<ShownMessageBox>& MessageBoxes() const { return messageBoxes_; }
    const std::vector<ShownOpenFile>& OpenFileDialogs() const { return openFiles_; }
    const std::vector<std::string>& Problems() const { return problems_; }
    size_t StepsLeft() const { return steps_.size(); }

    // Presenter
    void RunModal(HWND dialog, const std::string& name) override;
    int ShowMessageBox(const MessageBoxRequest& request) override;
    std::optional<std::string> ShowOpenFile(const OpenFileRequest& request) override;

private:
    enum class Kind {
        Type, Click, Check, Select, SelectText, DoubleClick, TickRow, Scroll, SelectPage, FireTimer, LetTimePass,
        Close, Run, Answer, PickFile, CancelFile
    };
    struct Step {
        Kind kind;
        std::string description;
        int id = 0;
        int index = 0;
        std::string text;
        bool flag = false;
        std::function<void(HWND)> action;
    };

    ScriptedPresenter& Add(Step step);
    void Apply(HWND dialog, const Step& step);
    void Problem(const std::string& dialogName, const std::string& what);
    DialogState Snapshot(HWND dialog, const std::string& label) const;
    // The control a person could reach in the dialog on top; null (and a problem
    // noted) when there is none or it cannot be used.
    Window* Reach(HWND dialog, const Step& step, const std::string& dialogName);

    std::deque<Step> steps_;
    std::vector<ShownDialog> dialogs_;
    std::vector<ShownMessageBox> messageBoxes_;
    std::vector<ShownOpenFile> openFiles_;
    std::vector<std::string> problems_;
};
