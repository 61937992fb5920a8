// The transponder selection dialog worked by a scripted presenter, over a real list
// file and the real settings store in a temporary home.
#include "feeds/transponders/TransponderListDialog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "feeds/RegistrySettings.h"
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
    bool Run(const char* app = kApp, const std::string& file = "list.txt") {
        return TransponderListDialog(app, home.File(file).c_str()).Run(nullptr, &position, descriptor);
    }
    // "*" for a ticked row, then position, frequency and polarisation of each row.
    std::string Rows(size_t dialog, size_t state) const {
        std::string rows;
        for (const ListRowState& row : presenter.Dialogs().at(dialog).states.at(state).Find(D::kTable)->rows)
            rows += (row.checked ? "*" : "") + row.cells.at(1) + row.cells.at(2) + row.cells.at(3) + " ";
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
        return RegOpenKeyExA(HKEY_CURRENT_USER, kKey, &key) == ERROR_SUCCESS && RegCloseKey(key) == ERROR_SUCCESS;
    }
    static void Store(const char* name, DWORD value) {
        ASSERT_TRUE(WriteRegDword(HKEY_CURRENT_USER, kKey, name, value));
    }
    // The first `copied` bytes are the descriptor's (zero past its 13), the next is untouched.
    bool Copied(const char* hex, size_t copied) const {
        for (size_t i = 0; i < copied; ++i)
            if (descriptor[i] != (i < 13 ? std::stoul(std::string(hex + 2 * i, 2), nullptr, 16) : 0)) return false;
        return descriptor[copied] == kSentinel;
    }

    ScopedRegistryHome home;
    ScriptedPresenter presenter;
    ScopedPresenter scope{&presenter};
    uint16_t position = 0xBEEF;
    uint8_t descriptor[kDescriptorCapacity + 1];
};

TEST_F(TransponderDialogTest, OpensWithTheStoredChoicesAndCancelWritesNothing) {
    Store("SatFilter", 0x0192);
    Store(kFirstKey, 1);
    ASSERT_TRUE(WriteRegValue(HKEY_CURRENT_USER, kKey, true, "filter", "astra"));
    presenter
        .Run([&](HWND dialog) {
            EXPECT_GT(SendDlgItemMessageA(dialog, D::kTable, LVM_GETCOLUMNWIDTH, 6, 0), 20)
                << "the comment column fits its longest comment";
            EXPECT_EQ(SendDlgItemMessageA(dialog, D::kTable, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0),
                      LRESULT{LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT});
        })
        .Cancel();
    EXPECT_FALSE(Run());
    EXPECT_EQ(position, 0xBEEF);
    EXPECT_EQ(descriptor[0], kSentinel);

    const DialogState& shown = presenter.Dialogs().at(0).Shown();
    const std::vector<std::string> items = {"All", "19.2\xB0" "E - Astra 1", "13.0\xB0" "E - Hotbird",
                                            "23.5\xB0" "E - Astra 3B", "28.2\xB0" "E - Astra 2"};
    EXPECT_EQ(shown.Find(D::kSatelliteList)->items, items);
    EXPECT_EQ(shown.Find(D::kSatelliteList)->selection, 1);
    EXPECT_EQ(shown.Find(D::kFavouritesOnlyCheck)->check, int{BST_UNCHECKED});
    EXPECT_EQ(shown.Find(D::kCommentFilterEdit)->text, "astra");
    const std::vector<std::string> columns = {"Fav", "Orbital Pos.", "Frequency", "Pol.", "Symbolrate", "Modulation",
                                              "Comment"};
    EXPECT_EQ(shown.Find(D::kTable)->columns, columns);
    const std::vector<std::string> cells = {"", "19.2\xB0" "E", "11836", "H", "27500", "QPSK", "Astra 1N"};
    EXPECT_EQ(shown.Find(D::kTable)->rows.at(0).cells, cells);
    EXPECT_EQ(Rows(0, 0), "*19.2\xB0" "E11836H ");
}

TEST_F(TransponderDialogTest, OkNeedsASelectionAndADoubleClickNeedsARow) {
    presenter.Ok().DoubleClick(D::kTable, -1).Select(D::kTable, 1).Ok();
    EXPECT_TRUE(Run());
    ASSERT_EQ(presenter.MessageBoxes().size(), 1u);
    EXPECT_EQ(presenter.MessageBoxes()[0].text, "No transponder selected");
    EXPECT_EQ(presenter.MessageBoxes()[0].caption, "Error");
    EXPECT_EQ(position, 0x0130);
    EXPECT_TRUE(Copied("430B0110470001308102750003", 13));

    // A length byte of 0x20 hands back 34 bytes, zero past the line's 13.
    presenter.DoubleClick(D::kTable, 2);
    EXPECT_TRUE(Run());
    EXPECT_EQ(position, 0x0235);
    EXPECT_TRUE(Copied("4320011932000235420220000300", 2 + 0x20));
}

