// The window commands driven as a person drives them: the real program in its own
// process, its windows found on the display, clicked and typed into through the X
// server; then what it stored is read back with the program's other commands.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <thread>

#include "feeds/file/FileFeed.h"
#include "feeds/file/FileFeedDialog.h"
#include "feeds/iptv/IPTVFeed.h"
#include "feeds/iptv/IptvConfigDialog.h"
#include "host/HostResources.h"
#include "host/KestrelModule.h"
#include "platform/com/TaskMemory.h"
#include "platform/graph/CPropertyFrame.h"
#include "platform/ui/ScriptedPresenter.h"
#include "platform/ui/Window.h"
#include "tests/desktop/XPerson.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ProgramTestDir.h"
#include "tests/support/WaitUntil.h"

namespace {

// Where the runtime puts a dialog's shown controls, in pixels from the dialog's corner,
// learnt by opening the same dialog in this process under a script that only looks.
struct DialogPlaces {
    std::string title;
    int width = 0, height = 0;
    std::map<int, RECT> controls;
};

void Collect(const Window* parent, int x, int y, DialogPlaces& places) {
    for (const auto& child : parent->Children()) {
        const RECT& r = child->Rect();
        if (child->GetKind() == Window::Kind::Dialog)
            Collect(child.get(), x + r.left, y + r.top, places);
        else if (child->ShownOnScreen() && child->Id() != IDC_STATIC)
            places.controls.emplace(child->Id(), RECT{x + r.left, y + r.top, x + r.right, y + r.bottom});
    }
}

DialogPlaces PlacesOf(const std::function<void()>& show) {
    DialogPlaces places;
    ScriptedPresenter script;
    script
        .Run([&](HWND dialog) {
            const Window* root = Window::FromHandle(dialog);
            places.title = root->Text();
            places.width = root->Rect().right - root->Rect().left;
            places.height = root->Rect().bottom - root->Rect().top;
            Collect(root, 0, 0, places);
        })
        .Close();
    ScopedPresenter installed(&script);
    show();
    return places;
}

DialogPlaces FileFeedDialogPlaces() {
    RegisterHostResources();
    return PlacesOf([] {
        CFileFeed feed;
        feed.ShowConfigDialog(nullptr, nullptr, nullptr);
    });
}

DialogPlaces IptvDialogPlaces() {
    RegisterHostResources();
    return PlacesOf([] {
        CIPTVFeed feed;
        feed.ShowConfigDialog(nullptr, nullptr, nullptr);
    });
}

// The filter's own page in the frame 'kestrel properties' shows.
DialogPlaces PropertyFramePlaces() {
    DialogPlaces places;
    KestrelModule module;
    EXPECT_TRUE(module.Load(TestBinDir() + "/Kestrel.ax")) << module.Error();
    ComPtr<IBaseFilter> filter;
    ComPtr<ISpecifyPropertyPages> pageSource;
    CAUUID ids{0, nullptr};
    if (module.CreateFilter(&filter) != S_OK ||
        filter->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(pageSource.ReleaseAndGetAddressOf())) !=
            S_OK ||
        pageSource->GetPages(&ids) != S_OK || ids.cElems != 1) {
        ADD_FAILURE() << "the filter offers no property page";
        return places;
    }
    ComPtr<IPropertyPage> page;
    EXPECT_EQ(module.CreateObject(ids.pElems[0], IID_IPropertyPage, reinterpret_cast<void**>(page.ReleaseAndGetAddressOf())), S_OK);
    CoTaskMemFree(ids.pElems);
    return PlacesOf([&] {
        IUnknown* objects[] = {filter.Get()};
        IPropertyPage* pages[] = {page.Get()};
        CPropertyFrame::Show(nullptr, u"Kestrel", objects, 1, pages, 1);
    });
}

class DesktopPerson : public ProgramTestDir {
protected:
    void SetUp() override {
        ProgramTestDir::SetUp();
        ASSERT_EQ(person_.Problem(), "");
    }

