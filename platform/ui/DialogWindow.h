#pragma once
// A dialog or property page window: its procedure sees every message first; what the
// procedure leaves alone gets the platform's default dialog handling.
#include <string>

#include "platform/ui/Window.h"

class DialogWindow : public Window {
public:
    DialogWindow(std::string name, std::string caption, DWORD style, RECT rect, DLGPROC proc);

    LRESULT Process(UINT message, WPARAM wParam, LPARAM lParam) override;
    UINT ColourMessage() const override { return WM_CTLCOLORDLG; }
    LONG_PTR GetLong(int index, bool* valid) const override;
    LONG_PTR SetLong(int index, LONG_PTR value, bool* valid) override;
    void Describe(ControlState& state) const override;

    // The template's name, for records.
    const std::string& Name() const { return name_; }

    void End(INT_PTR result) {
        ended_ = true;
        result_ = result;
    }
    bool Ended() const { return ended_; }
    INT_PTR Result() const { return result_; }
    bool InModalLoop() const { return inModalLoop_; }
    void SetInModalLoop(bool running) { inModalLoop_ = running; }

protected:
    // The platform's handling of what the procedure did not handle.
    virtual LRESULT DefaultDialogProcess(UINT message, WPARAM wParam, LPARAM lParam);

private:
    std::string name_;
    DLGPROC proc_;
    LONG_PTR messageResult_ = 0;
    LONG_PTR user_ = 0;
    bool ended_ = false;
    INT_PTR result_ = 0;
    bool inModalLoop_ = false;
};
