// A feed's own dialog in a window: the file feed colours its bitrate field by the value
// typed, and the window shows those colours.
#include <gtest/gtest.h>

#include "desktop/DialogView.h"
#include "desktop/GtkPresenter.h"
#include "feeds/file/FileFeed.h"
#include "feeds/file/FileFeedDialog.h"
#include "host/HostResources.h"
#include "tests/desktop/DesktopTestSupport.h"
#include "tests/platform/RegistryTestSupport.h"

namespace {

TEST(DesktopFeedDialog, TheFileFeedsBitrateFieldShowsItsWarningColours) {
    ASSERT_EQ(GtkPresenter::OpenDisplay(), "");
    RegisterHostResources();
    ScopedRegistryHome home;
    CFileFeed feed;
    feed.SetBitrate(5'000'000);
    GtkPresenter presenter;
    ScopedPresenter installed(&presenter);
    const std::pair<const char*, unsigned> cases[] = {{"99999", 0xFF0000}, {"500000", 0xFFFFCC}, {"8000000", 0xE7F7FF}};
    presenter.OnShown([&](GtkWindow* window, const std::string&, DialogView* view) {
        ControlWidget* lock = view->FindById(CFileFeedDialog::kBitrateLockCheck);
        ControlWidget* field = view->FindById(CFileFeedDialog::kBitrateEdit);
        ASSERT_TRUE(lock && field);
        gtk_check_button_set_active(GTK_CHECK_BUTTON(lock->Inner()), TRUE);
        ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_sensitive(field->Outer()); })) << "the lock enables the field";
        for (const auto& [text, colour] : cases) {
            gtk_editable_set_text(GTK_EDITABLE(field->Inner()), text);
            GtkWidget* shown = field->Outer();
            // The right end of the field, away from the text.
            EXPECT_TRUE(RunUntil([&] {
                return PixelNear(PixelAt(shown, gtk_widget_get_width(shown) - 4, gtk_widget_get_height(shown) / 2), colour);
            })) << text;
        }
        gtk_window_close(window);
    });
    EXPECT_FALSE(feed.ShowConfigDialog(nullptr, nullptr, nullptr)) << "closed, not confirmed";
}

}  // namespace
