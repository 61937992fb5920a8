// The parts of the dialog runtime that other threads touch: posting, handle lookup,
// resources and brushes; and dialogs running on several threads at once.
#include <atomic>
#include <thread>

#include "tests/platform/ui/UiTestSupport.h"

using UiThreads = ScriptedTest;

TEST_F(UiThreads, MessagesPostedFromWorkersArriveInOrderOnTheDialogsThread) {
    ScopedTemplate t("TH_POST", MakeDialog("Posts", {Control(IDOK, WC_BUTTON, "OK")}));
    TestDialog d;
    std::vector<WPARAM> received;
    std::thread::id uiThread = std::this_thread::get_id();
    bool wrongThread = false;
    d.handler = [&](HWND, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_APP) {
            received.push_back(wParam);
            wrongThread = wrongThread || std::this_thread::get_id() != uiThread;
        }
        return FALSE;
    };
    constexpr int kPerWorker = 200;
    presenter
        .Run([&](HWND dialog) {
            std::vector<std::thread> workers;
            for (int w = 0; w < 2; ++w) {
                workers.emplace_back([dialog, w] {
                    for (int i = 0; i < kPerWorker; ++i)
                        EXPECT_TRUE(PostMessageA(dialog, WM_APP, static_cast<WPARAM>(w * 1000 + i), 0));
                });
            }
            for (auto& t : workers) t.join();
            EXPECT_TRUE(received.empty()) << "not delivered while the step runs";
        })
        .Ok();
    EXPECT_EQ(d.Run(t.Name()), IDOK);
    EXPECT_FALSE(PostMessageA(d.hwnd, WM_APP, 1, 0)) << "a window that is gone takes no posts";
    ASSERT_EQ(received.size(), 2u * kPerWorker);
    EXPECT_FALSE(wrongThread);
    // Each worker's messages keep their order.
    int last[2] = {-1, -1};
    for (WPARAM v : received) {
        int w = static_cast<int>(v / 1000);
        int i = static_cast<int>(v % 1000);
        EXPECT_GT(i, last[w]);
        last[w] = i;
    }
}

TEST_F(UiThreads, DialogsOnSeveralThreadsKeepToThemselves) {
    std::atomic<int> failures{0};
    auto work = [&failures](int n) {
        DialogTemplate t = MakeDialog("Worker", {Control(10, WC_LISTBOX, "", LBS_SORT), Control(11, WC_EDIT, "")});
        for (int round = 0; round < 50; ++round) {
            ModelessDialog m(t);
            std::string name = "TH_" + std::to_string(n) + "_" + std::to_string(round);
            RegisterDialogTemplate(nullptr, name.c_str(), t);
            for (int i = 9; i >= 0; --i) m.SendText(10, LB_ADDSTRING, 0, std::to_string(i).c_str());
            SetDlgItemTextA(m.hwnd, 11, name.c_str());
            HBRUSH b = CreateSolidBrush(RGB(n, round, 0));
            char first[8];
            m.SendText(10, LB_GETTEXT, 0, first);
            if (std::string(first) != "0" || m.Text(11) != name || !DeleteObject(b)) ++failures;
            if (!UnregisterDialogTemplate(nullptr, name.c_str())) ++failures;
        }
    };
    std::thread a(work, 1);
    std::thread b(work, 2);
    a.join();
    b.join();
    EXPECT_EQ(failures.load(), 0);
}
