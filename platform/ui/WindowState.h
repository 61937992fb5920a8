#pragma once
// What a window showed at one moment, as presenters record it.
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/UiTypes.h"

// The colours a control was painted with: those its dialog chose in answer to the
// colour message, or the system's when the dialog left them alone.
struct PaintedColours {
    bool custom = false;          // the dialog answered with a brush
    bool brushValid = true;       // that answer was a live brush
    COLORREF text = 0;            // text colour set on the device context
    COLORREF textBackground = 0;  // background colour set on the device context
    int backgroundMode = OPAQUE;
    COLORREF background = 0;      // the fill: the brush's colour
};

struct ListRowState {
    std::vector<std::string> cells;
    bool checked = false;
    bool selected = false;
};

struct ControlState {
    std::string owner;  // name of the dialog or page that holds the control
    int id = IDC_STATIC;
    std::string className;
    std::string text;
    bool enabled = true;
    bool visible = true;
    bool focused = false;
    int check = -1;  // BST_ value for check boxes and radio buttons, -1 for anything else
    std::vector<std::string> items;  // list box, combo box and tab entries
    int selection = -1;
    std::vector<std::string> columns;  // report tables
    std::vector<ListRowState> rows;
    std::optional<PaintedColours> colours;
};

struct DialogState {
    std::string label;  // why it was taken: "shown", the action, "ended"
    std::string caption;
    bool enabled = true;
    std::string smallIcon;  // resource name of the icon, empty for none
    std::string bigIcon;
    std::optional<PaintedColours> colours;
    std::vector<ControlState> controls;

    // The first control with this identifier, the dialog's own before its pages'.
    const ControlState* Find(int id) const {
        for (const ControlState& c : controls)
            if (c.id == id) return &c;
        return nullptr;
    }
};
