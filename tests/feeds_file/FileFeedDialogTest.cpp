// The file feed's settings dialog, worked through a scripted presenter, and its
// stored settings.
#include "feeds/file/FileFeedDialog.h"

#include <gtest/gtest.h>

#include <string>

#include "feeds/file/FileFeed.h"
#include "host/HostResources.h"
#include "platform/ui/ScriptedPresenter.h"
#include "tests/feeds_file/FileFeedTestSupport.h"
#include "tests/platform/RegistryTestSupport.h"
#include "tools/tsgen/TsGenerator.h"

using namespace filefeedtest;

namespace {

constexpr const char* TemplateName = "FILEFEEDCONFIGDLG";
constexpr const char* Key = "Software\\Velmar\\Kestrel Test\\FileFeed";
constexpr const char* App = "Kestrel Test";

constexpr COLORREF Red = RGB(255, 0, 0);
constexpr COLORREF Yellow = RGB(255, 255, 204);
constexpr COLORREF Blue = RGB(231, 247, 255);

class FileFeedDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterDialogTemplate(nullptr, TemplateName, FileFeedDialogTemplate());
        RegisterIconResource(nullptr, MAKEINTRESOURCEA(188));
        feed.SetFileName("/media/start.ts");
        feed.SetLoop(true);
        feed.SetBitrateLock(true);
        feed.SetBitrate(5'000'000);
    }
    void TearDown() override {
        UnregisterDialogTemplate(nullptr, TemplateName);
        EXPECT_TRUE(presenter.Problems().empty()) << presenter.Problems().front();
    }
    const ScriptedPresenter::ShownDialog& Shown() { return presenter.Dialogs().at(0); }
    COLORREF FieldColour(size_t state) {
        const auto& colours = Shown().states.at(state).Find(206)->colours;
        EXPECT_TRUE(colours.has_value());
        return colours ? colours->background : 0;
    }

    ScriptedPresenter presenter;
    ScopedPresenter scope{&presenter};
    CFileFeed feed;
    TempDir dir;
};

TEST_F(FileFeedDialogTest, OpensWithTheFeedsSettingsAndColoursTheBitrateByItsValue) {
    const std::vector<std::pair<std::string, COLORREF>> cases = {
        {"99999", Red},      {"100000", Yellow}, {"999999", Yellow}, {"1000000", Blue},
        {"100000000", Blue}, {"100000001", Red}, {"4294967295", Red}, {"", Red}};
    for (const auto& [text, colour] : cases) presenter.Type(206, text);
    presenter.Cancel();
    EXPECT_FALSE(feed.ShowConfigDialog(nullptr, nullptr, nullptr));
    ASSERT_EQ(presenter.Dialogs().size(), 1u);
    const DialogState& shown = Shown().Shown();
    EXPECT_EQ(Shown().name, TemplateName);
    EXPECT_EQ(shown.Find(200)->text, "/media/start.ts");
    EXPECT_TRUE(shown.Find(200)->focused);
    EXPECT_EQ(shown.Find(202)->check, int{BST_CHECKED});
    EXPECT_EQ(shown.Find(203)->check, int{BST_CHECKED});
    EXPECT_EQ(shown.Find(206)->text, "5000000");
    for (int id : {204, 205, 206}) EXPECT_TRUE(shown.Find(id)->enabled) << id;
    EXPECT_EQ(shown.smallIcon, "#188");
    EXPECT_EQ(FieldColour(0), Blue);
    for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(FieldColour(i + 1), cases[i].second) << cases[i].first;
    const auto& colours = *Shown().states[1].Find(206)->colours;
    EXPECT_EQ(colours.text, RGB(0, 0, 0));
    EXPECT_EQ(colours.backgroundMode, TRANSPARENT);
    EXPECT_TRUE(colours.brushValid);
    EXPECT_EQ(feed.Bitrate(), 5'000'000u) << "cancel leaves the feed alone";
}

TEST_F(FileFeedDialogTest, OkCopiesEveryFieldEvenTheDisabledBitrate) {
    presenter.Type(200, std::string(300, 'n')).Type(206, "12345678").Check(203, false).Check(202, false).Ok();
    EXPECT_TRUE(feed.ShowConfigDialog(nullptr, nullptr, nullptr));
    const DialogState& unlocked = Shown().states.at(3);
    for (int id : {204, 205, 206}) EXPECT_FALSE(unlocked.Find(id)->enabled) << id;
    EXPECT_TRUE(unlocked.Find(200)->enabled);
    EXPECT_EQ(FieldColour(3), Blue) << "a disabled field keeps its colour";
    EXPECT_EQ(std::string(feed.FileName()), std::string(259, 'n'));
    EXPECT_EQ(feed.Bitrate(), 12'345'678u);
    EXPECT_FALSE(feed.Loop());
    EXPECT_FALSE(feed.BitrateLock());
    EXPECT_EQ(Shown().result, 1);
}

