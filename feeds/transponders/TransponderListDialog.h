#pragma once
// The modal transponder selection dialog: the transponder file as a table with a
// satellite filter, a comment filter and favourites. It hands the chosen transponder
// back as an orbital position and its satellite delivery-system descriptor.
#include <cstdint>
#include <string>
#include <vector>

#include "feeds/ConfigDialog.h"
#include "feeds/transponders/TransponderList.h"
#include "feeds/transponders/TransponderSelection.h"

class TransponderListDialog : public CConfigDialog {
public:
    static constexpr int kSatelliteList = 4222;
    static constexpr int kFavouritesOnlyCheck = 4999;
    static constexpr int kCommentFilterEdit = 5333;
    static constexpr int kTable = 4777;
    static constexpr int kFilterTextLimit = 259;

    // applicationName names the settings key (null: nothing is remembered); fileName
    // the transponder file (null: kTransponderListFileName).
    TransponderListDialog(const char* applicationName, const char* fileName);

    // True when the dialog ended with OK or a double click on a row: the position and
    // the descriptor (tag, length byte and as many bytes as it says, at most
    // kDescriptorCapacity) are written. Otherwise false, and nothing is written.
    bool Run(HWND owner, uint16_t* orbitalPosition, uint8_t* descriptor);

    INT_PTR OnInitDialog() override;
    INT_PTR OnCommand(WPARAM command, WORD notification) override;
    INT_PTR OnNotify(int controlId, NMHDR* header) override;

private:
    void FillSatelliteList();
    void SetUpTable();
    // Clears table and entries and reads the file again under the current filter.
    void Reload();
    void FavouriteChanged(int row, bool marked);
    std::string CellText(int row, int column);
    bool Choose(int row);

    std::string fileName_;
    TransponderSelection settings_;
    TransponderFilter filter_;
    // One per table row, in row order.
    std::vector<TransponderEntry> entries_;
    int chosen_ = -1;
    // Set while the dialog itself fills its controls: the change reports that causes
    // are not a person's doing.
    bool filling_ = false;
};
