#pragma once
// Single-line edit fields.
#include "platform/ui/Window.h"

class EditControl : public Window {
public:
    static constexpr size_t kDefaultLimit = 30000;

    EditControl(int id, DWORD style, std::string text, RECT rect);

    LRESULT Process(UINT message, WPARAM wParam, LPARAM lParam) override;
    UINT ColourMessage() const override;

    bool ReadOnly() const { return (Style() & ES_READONLY) != 0; }
    // A person replacing the text by typing: characters a numeric field refuses and
    // anything beyond the limit never arrive. Returns what could not be typed, for the
    // record (empty when everything arrived).
    std::string UserType(const std::string& text);

private:
    void Changed();

    size_t limit_ = kDefaultLimit;
    DWORD selectionStart_ = 0;
    DWORD selectionEnd_ = 0;
};
