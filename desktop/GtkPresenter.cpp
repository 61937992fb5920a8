#include "desktop/GtkPresenter.h"

#include <cstdlib>
#include <memory>

#include "desktop/DialogView.h"
#include "platform/ui/DialogRuntime.h"

namespace {

// Dialog templates are laid out for a narrow 8-point font and tight controls; GTK's
// default font and spacing would not fit inside their rectangles.
constexpr const char* kDialogStyle = R"(
.kestrel-dialog { font-family: "DejaVu Sans", sans-serif; font-stretch: condensed; font-size: 7.5pt; }
.kestrel-dialog-face { background-color: #ececec; }
.kestrel-dialog button { min-height: 0; min-width: 0; padding: 0 4px; }
.kestrel-dialog entry { min-height: 0; padding: 0 3px; }
.kestrel-dialog checkbutton { min-height: 0; padding: 0; }
.kestrel-dialog check, .kestrel-dialog radio { min-width: 10px; min-height: 10px; margin: 0 4px 0 0; padding: 0;
  -gtk-icon-size: 8px; }
.kestrel-dialog dropdown > button { padding: 0 4px; }
.kestrel-dialog notebook > header > tabs > tab { min-height: 0; min-width: 0; padding: 2px 8px; }
.kestrel-dialog list row { min-height: 0; padding: 0 3px; }
.kestrel-dialog .kestrel-list { border: 1px solid #a0a0a0; background-color: white; }
.kestrel-dialog .kestrel-table-header { background-color: #e0e0e0; border-bottom: 1px solid #a0a0a0; }
.kestrel-dialog .kestrel-picture { border: 1px solid #a0a0a0; }
)";

constexpr auto kShowWait = std::chrono::milliseconds(500);

struct MessageBoxButtons {
    int ids[3];
    const char* labels[3];
};

// In the order the desktop places them; 0 ends a row.
constexpr MessageBoxButtons kMessageBoxButtons[] = {
    {{IDOK, 0, 0}, {"OK", nullptr, nullptr}},
    {{IDOK, IDCANCEL, 0}, {"OK", "Cancel", nullptr}},
    {{IDABORT, IDRETRY, IDIGNORE}, {"_Abort", "_Retry", "_Ignore"}},
    {{IDYES, IDNO, IDCANCEL}, {"_Yes", "_No", "Cancel"}},
    {{IDYES, IDNO, 0}, {"_Yes", "_No", nullptr}},
    {{IDRETRY, IDCANCEL, 0}, {"_Retry", "Cancel", nullptr}},
};

const char* IconName(UINT type) {
    switch (type & MB_ICONMASK) {
    case MB_ICONERROR: return "dialog-error";
    case MB_ICONQUESTION: return "dialog-question";
    case MB_ICONWARNING: return "dialog-warning";
    case MB_ICONINFORMATION: return "dialog-information";
    default: return nullptr;
    }
}

gboolean TickSource(gpointer presenter) {
    static_cast<GtkPresenter*>(presenter)->Tick();
    return G_SOURCE_CONTINUE;
}

void OnAnswer(GtkButton* button, int* answer) { *answer = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "id")); }

gboolean OnBoxClose(GtkWindow* window, int* answer) {
    if (int cancel = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(window), "cancel"))) *answer = cancel;
    return TRUE;
}

void OnFileResponse(GtkDialog*, int response, int* answer) { *answer = response; }

}  // namespace

std::string GtkPresenter::OpenDisplay() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!x11 || !*x11) && (!wayland || !*wayland)) return "neither DISPLAY nor WAYLAND_DISPLAY is set";
    if (!gtk_init_check()) return std::string("cannot open the display ") + (wayland && *wayland ? wayland : x11);
    static GtkCssProvider* style = [] {
        GtkCssProvider* provider = gtk_css_provider_new();
        gtk_css_provider_load_from_data(provider, kDialogStyle, -1);
        gtk_style_context_add_provider_for_display(gdk_display_get_default(), GTK_STYLE_PROVIDER(provider),
                                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        return provider;
    }();
    (void)style;
    return {};
}

GtkPresenter::GtkPresenter() = default;

GtkPresenter::~GtkPresenter() {
    if (refresh_) g_source_remove(refresh_);
}