// A measured file sets the feed's bitrate at once, whatever the dialog's end (here a
// cancel, which keeps name and lock); a file without PCRs then warns and keeps it.
TEST_F(FileFeedDialogTest, BrowseMeasuresTheBitrateOrWarns) {
    const std::string noPcrs = dir.Write("nopcr.ts", Pattern(20'000));
    // More than 5 MiB, so that the measurement has PCRs to look at.
    TsGenerator generator({.bitrate = 6'000'000});
    Bytes ts(7 * 1024 * 1024 / 188 * 188);
    generator.Generate(ts.data(), ts.size() / 188);
    const std::string good = dir.Write("good.ts", ts);
    feed.SetBitrateLock(false);
    presenter.Click(201).CancelFile().Click(201).PickFile(good).Click(201).PickFile(noPcrs).Answer(IDOK).Cancel();
    EXPECT_FALSE(feed.ShowConfigDialog(nullptr, nullptr, nullptr));
    EXPECT_EQ(Shown().states.at(1).Find(200)->text, "/media/start.ts") << "a cancelled browse changes nothing";
    ASSERT_EQ(presenter.MessageBoxes().size(), 1u);
    const auto& box = presenter.MessageBoxes()[0];
    EXPECT_EQ(box.text,
              "Unable to calculate stream bitrate. This no MPEG2 stream or it is a stream that does not contain PCRs.");
    EXPECT_EQ(box.caption, "Warning");
    EXPECT_EQ(box.Icon(), MB_ICONEXCLAMATION);
    EXPECT_EQ(box.Buttons(), MB_OK);
    EXPECT_EQ(box.ownerCaption, "File feed");
    EXPECT_EQ(Shown().states.at(2).Find(200)->text, good);
    EXPECT_EQ(Shown().states.at(2).Find(206)->text, "6000000");
    EXPECT_EQ(Shown().states.at(3).Find(200)->text, noPcrs);
    EXPECT_EQ(Shown().states.at(3).Find(206)->text, "6000000");
    EXPECT_EQ(feed.Bitrate(), 6'000'000u);
    EXPECT_STREQ(feed.FileName(), "/media/start.ts");
    EXPECT_FALSE(feed.BitrateLock());

    ASSERT_EQ(presenter.OpenFileDialogs().size(), 3u);
    const std::vector<std::pair<std::string, std::string>> filters = {
        {"Transport Streams (*.TS,*.TRP,*.MPG)", "*.TS;*.TRP;*.MPG"}, {"All files (*.*)", "*.*"}};
    EXPECT_EQ(presenter.OpenFileDialogs()[2].request.filters, filters);
}

TEST(FileFeedSettings, RoundTripWithExactValueNamesAndTypes) {
    ScopedRegistryHome home;
    CFileFeed saved;
    saved.SetFileName("/media/round trip.ts");
    saved.SetLoop(true);
    saved.SetBitrateLock(false);
    saved.SetBitrate(12'345'678);
    ASSERT_TRUE(saved.SaveSettings(App));
    EXPECT_FALSE(saved.SaveSettings(nullptr));

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, Key, &key), ERROR_SUCCESS);
    EXPECT_EQ(GetDword(key, "Bitratelock"), DWORD{0});
    EXPECT_EQ(GetDword(key, "Loop"), DWORD{1});
    EXPECT_EQ(GetDword(key, "Bitrate"), DWORD{12'345'678});
    EXPECT_EQ(GetString(key, "LastFile"), "/media/round trip.ts");
    RegCloseKey(key);

    CFileFeed loaded;
    EXPECT_TRUE(loaded.LoadSettings(App));
    EXPECT_STREQ(loaded.FileName(), "/media/round trip.ts");
    EXPECT_TRUE(loaded.Loop());
    EXPECT_FALSE(loaded.BitrateLock());
    EXPECT_EQ(loaded.Bitrate(), 12'345'678u);
}

TEST(FileFeedSettings, MissingOrOddStoredValuesLoadSensibly) {
    ScopedRegistryHome home;
    CFileFeed feed;
    feed.SetLoop(true);
    EXPECT_FALSE(feed.LoadSettings(App));
    EXPECT_FALSE(feed.BitrateLock());
    EXPECT_FALSE(feed.Loop());
    EXPECT_EQ(feed.Bitrate(), 4'751'750u);
    EXPECT_STREQ(feed.FileName(), "");
    EXPECT_FALSE(feed.LoadSettings(nullptr));

    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, Key, &key), ERROR_SUCCESS);
    SetDword(key, "Bitrate", 0);
    SetDword(key, "Bitratelock", 7);
    SetString(key, "LastFile", std::string(259, 'p'));
    RegCloseKey(key);
    feed.SetBitrate(1);
    EXPECT_TRUE(feed.LoadSettings(App));
    EXPECT_EQ(feed.Bitrate(), 4'751'750u);
    EXPECT_TRUE(feed.BitrateLock());
    EXPECT_EQ(std::string(feed.FileName()), std::string(259, 'p'));

    // A name longer than the field cannot be a usable path: nothing is loaded.
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, Key, &key), ERROR_SUCCESS);
    SetString(key, "LastFile", std::string(400, 'q'));
    RegCloseKey(key);
    EXPECT_FALSE(feed.LoadSettings(App));
    EXPECT_STREQ(feed.FileName(), "");
}

}  // namespace