    // The program with its own settings store, its output kept.
    void Start(const std::string& arguments) {
        const int out = open(File("out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        program_ = std::make_unique<ChildProcess>("env KESTREL_HOME='" + File("home") + "' " + Kestrel() + " " + arguments,
                                                  File("err.txt"), out);
        close(out);
    }
    // The program's window, once it shows; its size is the dialog's.
    XPerson::Place WindowOf(const DialogPlaces& places) {
        const XPerson::Place at = person_.WaitForWindow(program_->Pid(), places.title);
        EXPECT_NE(at.window, 0u) << "no window \"" << places.title << "\"; " << ReadWholeFile(File("err.txt"));
        EXPECT_EQ(at.width, places.width);
        EXPECT_EQ(at.height, places.height);
        return at;
    }
    const RECT& Control(const DialogPlaces& places, int id) {
        static const RECT none{};
        const auto found = places.controls.find(id);
        EXPECT_NE(found, places.controls.end()) << "control " << id << " is not shown";
        return found == places.controls.end() ? none : found->second;
    }
    std::vector<unsigned long> Look(const XPerson::Place& at, const RECT& r) {
        return person_.Look(at.window, r.left, r.top, r.right - r.left, r.bottom - r.top);
    }
    // Like a person, the test looks before it acts: each action waits until the control
    // has been drawn, and one that shows its effect waits until it has.
    bool Drawn(const XPerson::Place& at, const RECT& r) {
        return WaitUntil([&] {
            const auto pixels = Look(at, r);
            return std::any_of(pixels.begin(), pixels.end(), [&](unsigned long p) { return p != pixels.front(); });
        });
    }
    // The look once the control has stopped changing (hover and focus are drawn late).
    std::vector<unsigned long> Settled(const XPerson::Place& at, const RECT& r) {
        auto last = Look(at, r);
        WaitUntil([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            auto now = Look(at, r);
            std::swap(now, last);
            return now == last;
        }, std::chrono::seconds(1));
        return last;
    }
    void Click(const XPerson::Place& at, const DialogPlaces& places, int id, bool showsEffect = false) {
        const RECT& r = Control(places, id);
        ASSERT_TRUE(Drawn(at, r)) << "control " << id << " is never drawn";
        const int x = at.x + (r.left + r.right) / 2, y = at.y + (r.top + r.bottom) / 2;
        person_.MoveTo(x, y);
        const auto before = Settled(at, r);
        person_.Click(x, y);
        if (showsEffect) {
            EXPECT_TRUE(WaitUntil([&] { return Look(at, r) != before; })) << "clicking " << id << " shows nothing";
        }
    }
    // Types into a field after a click into it; Control-A first replaces what it held.
    void TypeInto(const XPerson::Place& at, const DialogPlaces& places, int id, const std::string& text) {
        Click(at, places, id);
        const auto before = Settled(at, Control(places, id));
        ASSERT_EQ(person_.Press("a", true), "");
        ASSERT_EQ(person_.Type(text), "");
        EXPECT_TRUE(WaitUntil([&] { return Look(at, Control(places, id)) != before; })) << "typing into " << id << " shows nothing";
    }
    // The exit status and standard output.
    std::pair<int, std::string> Finish() {
        const int status = program_->Wait(std::chrono::seconds(10));
        return {status, ReadWholeFile(File("out.txt"))};
    }
    std::string Settings(const std::string& application) {
        const ShellResult r =
            RunShell("KESTREL_HOME='" + File("home") + "' " + Kestrel() + " settings --app '" + application + "'");
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out;
    }

    XPerson person_;
    std::unique_ptr<ChildProcess> program_;
};

TEST_F(DesktopPerson, ConfiguringTheFileFeedStoresWhatWasTypedAndTicked) {
    const std::string ts = Generate("in.ts", "--bitrate 4M --seconds 0.5");
    const DialogPlaces places = FileFeedDialogPlaces();
    Start("configure file --app e2e");
    const XPerson::Place at = WindowOf(places);
    ASSERT_NE(at.window, 0u);
    TypeInto(at, places, CFileFeedDialog::kFileNameEdit, ts);
    Click(at, places, CFileFeedDialog::kLoopCheck, true);
    // Return confirms with the default button even from the check box just ticked.
    ASSERT_EQ(person_.Press("Return"), "");
    const auto [status, out] = Finish();
    EXPECT_EQ(status, 0) << ReadWholeFile(File("err.txt"));
    EXPECT_EQ(out, "\"File Feed\": settings saved for application \"e2e\"\n");
    const std::string stored = Settings("e2e");
    EXPECT_NE(stored.find("  LastFile = text \"" + ts + "\"\n"), std::string::npos) << stored;
    EXPECT_NE(stored.find("  Loop = dword 1 (0x00000001)\n"), std::string::npos) << stored;
    EXPECT_NE(stored.find("  Bitratelock = dword 0 (0x00000000)\n"), std::string::npos) << stored;
    // What play then does with them: that file, unpaced as the unticked lock says.
    const ShellResult r = RunShell("KESTREL_HOME='" + File("home") + "' " + Kestrel() + " play --app e2e --once --out '" +
                                   File("played.ts") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(ReadWholeFile(File("played.ts")) == ReadWholeFile(ts));
}

TEST_F(DesktopPerson, AFileFeedDialogLeftWithoutOkStoresNothing) {
    const DialogPlaces places = FileFeedDialogPlaces();
    const std::string home = "KESTREL_HOME='" + File("home") + "' ";
    ASSERT_EQ(RunShell(home + Kestrel() + " settings set --app e2e 'FileFeed\\LastFile' /kept.ts").status, 0);
    const std::string before = Settings("e2e");
    const std::pair<const char*, std::function<void(const XPerson::Place&)>> ways[] = {
        {"Cancel", [&](const XPerson::Place& at) { Click(at, places, IDCANCEL); }},
        {"Escape", [&](const XPerson::Place&) { EXPECT_EQ(person_.Press("Escape"), ""); }},
        {"closed", [&](const XPerson::Place& at) { person_.Close(at.window); }},
    };
    for (const auto& [way, leave] : ways) {
        Start("configure file --app e2e");
        const XPerson::Place at = WindowOf(places);
        ASSERT_NE(at.window, 0u) << way;
        TypeInto(at, places, CFileFeedDialog::kFileNameEdit, "/other.ts");
        Click(at, places, CFileFeedDialog::kLoopCheck, true);
        leave(at);
        const auto [status, out] = Finish();
        EXPECT_EQ(status, 0) << way << ": " << ReadWholeFile(File("err.txt"));
        EXPECT_EQ(out, "\"File Feed\": nothing saved\n") << way;
        EXPECT_EQ(Settings("e2e"), before) << way;
    }
}

TEST_F(DesktopPerson, AFileChosenOnThePropertyPageIsWhatRunStreams) {
    // The page's own identifiers.
    constexpr int kFileName = 1000;
    constexpr int kFileStream = 1001;
    const std::string ts = Generate("in.ts", "--bitrate 2M --seconds 1");
    const DialogPlaces places = PropertyFramePlaces();
    Start("properties --state '" + File("state.bin") + "'");
    const XPerson::Place at = WindowOf(places);
    ASSERT_NE(at.window, 0u);
    Click(at, places, kFileStream, true);
    TypeInto(at, places, kFileName, ts);
    Click(at, places, IDOK);
    const auto [status, out] = Finish();
    ASSERT_EQ(status, 0) << ReadWholeFile(File("err.txt"));
    EXPECT_EQ(out, "filter state saved to " + File("state.bin") + "\n");

    const ShellResult r = RunShell(Kestrel() + " run --state '" + File("state.bin") + "' --seconds 1 --out '" + File("out.ts") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string streamed = ReadWholeFile(File("out.ts"));
    const std::string original = ReadWholeFile(ts);
    ASSERT_GE(streamed.size(), 188u * 100);
    EXPECT_EQ(streamed.substr(0, 188 * 100), original.substr(0, 188 * 100));
}

TEST_F(DesktopPerson, AnIptvGroupTypedInTheDialogIsStoredForItsApplication) {
    using D = CIptvConfigDialog;
    const DialogPlaces places = IptvDialogPlaces();
    Start("configure iptv --app tv");
    const XPerson::Place at = WindowOf(places);
    ASSERT_NE(at.window, 0u);
    TypeInto(at, places, D::kGroupIPv4, "239.1.2.3");
    TypeInto(at, places, D::kPort, "70000");
    Click(at, places, IDOK);
    // The dialog refuses the port in a message box, which the person confirms with Return.
    const XPerson::Place refusal = person_.WaitForWindow(program_->Pid(), "Error");
    ASSERT_NE(refusal.window, 0u) << "no message box about the port";
    ASSERT_EQ(person_.Press("Return"), "");
    EXPECT_TRUE(WaitUntil([&] { return !person_.Shows(refusal.window); }));
    TypeInto(at, places, D::kPort, "5000");
    Click(at, places, IDOK);
    const auto [status, out] = Finish();
    EXPECT_EQ(status, 0) << ReadWholeFile(File("err.txt"));
    EXPECT_EQ(out, "\"IPTV Feed\": settings saved for application \"tv\"\n");
    const std::string stored = Settings("tv");
    EXPECT_NE(stored.find("  IP4 = dword 4009820675 (0xEF010203)\n"), std::string::npos) << stored;
    EXPECT_NE(stored.find("  Port = dword 5000 (0x00001388)\n"), std::string::npos) << stored;
    EXPECT_EQ(Settings("kestrel").find("IP4"), std::string::npos) << "stored for another application";
}

}  // namespace
