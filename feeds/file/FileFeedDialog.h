#pragma once
// The file feed's settings dialog: file, looping, bitrate lock and bitrate, with a
// browse button that measures the chosen file's bitrate. It edits the feed directly.
#include "feeds/ConfigDialog.h"

class CFileFeed;

class CFileFeedDialog : public CConfigDialog {
public:
    static constexpr int kFileNameEdit = 200;
    static constexpr int kBrowseButton = 201;
    static constexpr int kLoopCheck = 202;
    static constexpr int kBitrateLockCheck = 203;
    static constexpr int kBitrateLabel = 204;
    static constexpr int kBitrateUnit = 205;
    static constexpr int kBitrateEdit = 206;
    static constexpr WORD kSmallIconId = 188;

    explicit CFileFeedDialog(CFileFeed* feed);
    ~CFileFeedDialog() override;

    INT_PTR OnMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;
    INT_PTR OnInitDialog() override;
    INT_PTR OnCommand(WPARAM command, WORD notification) override;

private:
    void UpdateEnableState();
    void Browse();
    void Accept();
    INT_PTR PaintBitrateField(HDC dc);

    CFileFeed* feed_;
    // One brush per colour, alive as long as the dialog, so a painted answer stays valid.
    HBRUSH brushes_[3] = {};
};
