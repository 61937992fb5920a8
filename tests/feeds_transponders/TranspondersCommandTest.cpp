// kestrel transponders: the dialog's filters from the command line, over the example
// list, with favourites from a temporary settings store.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "feeds/transponders/TransponderSelection.h"
#include "tests/platform/RegistryTestSupport.h"
#include "tests/support/ShellRun.h"

namespace {

ShellResult Kestrel(const std::string& arguments,
                    const std::string& file = KESTREL_SOURCE_DIR "/tools/transponders/TransponderList.txt") {
    const char* bin = std::getenv("KESTREL_TEST_BIN");
    return RunShell(std::string("'") + (bin ? bin : ".") + "/kestrel' transponders " + arguments + " --file '" + file +
                    "' 2>&1");
}

TEST(TranspondersCommand, ListsWhatTheDialogWouldShow) {
    ScopedRegistryHome home;
    TransponderSelection("kestrel").SetFavourite("13.0\xB0" "E11766H", true);
    struct Case {
        std::string arguments;
        int status;
        size_t lines;
        std::string first;
    };
    const std::vector<Case> cases = {
        {"", 0, 28, "  19.2\xC2\xB0" "E    10743.8 H   22000 QPSK              Astra 1KR, SES test carrier\n"},
        {"--satellite 13.0E --filter free", 0, 1,
         "* 13.0\xC2\xB0" "E      11766 H   27500 QPSK              Hotbird 13F, free-to-air\n"},
        {"--satellite 9\xC2\xB0" "E", 0, 1, "  9.0\xC2\xB0" "E     11844.0 H   27500 S2/8PSK           Eutelsat 9B, extra precision\n"},
        {"--favourites --json", 0, 3,
         "[\n{\"favourite\":true,\"orbital_position\":\"0130\",\"position\":\"13.0\xC2\xB0" "E\",\"frequency\":\"11766\","
         "\"polarisation\":\"H\",\"symbol_rate\":\"27500\",\"modulation\":\"QPSK\",\"comment\":\"Hotbird 13F, "
         "free-to-air\",\"descriptor\":\"430B0117660001308102750002\"}\n"},
        {"--app other --favourites --json", 0, 1, "[]\n"},
        {"--satellite 360", 2, 1, "kestrel: --satellite wants degrees east such as 19.2 or 19.2E, or all: 360\n"},
    };
    for (const Case& c : cases) {
        const ShellResult result = Kestrel(c.arguments);
        EXPECT_EQ(result.status, c.status) << c.arguments << "\n" << result.out;
        EXPECT_EQ(size_t(std::count(result.out.begin(), result.out.end(), '\n')), c.lines)
            << c.arguments << "\n" << result.out;
        EXPECT_EQ(result.out.substr(0, c.first.size()), c.first) << c.arguments;
    }
    EXPECT_EQ(Kestrel("", "/nonexistent/list.txt").out.find("kestrel: cannot read the transponder list"), 0u);
}

}  // namespace
