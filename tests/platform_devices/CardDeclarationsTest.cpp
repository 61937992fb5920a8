#include "platform/devices/CardDeclarations.h"

#include <gtest/gtest.h>

TEST(CardDeclarations, ReadsEachCardsKeysWithTheirDefaults) {
    const CardDeclarations d = ParseCardDeclarations(
        "# two cards\n"
        "[QUARNOX0]\n"
        "tuner = 12\n"
        "rate = 8M   ; generated\n"
        "lock-delay = 250\n"
        "signal = 50%\n"
        "reception = 17\n"
        "driver = 1.2.3\n"
        "extension = no\n"
        "offset = 5\n"
        "never-lock = yes\n"
        "no-sync = on\n"
        "vanish-after = 4\n"
        "\n"
        "[QUARNOX1]\n"
        "tuner = 3\n"
        "type = 9\n"
        "stream = /no/such.ts\n",
        "cards.conf");
    EXPECT_EQ(d.problem, "");
    ASSERT_EQ(d.cards.size(), 2u);
    const SimulatedCardDeclaration& a = d.cards[0];
    EXPECT_EQ(a.name, "QUARNOX0");
    EXPECT_EQ(a.feedType, 7u) << "from the DVB-S2 tuner";
    EXPECT_EQ(a.tunerType, 12u);
    EXPECT_EQ(a.lockDelayMs, 250u);
    EXPECT_EQ(a.signal, 32767);
    EXPECT_EQ(a.reception, 17u);
    EXPECT_EQ(a.driverVersion, "1.2.3");
    EXPECT_FALSE(a.extension);
    EXPECT_EQ(a.startOffset, 5u);
    EXPECT_EQ(a.faults, unsigned{SimulatedCard::kNeverLocks | SimulatedCard::kNoSync});
    EXPECT_EQ(a.vanishAfterSeconds, 4u);
    const SimulatedCardDeclaration& b = d.cards[1];
    EXPECT_EQ(b.feedType, 9u);
    EXPECT_EQ(b.faults, 0u);
    std::string error;
    EXPECT_EQ(b.openStream(&error), nullptr) << "the file is opened with the card";
    EXPECT_FALSE(error.empty());
    EXPECT_NE(a.openStream(&error), nullptr);
}

TEST(CardDeclarations, ABadLineLeavesItsCardOutAndSaysWhere) {
    const std::pair<const char*, const char*> cases[] = {
        {"[QUARNOX0]\ntuner = two\n", "cards.conf:2: tuner takes a tuner type number"},
        {"tuner = 2\n[QUARNOX0]\n", "cards.conf:1: a card's settings follow its [NAME] line"},
        {"[QUARNOX0]\nsignal = 70000\n", "cards.conf:2: signal takes 0 to 65535 or 0% to 100%"},
        {"[QUARNOX0]\nrate = 8X\n", "cards.conf:2: rate takes bit/s, e.g. 8000000 or 8M"},
        {"[QUARNOX0]\n\n# c\nnever-lock = maybe\n", "cards.conf:4: never-lock takes yes or no"},
        {"[QUARNOX0]\ncolour = red\n", "cards.conf:2: unknown key \"colour\""},
        {"[\\\\.\\QUARNOX0]\n", "cards.conf:1: a section names a device, e.g. [QUARNOX0]"},
        {"[QUARNOX0]\njust words\n", "cards.conf:2: expected KEY = VALUE"},
    };
    for (const auto& [text, problem] : cases) {
        const CardDeclarations d = ParseCardDeclarations(std::string(text) + "[QUARNOX1]\ntuner = 4\n", "cards.conf");
        EXPECT_EQ(d.problem, problem) << text;
        ASSERT_FALSE(d.cards.empty()) << text;
        EXPECT_EQ(d.cards.back().name, "QUARNOX1") << "the good card stays";
        EXPECT_EQ(d.cards.back().feedType, 3u);
        // Only a line outside every card leaves the card after it alone.
        EXPECT_EQ(d.cards.size(), std::string_view(text).starts_with("tuner") ? 2u : 1u) << text;
    }
    EXPECT_TRUE(ReadCardDeclarations("/no/such/dir/cards.conf").cards.empty());
    EXPECT_EQ(ReadCardDeclarations("/no/such/dir/cards.conf").problem, "");
}