TEST_F(TransponderDialogTest, SatelliteAndCommentFiltersNarrowTheTableAndAreStored) {
    presenter.Select(D::kSatelliteList, 2)
        .Type(D::kCommentFilterEdit, "eutelsat")
        .Type(D::kCommentFilterEdit, "Eutelsat")
        .Select(D::kSatelliteList, 0)
        .Type(D::kCommentFilterEdit, "astra")
        .Cancel();
    EXPECT_FALSE(Run());
    EXPECT_EQ(Rows(0, 1), "13.0\xB0" "E11047H 13.0\xB0" "E11766V ");
    EXPECT_EQ(Rows(0, 2), "13.0\xB0" "E11766V ");
    EXPECT_EQ(Rows(0, 3), "") << "a filter with a capital letter matches nothing";
    EXPECT_EQ(Rows(0, 5), "19.2\xB0" "E11836H 23.5\xB0" "E11932CL 28.2\xB0" "E11222.5CR ");
    EXPECT_EQ(Stored("SatFilter"), DWORD{0}) << "stored, not just absent";
    char filter[8] = {};
    EXPECT_TRUE(ReadRegString(HKEY_CURRENT_USER, kKey, "filter", filter, sizeof filter));
    EXPECT_STREQ(filter, "astra");
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

    // Kept whatever ends the dialog, and marked on every row with that key.
    presenter.TickRow(D::kTable, 5).Cancel().Cancel();
    EXPECT_FALSE(Run());
    EXPECT_FALSE(Run());
    EXPECT_EQ(Rows(2, 0), "*19.2\xB0" "E11836H 13.0\xB0" "E11047H 23.5\xB0" "E11932CL 13.0\xB0" "E11766V 28.2\xB0"
                          "E11222.5CR *19.2\xB0" "E11836H ");
}

TEST_F(TransponderDialogTest, FavouritesOnlyLeavesMarkedRowsAndPicksAmongThem) {
    Store("13.0\xB0" "E11766V", 1);
    Store("13.0\xB0" "E11047H", 0);  // a zero is no favourite
    presenter.Check(D::kFavouritesOnlyCheck).Select(D::kTable, 0).Ok();
    EXPECT_TRUE(Run());
    EXPECT_EQ(Rows(0, 1), "*13.0\xB0" "E11766V ");
    EXPECT_EQ(Stored("ShowOnlyFav"), DWORD{1});
    EXPECT_EQ(position, 0x0130);
    EXPECT_TRUE(Copied("430B011766000130A102750003", 13));

    presenter.Check(D::kFavouritesOnlyCheck, false).Cancel();
    EXPECT_FALSE(Run());
    EXPECT_EQ(presenter.Dialogs().at(1).Shown().Find(D::kFavouritesOnlyCheck)->check, int{BST_CHECKED});
    EXPECT_EQ(presenter.Dialogs().at(1).states.at(1).Find(D::kTable)->rows.size(), 6u);
    EXPECT_EQ(Stored("ShowOnlyFav"), DWORD{0});
}

TEST_F(TransponderDialogTest, ReadsTheRelativeNameInTheCurrentDirectoryAndStoresNothingJustByOpening) {
    const std::filesystem::path previous = std::filesystem::current_path();
    home.Write("TransponderList.txt", kList);
    std::filesystem::current_path(home.Path());
    presenter.Cancel().Ok().Cancel();
    EXPECT_FALSE(TransponderListDialog(kApp, nullptr).Run(nullptr, &position, descriptor));
    std::filesystem::current_path(previous);
    EXPECT_EQ(presenter.Dialogs().at(0).Shown().Find(D::kTable)->rows.size(), 6u);
    EXPECT_FALSE(KeyExists());

    EXPECT_FALSE(Run(kApp, "absent.txt"));
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
    EXPECT_EQ(Rows(0, 2), "") << "no favourite could be stored";
    EXPECT_EQ(home.Files(), std::vector<std::string>{"list.txt"});
}

}  // namespace
