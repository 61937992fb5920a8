// The module's property page in the platform's property frame, shown by the desktop
// presenter: a person picks a file on it, and the filter takes that state.
#include <gtest/gtest.h>

#include <cstdlib>

#include "desktop/DialogView.h"
#include "desktop/GtkPresenter.h"
#include "filter/TSFeedInterfaces.h"
#include "host/KestrelModule.h"
#include "platform/com/TaskMemory.h"
#include "platform/graph/CPropertyFrame.h"
#include "tests/desktop/DesktopTestSupport.h"
#include "tests/platform/RegistryTestSupport.h"

namespace {

// The page's own identifiers.
constexpr int kFileName = 1000;
constexpr int kFileStream = 1001;
constexpr int kLiveStream = 1003;

TEST(DesktopPropertyPage, PickingAFileOnThePageSetsTheFiltersMode) {
    ASSERT_EQ(GtkPresenter::OpenDisplay(), "");
    ScopedRegistryHome home;
    KestrelModule module;
    ASSERT_TRUE(module.Load(std::string(std::getenv("KESTREL_TEST_BIN")) + "/Kestrel.ax")) << module.Error();
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(module.CreateFilter(&filter), S_OK);
    ComPtr<ISpecifyPropertyPages> pageSource;
    ASSERT_EQ(filter->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(pageSource.ReleaseAndGetAddressOf())), S_OK);
    CAUUID ids{0, nullptr};
    ASSERT_EQ(pageSource->GetPages(&ids), S_OK);
    ASSERT_EQ(ids.cElems, 1u);
    ComPtr<IPropertyPage> page;
    ASSERT_EQ(module.CreateObject(ids.pElems[0], IID_IPropertyPage, reinterpret_cast<void**>(page.ReleaseAndGetAddressOf())), S_OK);
    CoTaskMemFree(ids.pElems);

    GtkPresenter presenter;
    ScopedPresenter installed(&presenter);
    const std::string path = "/tmp/picked.ts";
    presenter.OnShown([&](GtkWindow*, const std::string&, DialogView* view) {
        ASSERT_NE(view, nullptr);
        ASSERT_NE(view->FindById(kLiveStream), nullptr) << "the page is in the frame";
        Settle();
        CheckLayout(*view);
        EXPECT_EQ(CheckScreenshot(view->Content(), "FILTER_PROPERTY_PAGE"), "");
        gtk_check_button_set_active(GTK_CHECK_BUTTON(view->FindById(kFileStream)->Inner()), TRUE);
        gtk_editable_set_text(GTK_EDITABLE(view->FindById(kFileName)->Inner()), path.c_str());
        Settle();
        g_signal_emit_by_name(view->FindById(IDOK)->Inner(), "clicked");
    });
    IUnknown* objects[] = {filter.Get()};
    IPropertyPage* pages[] = {page.Get()};
    ASSERT_EQ(CPropertyFrame::Show(nullptr, u"Kestrel", objects, 1, pages, 1), S_OK);

    ComPtr<ITSFeedControl> control;
    ASSERT_EQ(filter.As(IID_ITSFeedControl, &control), S_OK);
    uint32_t mode = 0;
    char source[kSourceTextSize] = {};
    control->GetMode(&mode, source);
    EXPECT_EQ(mode, static_cast<uint32_t>(kModeFile));
    EXPECT_EQ(std::string(source), path);
}

}  // namespace
