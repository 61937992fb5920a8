#include "tests/desktop/DesktopTestSupport.h"

#include <gtest/gtest.h>

#include "desktop/DialogView.h"
#include "platform/ui/Window.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

namespace {

constexpr int kBlock = 8;
// Fonts and anti-aliasing differ between machines: a block counts as different only
// when its mean brightness moves this far, and an image only when many blocks do.
constexpr int kBlockThreshold = 40;
constexpr double kMaxDifferentShare = 0.04;
constexpr int kSizeSlack = 2;

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

struct Grey {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;
};

Grey ToGrey(GdkTexture* texture) {
    Grey grey{gdk_texture_get_width(texture), gdk_texture_get_height(texture), {}};
    std::vector<guchar> bgra(static_cast<size_t>(grey.width) * grey.height * 4);
    gdk_texture_download(texture, bgra.data(), static_cast<gsize>(grey.width) * 4);
    grey.pixels.resize(static_cast<size_t>(grey.width) * grey.height);
    for (size_t i = 0; i < grey.pixels.size(); ++i)
        grey.pixels[i] = static_cast<unsigned char>((bgra[i * 4] * 29 + bgra[i * 4 + 1] * 150 + bgra[i * 4 + 2] * 77) >> 8);
    return grey;
}

Grey Crop(const Grey& g, int width, int height) {
    Grey out{width, height, std::vector<unsigned char>(static_cast<size_t>(width) * height)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) out.pixels[static_cast<size_t>(y) * width + x] = g.pixels[static_cast<size_t>(y) * g.width + x];
    return out;
}

GdkTexture* Render(GtkWidget* widget) {
    const int width = gtk_widget_get_width(widget);
    const int height = gtk_widget_get_height(widget);
    GdkPaintable* paintable = gtk_widget_paintable_new(widget);
    GtkSnapshot* snapshot = gtk_snapshot_new();
    gdk_paintable_snapshot(paintable, snapshot, width, height);
    GskRenderNode* node = gtk_snapshot_free_to_node(snapshot);
    GdkTexture* texture = nullptr;
    if (node) {
        graphene_rect_t bounds = GRAPHENE_RECT_INIT(0, 0, static_cast<float>(width), static_cast<float>(height));
        texture = gsk_renderer_render_texture(gtk_native_get_renderer(gtk_widget_get_native(widget)), node, &bounds);
        gsk_render_node_unref(node);
    }
    g_object_unref(paintable);
    return texture;
}

struct Box {
    std::string what;
    graphene_rect_t r;
};

bool Overlap(const graphene_rect_t& a, const graphene_rect_t& b) {
    return a.origin.x < b.origin.x + b.size.width && b.origin.x < a.origin.x + a.size.width &&
           a.origin.y < b.origin.y + b.size.height && b.origin.y < a.origin.y + a.size.height;
}

}  // namespace

void CheckLayout(DialogView& view) {
    GtkWidget* content = view.Content();
    const float width = static_cast<float>(gtk_widget_get_width(content));
    const float height = static_cast<float>(gtk_widget_get_height(content));
    std::vector<Box> placed;
    for (const auto& [handle, control] : view.Controls()) {
        GtkWidget* widget = control->Outer();
        if (!gtk_widget_get_visible(widget)) continue;
        const Window* w = Window::FromHandle(handle);
        const std::string what = view.Name() + " control " + std::to_string(w->Id()) + " \"" + w->Text() + "\"";
        EXPECT_TRUE(gtk_widget_get_mapped(widget)) << what;
        graphene_rect_t r;
        ASSERT_TRUE(gtk_widget_compute_bounds(widget, content, &r)) << what;
        EXPECT_GT(r.size.width, 0) << what;
        EXPECT_GT(r.size.height, 0) << what;
        EXPECT_TRUE(r.origin.x >= 0 && r.origin.y >= 0 && r.origin.x + r.size.width <= width &&
                    r.origin.y + r.size.height <= height)
            << what << " lies outside the dialog";
        // Text that needs more height than the control has would be cut off.
        int minimum = 0;
        gtk_widget_measure(widget, GTK_ORIENTATION_VERTICAL, static_cast<int>(r.size.width), &minimum, nullptr, nullptr,
                           nullptr);
        if (!GTK_IS_LABEL(widget)) {
            EXPECT_LE(minimum, r.size.height + 1) << what << " is too low for its content";
        }
        if (!control->Frames()) placed.push_back({what, r});
    }
    for (size_t i = 0; i < placed.size(); ++i)
        for (size_t j = i + 1; j < placed.size(); ++j)
            EXPECT_FALSE(Overlap(placed[i].r, placed[j].r)) << placed[i].what << " covers " << placed[j].what;
}