void GtkPresenter::Shown(GtkWindow* window, const std::string& name, DialogView* view) {
    // The window is mapped and drawn before anyone looks at it. Some windows always
    // have work pending (the file chooser reading folders), so the wait is bounded.
    const auto end = std::chrono::steady_clock::now() + kShowWait;
    while ((!gtk_widget_get_mapped(GTK_WIDGET(window)) || g_main_context_pending(nullptr)) &&
           std::chrono::steady_clock::now() < end)
        g_main_context_iteration(nullptr, FALSE);
    if (shown_) shown_(window, name, view);
}

void GtkPresenter::AfterAction() {
    DialogRuntime::Pump();
    if (!refresh_) {
        refresh_ = g_idle_add(
            [](gpointer self) -> gboolean {
                auto* presenter = static_cast<GtkPresenter*>(self);
                presenter->refresh_ = 0;
                presenter->RefreshAll();
                return G_SOURCE_REMOVE;
            },
            this);
    }
}

void GtkPresenter::Tick() {
    DialogRuntime::Pump();
    const auto now = std::chrono::steady_clock::now();
    carried_ += now - lastTick_;
    lastTick_ = now;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(carried_);
    carried_ -= ms;
    if (ms.count() > 0) DialogRuntime::LetTimePass(static_cast<DWORD>(ms.count()));
    DialogRuntime::Pump();
    RefreshAll();
}

void GtkPresenter::RefreshAll() {
    const std::vector<DialogView*> views = views_;
    for (DialogView* view : views) view->Refresh();
}

GtkWindow* GtkPresenter::OwnerWindow() const { return views_.empty() ? nullptr : views_.back()->Window(); }

void GtkPresenter::RunModal(HWND dialog, const std::string& name) {
    DialogRuntime::Pump();
    auto view = std::make_unique<DialogView>(this, dialog, name, OwnerWindow());
    views_.push_back(view.get());
    if (views_.size() == 1) {
        lastTick_ = std::chrono::steady_clock::now();
        carried_ = {};
    }
    const guint tick = g_timeout_add(kTickMs, TickSource, this);
    Shown(view->Window(), name, view.get());
    while (!DialogRuntime::Ended(dialog)) g_main_context_iteration(nullptr, TRUE);
    g_source_remove(tick);
    views_.pop_back();
}

int GtkPresenter::ShowMessageBox(const MessageBoxRequest& request) {
    UINT kind = request.type & MB_TYPEMASK;
    if (kind >= std::size(kMessageBoxButtons)) kind = MB_OK;
    const MessageBoxButtons& buttons = kMessageBoxButtons[kind];

    GtkWindow* box = GTK_WINDOW(gtk_window_new());
    gtk_widget_add_css_class(GTK_WIDGET(box), "kestrel-dialog");
    gtk_window_set_title(box, request.caption.c_str());
    gtk_window_set_modal(box, TRUE);
    gtk_window_set_resizable(box, FALSE);
    if (GtkWindow* owner = OwnerWindow()) gtk_window_set_transient_for(box, owner);

    GtkWidget* face = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    gtk_widget_add_css_class(face, "kestrel-dialog-face");
    for (auto margin : {gtk_widget_set_margin_top, gtk_widget_set_margin_bottom, gtk_widget_set_margin_start,
                        gtk_widget_set_margin_end})
        margin(face, 12);
    GtkWidget* message = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    if (const char* icon = IconName(request.type)) {
        GtkWidget* image = gtk_image_new_from_icon_name(icon);
        gtk_image_set_pixel_size(GTK_IMAGE(image), 32);
        gtk_box_append(GTK_BOX(message), image);
    }
    GtkWidget* text = gtk_label_new(request.text.c_str());
    gtk_label_set_wrap(GTK_LABEL(text), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(text), 60);
    gtk_label_set_xalign(GTK_LABEL(text), 0.0f);
    gtk_box_append(GTK_BOX(message), text);
    gtk_box_append(GTK_BOX(face), message);

    int answer = 0;
    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    gtk_widget_set_halign(row, GTK_ALIGN_CENTER);
    UINT defaultIndex = (request.type & MB_DEFMASK) >> 8;
    GtkWidget* first = nullptr;
    GtkWidget* chosenDefault = nullptr;
    int cancel = 0;
    for (UINT i = 0; i < 3 && buttons.ids[i]; ++i) {
        GtkWidget* button = gtk_button_new_with_mnemonic(buttons.labels[i]);
        gtk_widget_set_size_request(button, 75, -1);
        g_object_set_data(G_OBJECT(button), "id", GINT_TO_POINTER(buttons.ids[i]));
        g_signal_connect(button, "clicked", G_CALLBACK(OnAnswer), &answer);
        gtk_box_append(GTK_BOX(row), button);
        if (!first) first = button;
        if (i == defaultIndex) chosenDefault = button;
        if (buttons.ids[i] == IDCANCEL) cancel = IDCANCEL;
    }
    gtk_box_append(GTK_BOX(face), row);
    gtk_window_set_child(box, face);
    // Only a box with Cancel, or with OK alone, may be closed; closing answers that.
    if (!cancel && kind == MB_OK) cancel = IDOK;
    gtk_window_set_deletable(box, cancel != 0);
    g_object_set_data(G_OBJECT(box), "cancel", GINT_TO_POINTER(cancel));
    g_signal_connect(box, "close-request", G_CALLBACK(OnBoxClose), &answer);
    GtkWidget* focus = chosenDefault ? chosenDefault : first;
    gtk_window_set_default_widget(box, focus);
    gtk_window_present(box);
    gtk_widget_grab_focus(focus);

    Shown(box, request.caption, nullptr);
    while (!answer) g_main_context_iteration(nullptr, TRUE);
    gtk_window_destroy(box);
    return answer;
}

