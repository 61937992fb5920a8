#pragma once
// A dialog resource: what the desktop's resource compiler makes of a DIALOGEX block.
// Positions and sizes are in dialog units, as in resource scripts.
#include <string>
#include <vector>

#include "platform/ui/UiTypes.h"

struct ControlTemplate {
    int id = IDC_STATIC;
    std::string className;  // WC_BUTTON, WC_EDIT, ... (compared without regard to case)
    std::string text;       // the caption; for a picture the image's resource name
    short x = 0;
    short y = 0;
    short cx = 0;
    short cy = 0;
    DWORD style = 0;        // WS_CHILD is implied; WS_VISIBLE is implied unless hidden is set
    bool hidden = false;
};

struct DialogTemplate {
    std::string caption;
    short x = 0;
    short y = 0;
    short cx = 0;
    short cy = 0;
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    std::string fontName = "MS Sans Serif";
    WORD pointSize = 8;
    std::vector<ControlTemplate> controls;
};
