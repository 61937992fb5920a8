// The transponder selection dialog worked by a scripted presenter, over a real list
// file and the real settings store in a temporary home.
#include "feeds/transponders/TransponderListDialog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "host/HostResources.h"
#include "platform/ui/ScriptedPresenter.h"
#include "tests/platform/RegistryTestSupport.h"

namespace {

using D = TransponderListDialog;
constexpr const char* kApp = "Kestrel Test";
constexpr const char* kKey = "Software\\Velmar\\Kestrel Test\\TransponderSelection";
constexpr const char* kFirstKey = "19.2\xB0" "E11836H";
constexpr uint8_t kSentinel = 0xEE;

constexpr const char* kList =
    "; position,descriptor,comment\n"
    "0192,430B0118360001928102750003,Astra 1N\n"
    "0130,430B0110470001308102750003,Hotbird 13B\n"
    "0235,4320011932000235420220000300FF,Astra 3B with a long descriptor\n"
    "130,430B011766000130A102750003,Eutelsat 13C\n"
    "0282,430B011222500282E302200003,Astra 2E\n"
    "0192,430B0118360001928102200003,Same key as the first\n";

class TransponderDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterDialogTemplate(MainProgramModule(), "TRANSPONDERLISTDLG", TransponderListDialogTemplate());
        home.Write("list.txt", kList);
        std::memset(descriptor, kSentinel, sizeof descriptor);
    }
    void TearDown() override {
        UnregisterDialogTemplate(MainProgramModule(), "TRANSPONDERLISTDLG");
        EXPECT_EQ(presenter.StepsLeft(), 0u);
        EXPECT_TRUE(presenter.Problems().empty()) << presenter.Problems().front();
    }

    bool Run(const char* app = kApp, const char* file = nullptr) {
        const std::string path = home.File("list.txt");
        TransponderListDialog dialog(app, file ? file : path.c_str());
        return dialog.Run(nullptr, &position, descriptor);
    }
    const ScriptedPresenter::ShownDialog& Shown() { return presenter.Dialogs().at(0); }
    static std::vector<std::string> Rows(const DialogState& state) {
        std::vector<std::string> rows;
        for (const ListRowState& row : state.Find(D::kTable)->rows)
            rows.push_back((row.checked ? "*" : "") + row.cells.at(1) + " " + row.cells.at(2) + row.cells.at(3));
        return rows;
    }
    static std::optional<DWORD> Stored(const char* name) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, &key) != ERROR_SUCCESS) return std::nullopt;
        std::optional<DWORD> value = GetDword(key, name);
        RegCloseKey(key);
        return value;
    }
    static bool KeyExists() {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }
    static void Store(const char* name, DWORD value) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, &key), ERROR_SUCCESS);
        SetDword(key, name, value);
        RegCloseKey(key);
    }
    bool DescriptorIs(const std::vector<uint8_t>& bytes, size_t copied) const {
        for (size_t i = 0; i < copied; ++i)
            if (descriptor[i] != (i < bytes.size() ? bytes[i] : 0)) return false;
        return descriptor[copied] == kSentinel;
    }

    ScopedRegistryHome home;
    ScriptedPresenter presenter;
    ScopedPresenter scope{&presenter};
    uint16_t position = 0xBEEF;
    uint8_t descriptor[kDescriptorCapacity + 1];
};

const std::string k192 = "19.2\xB0" "E ";
const std::string k130 = "13.0\xB0" "E ";

