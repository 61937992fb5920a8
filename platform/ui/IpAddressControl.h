#pragma once
// IPv4 address fields: four numbers from 0 to 255, each of which may be blank.
#include <array>

#include "platform/ui/Window.h"

class IpAddressControl : public Window {
public:
    IpAddressControl(int id, DWORD style, std::string text, RECT rect);

    LRESULT Process(UINT message, WPARAM wParam, LPARAM lParam) override;
    UINT ColourMessage() const override { return Enabled() ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC; }

    // A person typing "a.b.c.d" (empty parts stay blank); false for anything else.
    bool UserType(const std::string& dotted);

private:
    using Fields = std::array<int, 4>;  // -1 = blank
    static bool Parse(const std::string& dotted, Fields* fields);
    void Assign(const Fields& fields, bool byUser);
    void UpdateText();

    Fields fields_{-1, -1, -1, -1};
};
