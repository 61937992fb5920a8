// Message boxes and the open-file dialog.
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tests/platform/ui/UiTestSupport.h"

namespace {

struct TempFile {
    std::filesystem::path path;
    explicit TempFile(const char* name) : path(std::filesystem::temp_directory_path() / name) {
        std::ofstream(path) << "data";
    }
    ~TempFile() { std::filesystem::remove(path); }
};

OPENFILENAMEA Request(char* buffer, DWORD size, DWORD flags) {
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFilter = "Transport Streams (*.TS,*.TRP,*.MPG)\0*.TS;*.TRP;*.MPG\0All files (*.*)\0*.*\0";
    ofn.lpstrFile = buffer;
    ofn.nMaxFile = size;
    ofn.Flags = flags;
    return ofn;
}

using MessageBoxes = ScriptedTest;
using OpenFile = ScriptedTest;

}  // namespace

TEST_F(MessageBoxes, AnswersComeFromTheScriptOrTheDefaultButton) {
    ScopedTemplate t("MB_OWNER", MakeDialog("Feed settings", {Control(IDOK, WC_BUTTON, "OK")}));
    TestDialog d;
    int answer = 0;
    d.handler = [&](HWND hwnd, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK && !answer) {
            answer = MessageBoxA(hwnd, "No transponder selected", "Error", MB_OK);
            return TRUE;  // stays open
        }
        return FALSE;
    };
    presenter.Answer(IDNO).Answer(IDRETRY);
    EXPECT_EQ(MessageBoxA(nullptr, "Replace it?", "Question", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "Gone", "Oops", MB_OK | MB_ICONSTOP), IDOK) << "a button the box lacks";
    EXPECT_EQ(MessageBoxA(nullptr, "Sure?", nullptr, MB_YESNOCANCEL | MB_DEFBUTTON2), IDNO) << "unscripted: default";
    EXPECT_EQ(MessageBoxA(nullptr, "Careful", "Warning", MB_OKCANCEL | MB_ICONWARNING), IDOK);
    presenter.Ok().Answer(IDOK).Ok();
    EXPECT_EQ(d.Run(t.Name()), IDOK);
    EXPECT_EQ(answer, IDOK);

    const auto& boxes = presenter.MessageBoxes();
    ASSERT_EQ(boxes.size(), 5u);
    EXPECT_EQ(boxes[0].caption, "Question");
    EXPECT_EQ(boxes[0].Icon(), MB_ICONQUESTION);
    EXPECT_EQ(boxes[0].Buttons(), MB_YESNO);
    EXPECT_EQ(boxes[1].answer, IDRETRY) << "the record keeps what the script said";
    EXPECT_EQ(boxes[2].caption, "Error") << "no caption: the platform's";
    EXPECT_EQ(boxes[3].Icon(), MB_ICONEXCLAMATION);
    EXPECT_EQ(boxes[4].ownerCaption, "Feed settings");
    EXPECT_TRUE(presenter.Problems().empty());

    SetPresenter(nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "Out of memory", "Critical error", MB_ICONSTOP), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Critical error: Out of memory\n") << "no presenter";
}

TEST_F(OpenFile, APickedFileFillsTheRequest) {
    TempFile file("kestrel-ui-pick.ts");
    const std::string path = file.path.string();
    char name[260] = "initial.ts";
    char title[8];
    OPENFILENAMEA ofn = Request(name, sizeof name, OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
    ofn.lpstrFileTitle = title;
    ofn.nMaxFileTitle = sizeof title;
    presenter.PickFile(path);
    ASSERT_TRUE(GetOpenFileNameA(&ofn));
    EXPECT_EQ(std::string(name), path);
    EXPECT_EQ(ofn.nFileOffset, path.size() - std::strlen("kestrel-ui-pick.ts"));
    EXPECT_EQ(ofn.nFileExtension, path.size() - 2);
    EXPECT_STREQ(title, "kestrel") << "the title is cut to its buffer";
    ASSERT_EQ(presenter.OpenFileDialogs().size(), 1u);
    const OpenFileRequest& shown = presenter.OpenFileDialogs()[0].request;
    EXPECT_EQ(shown.filters, (std::vector<std::pair<std::string, std::string>>{
                                 {"Transport Streams (*.TS,*.TRP,*.MPG)", "*.TS;*.TRP;*.MPG"}, {"All files (*.*)", "*.*"}}));
    EXPECT_EQ(shown.initialFile, "initial.ts");

    // The default extension completes a bare name only.
    ofn = Request(name, sizeof name, 0);
    ofn.lpstrDefExt = "ts";
    presenter.PickFile("/tmp/recording").PickFile("/tmp/recording.mpg");
    ASSERT_TRUE(GetOpenFileNameA(&ofn));
    EXPECT_STREQ(name, "/tmp/recording.ts");
    ASSERT_TRUE(GetOpenFileNameA(&ofn));
    EXPECT_STREQ(name, "/tmp/recording.mpg");
    EXPECT_EQ(ofn.nFileExtension, std::strlen("/tmp/recording."));
}

TEST_F(OpenFile, CancelledMissingAndTooLongNamesFail) {
    TempFile file("kestrel-ui-long-name.ts");
    char name[260] = "";
    OPENFILENAMEA ofn = Request(name, sizeof name, OFN_FILEMUSTEXIST);
    presenter.CancelFile();
    EXPECT_FALSE(GetOpenFileNameA(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), 0u) << "a cancel is no error";
    EXPECT_FALSE(GetOpenFileNameA(&ofn)) << "unscripted: cancelled";

    presenter.PickFile("/nonexistent/kestrel/x.ts");
    EXPECT_FALSE(GetOpenFileNameA(&ofn));
    EXPECT_EQ(presenter.Problems(), (Texts{"open-file dialog: pick \"/nonexistent/kestrel/x.ts\": the file does not exist"}));

    char small[8] = {};
    OPENFILENAMEA tight = Request(small, sizeof small, 0);
    presenter.PickFile(file.path.string());
    EXPECT_FALSE(GetOpenFileNameA(&tight));
    EXPECT_EQ(CommDlgExtendedError(), FNERR_BUFFERTOOSMALL);
    WORD needed = 0;
    std::memcpy(&needed, small, sizeof needed);
    EXPECT_EQ(needed, file.path.string().size() + 1) << "the size needed is left in the buffer";

    OPENFILENAMEA bad = Request(name, sizeof name, 0);
    bad.lStructSize = 12;
    EXPECT_FALSE(GetOpenFileNameA(&bad));
    EXPECT_EQ(CommDlgExtendedError(), CDERR_STRUCTSIZE);
    EXPECT_EQ(presenter.StepsLeft(), 0u);
    SetPresenter(nullptr);
    EXPECT_FALSE(GetOpenFileNameA(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), CDERR_DIALOGFAILURE);
}
