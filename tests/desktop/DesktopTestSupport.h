#pragma once
// What the desktop tests share: running GTK until something happens, and screenshots
// compared with reviewed references.
#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

// Runs the main context until done() holds or the time is up; done()'s last answer.
bool RunUntil(const std::function<bool()>& done, int limitMs = 3000);
// Lets pending GTK work (drawing, idle refreshes) happen.
void Settle();

class DialogView;
// Visible controls have room, lie inside the dialog and do not cover each other; tab
// strips and group boxes frame other controls on purpose and are left out of the last.
void CheckLayout(DialogView& view);

// The colour the widget shows at that point, as 0xRRGGBB.
unsigned PixelAt(GtkWidget* widget, int x, int y);
// The same colour, give or take the rounding of a channel by rendering.
bool PixelNear(unsigned a, unsigned b);
// Every window GTK has open.
std::vector<GtkWidget*> Toplevels();

// Saves the widget's picture as NAME.png among the test output and compares it with the
// reference of that name; empty when they agree, else what differs (or how to make
// the reference when there is none).
std::string CheckScreenshot(GtkWidget* widget, const std::string& name);

// Block-mean difference of two grey images of the same size: the share of 8x8 blocks
// whose mean brightness differs by more than the threshold.
double DifferentBlockShare(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b, int width,
                           int height, int threshold);