unsigned PixelAt(GtkWidget* widget, int x, int y) {
    GdkTexture* texture = Render(widget);
    if (!texture) return 0xFFFFFFFFu;
    const int width = gdk_texture_get_width(texture);
    std::vector<guchar> bgra(static_cast<size_t>(width) * gdk_texture_get_height(texture) * 4);
    gdk_texture_download(texture, bgra.data(), static_cast<gsize>(width) * 4);
    g_object_unref(texture);
    const guchar* p = &bgra[(static_cast<size_t>(y) * width + x) * 4];
    return (static_cast<unsigned>(p[2]) << 16) | (static_cast<unsigned>(p[1]) << 8) | p[0];
}

bool PixelNear(unsigned a, unsigned b) {
    for (int shift : {0, 8, 16})
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > 4) return false;
    return true;
}

std::vector<GtkWidget*> Toplevels() {
    std::vector<GtkWidget*> windows;
    GListModel* list = gtk_window_get_toplevels();
    for (guint i = 0; i < g_list_model_get_n_items(list); ++i) {
        auto* window = static_cast<GtkWidget*>(g_list_model_get_item(list, i));
        windows.push_back(window);
        g_object_unref(window);
    }
    return windows;
}

bool RunUntil(const std::function<bool()>& done, int limitMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return done();
        if (!g_main_context_iteration(nullptr, FALSE)) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void Settle() {
    // Two frames: a refresh queued by the first may need the second to be drawn.
    for (int i = 0; i < 2; ++i) {
        RunUntil([] { return !g_main_context_pending(nullptr); }, 500);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
}

double DifferentBlockShare(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b, int width,
                           int height, int threshold) {
    int blocks = 0;
    int different = 0;
    for (int by = 0; by + kBlock <= height; by += kBlock) {
        for (int bx = 0; bx + kBlock <= width; bx += kBlock) {
            long sumA = 0;
            long sumB = 0;
            for (int y = by; y < by + kBlock; ++y) {
                for (int x = bx; x < bx + kBlock; ++x) {
                    sumA += a[static_cast<size_t>(y) * width + x];
                    sumB += b[static_cast<size_t>(y) * width + x];
                }
            }
            ++blocks;
            if (std::labs(sumA - sumB) > static_cast<long>(threshold) * kBlock * kBlock) ++different;
        }
    }
    return blocks ? static_cast<double>(different) / blocks : 0.0;
}

std::string CheckScreenshot(GtkWidget* widget, const std::string& name) {
    namespace fs = std::filesystem;
    GdkTexture* shot = Render(widget);
    if (!shot) return name + ": nothing was drawn";
    const fs::path outDir = Env("KESTREL_SCREENSHOT_DIR");
    const fs::path refDir = Env("KESTREL_REFERENCE_DIR");
    std::error_code ec;
    fs::create_directories(outDir, ec);
    const std::string shotPath = (outDir / (name + ".png")).string();
    const std::string refPath = (refDir / (name + ".png")).string();
    gdk_texture_save_to_png(shot, shotPath.c_str());
    if (Env("KESTREL_UPDATE_REFERENCES") == "1") gdk_texture_save_to_png(shot, refPath.c_str());

    std::string problem;
    GError* error = nullptr;
    GdkTexture* reference = fs::exists(refPath) ? gdk_texture_new_from_filename(refPath.c_str(), &error) : nullptr;
    if (!reference) {
        problem = name + ": no reference " + refPath + " (look at " + shotPath +
                  "; if it is right, run the test with KESTREL_UPDATE_REFERENCES=1 and commit the reference)";
        if (error) g_error_free(error);
    } else {
        Grey a = ToGrey(shot);
        Grey b = ToGrey(reference);
        if (std::abs(a.width - b.width) > kSizeSlack || std::abs(a.height - b.height) > kSizeSlack) {
            problem = name + ": " + std::to_string(a.width) + "x" + std::to_string(a.height) + " against the reference's " +
                      std::to_string(b.width) + "x" + std::to_string(b.height);
        } else {
            const int width = std::min(a.width, b.width);
            const int height = std::min(a.height, b.height);
            const double share = DifferentBlockShare(Crop(a, width, height).pixels, Crop(b, width, height).pixels, width,
                                                     height, kBlockThreshold);
            if (share > kMaxDifferentShare)
                problem = name + ": " + std::to_string(static_cast<int>(share * 100)) + "% of the picture differs from " +
                          refPath + " (see " + shotPath + ")";
        }
        g_object_unref(reference);
    }
    g_object_unref(shot);
    return problem;
}