std::optional<std::string> GtkPresenter::ShowOpenFile(const OpenFileRequest& request) {
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GtkWidget* chooser = gtk_file_chooser_dialog_new(request.title.empty() ? "Open" : request.title.c_str(),
                                                     OwnerWindow(), GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
                                                     GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* files = GTK_FILE_CHOOSER(chooser);
    gtk_window_set_modal(GTK_WINDOW(chooser), TRUE);
    for (size_t i = 0; i < request.filters.size(); ++i) {
        GtkFileFilter* filter = gtk_file_filter_new();
        gtk_file_filter_set_name(filter, request.filters[i].first.c_str());
        const std::string& patterns = request.filters[i].second;
        for (size_t start = 0; start <= patterns.size();) {
            size_t end = patterns.find(';', start);
            if (end == std::string::npos) end = patterns.size();
            std::string pattern = patterns.substr(start, end - start);
            while (!pattern.empty() && pattern.front() == ' ') pattern.erase(pattern.begin());
            if (!pattern.empty()) gtk_file_filter_add_pattern(filter, pattern.c_str());
            start = end + 1;
        }
        gtk_file_chooser_add_filter(files, filter);
        // The request counts filters from 1.
        if (request.filterIndex == i + 1) gtk_file_chooser_set_filter(files, filter);
        g_object_unref(filter);
    }
    if (!request.initialDirectory.empty()) {
        GFile* folder = g_file_new_for_path(request.initialDirectory.c_str());
        gtk_file_chooser_set_current_folder(files, folder, nullptr);
        g_object_unref(folder);
    }
    if (!request.initialFile.empty()) {
        GFile* file = g_file_new_for_path(request.initialFile.c_str());
        gtk_file_chooser_set_file(files, file, nullptr);
        g_object_unref(file);
    }
    int response = 0;
    g_signal_connect(chooser, "response", G_CALLBACK(OnFileResponse), &response);
    gtk_window_present(GTK_WINDOW(chooser));
    Shown(GTK_WINDOW(chooser), "open-file", nullptr);
    while (!response) g_main_context_iteration(nullptr, TRUE);

    std::optional<std::string> chosen;
    if (response == GTK_RESPONSE_ACCEPT) {
        if (GFile* file = gtk_file_chooser_get_file(files)) {
            if (char* path = g_file_get_path(file)) {
                chosen = path;
                g_free(path);
            }
            g_object_unref(file);
        }
    }
    gtk_window_destroy(GTK_WINDOW(chooser));
    G_GNUC_END_IGNORE_DEPRECATIONS
    return chosen;
}
