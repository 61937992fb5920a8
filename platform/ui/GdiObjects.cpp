#include "platform/ui/GdiObjects.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <utility>

namespace {

struct Brush {
    COLORREF colour;
    bool hollow;
};

struct Context {
    HWND window;
    DeviceContextState state;
    HGDIOBJ font = nullptr;
};

// Handles are used from any thread (brushes are often made once and shared).
struct Objects {
    std::mutex m;
    std::map<HBRUSH, std::unique_ptr<Brush>> brushes;
    std::map<HDC, std::unique_ptr<Context>> contexts;
    std::set<HGDIOBJ> stock;
};

Objects& Table() {
    static Objects* objects = new Objects;  // outlives every static that might free a brush
    return *objects;
}

HBRUSH AddBrush(COLORREF colour, bool hollow, bool stock) {
    auto brush = std::make_unique<Brush>(Brush{colour, hollow});
    HBRUSH handle = reinterpret_cast<HBRUSH>(brush.get());
    Objects& t = Table();
    std::lock_guard<std::mutex> guard(t.m);
    t.brushes.emplace(handle, std::move(brush));
    if (stock) t.stock.insert(handle);
    return handle;
}

Context* FindContext(Objects& t, HDC dc) {
    auto it = t.contexts.find(dc);
    return it == t.contexts.end() ? nullptr : it->second.get();
}

COLORREF SystemColour(int index) {
    switch (index) {
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWTEXT: return RGB(0, 0, 0);
    case COLOR_BTNFACE: return RGB(240, 240, 240);
    case COLOR_GRAYTEXT: return RGB(109, 109, 109);
    default: return RGB(0, 0, 0);
    }
}

}  // namespace

bool DescribeBrush(HBRUSH brush, COLORREF* colour, bool* hollow) {
    Objects& t = Table();
    std::lock_guard<std::mutex> guard(t.m);
    auto it = t.brushes.find(brush);
    if (it == t.brushes.end()) return false;
    if (colour) *colour = it->second->colour;
    if (hollow) *hollow = it->second->hollow;
    return true;
}

HDC CreatePaintContext(HWND window) {
    auto context = std::make_unique<Context>(Context{window, {}, nullptr});
    HDC handle = reinterpret_cast<HDC>(context.get());
    Objects& t = Table();
    std::lock_guard<std::mutex> guard(t.m);
    t.contexts.emplace(handle, std::move(context));
    return handle;
}

bool ReadContext(HDC dc, DeviceContextState* state) {
    Objects& t = Table();
    std::lock_guard<std::mutex> guard(t.m);
    Context* c = FindContext(t, dc);
    if (!c) return false;
    if (state) *state = c->state;
    return true;
}

HBRUSH CreateSolidBrush(COLORREF colour) { return AddBrush(colour & 0x00FFFFFF, false, false); }

HGDIOBJ GetStockObject(int object) {
    static HBRUSH white = AddBrush(RGB(255, 255, 255), false, true);
    static HBRUSH light = AddBrush(RGB(192, 192, 192), false, true);
    static HBRUSH grey = AddBrush(RGB(128, 128, 128), false, true);
    static HBRUSH dark = AddBrush(RGB(64, 64, 64), false, true);
    static HBRUSH black = AddBrush(RGB(0, 0, 0), false, true);
    static HBRUSH hollow = AddBrush(RGB(0, 0, 0), true, true);
    switch (object) {
    case WHITE_BRUSH: return white;
    case LTGRAY_BRUSH: return light;
    case GRAY_BRUSH: return grey;
    case DKGRAY_BRUSH: return dark;
    case BLACK_BRUSH: return black;
    case NULL_BRUSH: return hollow;
    default: return nullptr;
    }
}

DWORD GetSysColor(int index) { return SystemColour(index); }

BOOL DeleteObject(HGDIOBJ object) {
    Objects& t = Table();
    std::lock_guard<std::mutex> guard(t.m);
    if (t.stock.count(object)) return TRUE;
    return t.brushes.erase(static_cast<HBRUSH>(object)) ? TRUE : FALSE;
}

int GetObjectA(HGDIOBJ object, int size, void* buffer) {
    COLORREF colour = 0;
    bool hollow = false;
    if (!DescribeBrush(static_cast<HBRUSH>(object), &colour, &hollow)) return 0;
    if (!buffer) return static_cast<int>(sizeof(LOGBRUSH));
    if (size < static_cast<int>(sizeof(LOGBRUSH))) return 0;
    auto* lb = static_cast<LOGBRUSH*>(buffer);
    lb->lbStyle = hollow ? BS_HOLLOW : BS_SOLID;
    lb->lbColor = colour;
    lb->lbHatch = 0;
    return static_cast<int>(sizeof(LOGBRUSH));
}

namespace {

COLORREF ExchangeColour(HDC dc, COLORREF DeviceContextState::*field, COLORREF colour) {
    Objects& t = Table();
    std::lock_guard<std::mutex> guard(t.m);
    Context* c = FindContext(t, dc);
    if (!c) return CLR_INVALID;
    return std::exchange(c->state.*field, colour & 0x00FFFFFF);
}

}  // namespace

COLORREF SetTextColor(HDC dc, COLORREF colour) { return ExchangeColour(dc, &DeviceContextState::text, colour); }

COLORREF SetBkColor(HDC dc, COLORREF colour) {
    return ExchangeColour(dc, &DeviceContextState::background, colour);
}

int SetBkMode(HDC dc, int mode) {
    if (mode != TRANSPARENT && mode != OPAQUE) return 0;
    Objects& t = Table();
    std::lock_guard<std::mutex> guard(t.m);
    Context* c = FindContext(t, dc);
    if (!c) return 0;
    int previous = c->state.backgroundMode;
    c->state.backgroundMode = mode;
    return previous;
}

int ReleaseDC(HWND /*window*/, HDC dc) {
    Objects& t = Table();
    std::lock_guard<std::mutex> guard(t.m);
    return t.contexts.erase(dc) ? 1 : 0;
}