TEST_F(TransponderDialogTest, OpensWithTheStoredChoicesAndCancelWritesNothing) {
    Store("SatFilter", 0x0192);
    Store(kFirstKey, 1);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, &key), ERROR_SUCCESS);
    SetString(key, "filter", "astra");
    RegCloseKey(key);
    std::vector<LRESULT> widths;
    LONG_PTR style = 0;
    LRESULT extended = 0;
    presenter
        .Run([&](HWND dialog) {
            for (int column = 0; column < 7; ++column)
                widths.push_back(SendDlgItemMessageA(dialog, D::kTable, LVM_GETCOLUMNWIDTH, column, 0));
            style = GetWindowLongPtrA(GetDlgItem(dialog, D::kTable), GWL_STYLE);
            extended = SendDlgItemMessageA(dialog, D::kTable, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
        })
        .Cancel();
    EXPECT_FALSE(Run());
    EXPECT_EQ(position, 0xBEEF);
    EXPECT_EQ(descriptor[0], kSentinel);

    const DialogState& shown = Shown().Shown();
    EXPECT_EQ(Shown().name, "TRANSPONDERLISTDLG");
    const ControlState* satellites = shown.Find(D::kSatelliteList);
    const std::vector<std::string> items = {"All", "19.2\xB0" "E - Astra 1", "13.0\xB0" "E - Hotbird",
                                            "23.5\xB0" "E - Astra 3B", "28.2\xB0" "E - Astra 2"};
    EXPECT_EQ(satellites->items, items);
    EXPECT_EQ(satellites->selection, 1);
    EXPECT_EQ(shown.Find(D::kFavouritesOnlyCheck)->check, int{BST_UNCHECKED});
    EXPECT_EQ(shown.Find(D::kCommentFilterEdit)->text, "astra");
    const std::vector<std::string> columns = {"Fav",        "Orbital Pos.", "Frequency", "Pol.",
                                              "Symbolrate", "Modulation",   "Comment"};
    EXPECT_EQ(shown.Find(D::kTable)->columns, columns);
    EXPECT_EQ(Rows(shown), (std::vector<std::string>{"*" + k192 + "11836H"}));
    const std::vector<std::string> cells = {"", "19.2\xB0" "E", "11836", "H", "27500", "QPSK", "Astra 1N"};
    EXPECT_EQ(shown.Find(D::kTable)->rows.at(0).cells, cells);
    EXPECT_EQ(std::vector<LRESULT>(widths.begin(), widths.end() - 1),
              (std::vector<LRESULT>{30, 80, 65, 35, 80, 70}));
    EXPECT_GT(widths.back(), 20) << "the comment column fits its longest comment";
    const LONG_PTR wanted = WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
    EXPECT_EQ(style & wanted, wanted);
    EXPECT_EQ(extended, LRESULT{LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT});
    EXPECT_EQ(Stored(kFirstKey), DWORD{1}) << "marking stored favourites while filling stores nothing new";
}

TEST_F(TransponderDialogTest, OpeningAndCancellingStoresNothing) {
    presenter.Cancel();
    EXPECT_FALSE(Run());
    EXPECT_EQ(Rows(Shown().Shown()).size(), 6u);
    EXPECT_FALSE(KeyExists());
}

TEST_F(TransponderDialogTest, OkWithoutASelectionComplainsThenHandsBackTheSelectedRow) {
    presenter.Ok().Select(D::kTable, 1).Ok();
    EXPECT_TRUE(Run());
    ASSERT_EQ(presenter.MessageBoxes().size(), 1u);
    EXPECT_EQ(presenter.MessageBoxes()[0].text, "No transponder selected");
    EXPECT_EQ(presenter.MessageBoxes()[0].caption, "Error");
    EXPECT_EQ(position, 0x0130);
    EXPECT_TRUE(DescriptorIs({0x43, 0x0B, 0x01, 0x10, 0x47, 0x00, 0x01, 0x30, 0x81, 0x02, 0x75, 0x00, 0x03}, 13));
    EXPECT_EQ(Shown().result, 1);
}

TEST_F(TransponderDialogTest, DoubleClickOnARowChoosesItAndCopiesAsManyBytesAsItsLengthSays) {
    presenter.DoubleClick(D::kTable, -1).DoubleClick(D::kTable, 2);
    EXPECT_TRUE(Run());
    EXPECT_EQ(position, 0x0235);
    EXPECT_TRUE(DescriptorIs({0x43, 0x20, 0x01, 0x19, 0x32, 0x00, 0x02, 0x35, 0x42, 0x02, 0x20, 0x00, 0x03}, 2 + 0x20));
    EXPECT_EQ(Shown().states.size(), 4u) << "a double click on no row leaves the dialog open";
}

TEST_F(TransponderDialogTest, SatelliteAndCommentFiltersNarrowTheTableAndAreStored) {
    presenter.Select(D::kSatelliteList, 2)
        .Type(D::kCommentFilterEdit, "eutelsat")
        .Type(D::kCommentFilterEdit, "Eutelsat")
        .Select(D::kSatelliteList, 0)
        .Type(D::kCommentFilterEdit, "astra")
        .Cancel();
    EXPECT_FALSE(Run());
    const auto& states = Shown().states;
    EXPECT_EQ(Rows(states.at(1)), (std::vector<std::string>{k130 + "11047H", k130 + "11766V"}));
    EXPECT_EQ(Rows(states.at(2)), (std::vector<std::string>{k130 + "11766V"}));
    EXPECT_TRUE(Rows(states.at(3)).empty()) << "a filter with a capital letter matches nothing";
    EXPECT_TRUE(Rows(states.at(4)).empty());
    EXPECT_EQ(Rows(states.at(5)), (std::vector<std::string>{k192 + "11836H", "23.5\xB0" "E 11932CL",
                                                              "28.2\xB0" "E 11222.5CR"}));
    EXPECT_EQ(Stored("SatFilter"), DWORD{0});
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKey, &key), ERROR_SUCCESS);
    EXPECT_EQ(GetString(key, "filter"), "astra");
    RegCloseKey(key);

    presenter.Cancel();
    EXPECT_FALSE(Run());
    EXPECT_EQ(presenter.Dialogs().at(1).Shown().Find(D::kCommentFilterEdit)->text, "astra");
    EXPECT_EQ(Rows(presenter.Dialogs().at(1).Shown()).size(), 3u);
}

