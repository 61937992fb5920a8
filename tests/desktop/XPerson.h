#pragma once
// A person at the X display, outside the program under test: finds its windows the way
// a window manager would and works them with the pointer and the keyboard through the
// X test extension.
#include <sys/types.h>

#include <string>
#include <vector>

struct _XDisplay;

class XPerson {
public:
    struct Place {
        unsigned long window = 0;  // 0: not found
        int x = 0, y = 0;          // top-left corner on the screen
        int width = 0, height = 0;
    };

    XPerson();
    XPerson(const XPerson&) = delete;
    XPerson& operator=(const XPerson&) = delete;

    // Empty when the display and its test extension can be used, else why not.
    const std::string& Problem() const { return problem_; }

    // The viewable top-level window of that process with that title, waited for.
    Place WaitForWindow(pid_t process, const std::string& title, int limitMs = 10000);
    // Whether that window is still there and viewable.
    bool Shows(unsigned long window);

    // The pixels of a rectangle of the window, as 0xRRGGBB row by row; empty when it
    // cannot be read.
    std::vector<unsigned long> Look(unsigned long window, int x, int y, int width, int height);

    void MoveTo(int x, int y);
    // Presses and releases the first button where the pointer is moved to.
    void Click(int x, int y);
    // What a window manager sends when its close button is clicked.
    void Close(unsigned long window);
    // Printable ASCII, shifted where the keymap needs it.
    std::string Type(const std::string& text);
    // A key by its X name ("Return", "Escape"), with Control held when asked.
    std::string Press(const std::string& key, bool control = false);

private:
    void Key(unsigned keycode, bool down);

    _XDisplay* display_ = nullptr;
    std::string problem_;
};