TEST_F(TransponderDialogTest, TickingStoresTheFavouriteKeyAndUntickingRemovesItAndTheEmptyKey) {
    presenter.TickRow(D::kTable, 0)
        .Run([](HWND) { EXPECT_EQ(Stored(kFirstKey), DWORD{1}); }, "ticked")
        .Select(D::kTable, 5)
        .Run([](HWND) { EXPECT_EQ(Stored(kFirstKey), DWORD{1}) << "selecting a row with the same key"; }, "selected")
        .TickRow(D::kTable, 0)
        .Cancel();
    EXPECT_FALSE(Run());
    EXPECT_FALSE(KeyExists());

    // Kept by whatever ends the dialog, and marked on every row with that key.
    presenter.TickRow(D::kTable, 5).Cancel().Cancel();
    EXPECT_FALSE(Run());
    EXPECT_FALSE(Run());
    EXPECT_EQ(Rows(presenter.Dialogs().at(2).Shown()).at(0), "*" + k192 + "11836H");
    EXPECT_EQ(Rows(presenter.Dialogs().at(2).Shown()).at(5), "*" + k192 + "11836H");
}

TEST_F(TransponderDialogTest, FavouritesOnlyLeavesMarkedRowsAndPicksAmongThem) {
    Store("13.0\xB0" "E11766V", 1);
    presenter.Check(D::kFavouritesOnlyCheck).Select(D::kTable, 0).Ok();
    EXPECT_TRUE(Run());
    EXPECT_EQ(Rows(Shown().states.at(1)), (std::vector<std::string>{"*" + k130 + "11766V"}));
    EXPECT_EQ(Stored("ShowOnlyFav"), DWORD{1});
    EXPECT_EQ(position, 0x0130);
    EXPECT_TRUE(DescriptorIs({0x43, 0x0B, 0x01, 0x17, 0x66, 0x00, 0x01, 0x30, 0xA1, 0x02, 0x75, 0x00, 0x03}, 13));

    presenter.Check(D::kFavouritesOnlyCheck, false).Cancel();
    EXPECT_FALSE(Run());
    EXPECT_EQ(presenter.Dialogs().at(1).Shown().Find(D::kFavouritesOnlyCheck)->check, int{BST_CHECKED});
    EXPECT_EQ(Rows(presenter.Dialogs().at(1).states.at(1)).size(), 6u);
    EXPECT_EQ(Stored("ShowOnlyFav"), DWORD{0});
}

TEST_F(TransponderDialogTest, ReadsTheRelativeNameInTheCurrentDirectoryAndShowsNothingWithoutAFile) {
    const std::filesystem::path previous = std::filesystem::current_path();
    home.Write("TransponderList.txt", kList);
    std::filesystem::current_path(home.Path());
    presenter.Cancel();
    TransponderListDialog relative(kApp, nullptr);
    EXPECT_FALSE(relative.Run(nullptr, &position, descriptor));
    std::filesystem::current_path(previous);
    EXPECT_EQ(Rows(Shown().Shown()).size(), 6u);

    presenter.Ok().Cancel();
    EXPECT_FALSE(Run(kApp, home.File("absent.txt").c_str()));
    EXPECT_TRUE(presenter.Dialogs().at(1).Shown().Find(D::kTable)->rows.empty());
    EXPECT_EQ(presenter.MessageBoxes().size(), 1u);
}

TEST_F(TransponderDialogTest, WithoutAnApplicationNameNothingIsRemembered) {
    presenter.TickRow(D::kTable, 0)
        .Check(D::kFavouritesOnlyCheck)
        .Check(D::kFavouritesOnlyCheck, false)
        .Select(D::kTable, 0)
        .Ok();
    EXPECT_TRUE(Run(nullptr));
    EXPECT_EQ(position, 0x0192);
    EXPECT_TRUE(Rows(Shown().states.at(2)).empty()) << "no favourite could be stored";
    EXPECT_EQ(Rows(Shown().states.at(3)).at(0), k192 + "11836H");
    EXPECT_EQ(home.Files(), std::vector<std::string>{"list.txt"}) << "nothing was written to the store";
}

}  // namespace
