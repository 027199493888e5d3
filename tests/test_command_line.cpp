// The command line: what opens the window, and the mistakes that stop the program first.

#include "app/CommandLine.h"
#include "support/LoadedForm.h"

#include <gtest/gtest.h>

using namespace metro;
using Outcome = CommandLine::Outcome;

namespace {

struct Case {
    QStringList arguments;
    Outcome outcome;
    int tempo = 0; // 0: not given
    int beats = 0;
    bool play = false;
    const char* mentions = ""; // the text names what was wrong or asked for
};

std::ostream& operator<<(std::ostream& out, const Case& c) {
    return out << c.arguments.join(QLatin1Char(' ')).toStdString();
}

struct Parsing : ::testing::TestWithParam<Case> {};

} // namespace

TEST_P(Parsing, GivesTheStateOrOneLineOfMistake) {
    const Case& expected = GetParam();
    const CommandLine got =
        parseCommandLine(QStringList{QStringLiteral("metronome")} + expected.arguments);
    ASSERT_EQ(got.outcome, expected.outcome) << got.text.toStdString();
    EXPECT_TRUE(got.text.contains(QLatin1String(expected.mentions))) << got.text.toStdString();
    if (expected.outcome == Outcome::Mistake) {
        EXPECT_EQ(got.text.count(QLatin1Char('\n')), 1) << got.text.toStdString();
    }
    EXPECT_EQ(got.start.tempo.value_or(0), expected.tempo);
    EXPECT_EQ(got.start.beats.value_or(0), expected.beats);
    EXPECT_EQ(got.start.play, expected.play);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, Parsing,
    ::testing::Values(Case{{}, Outcome::Run},
                      Case{{"--tempo", "250", "--beats", "3"}, Outcome::Run, 250, 3},
                      Case{{"-t", "40", "-b", "1", "-p"}, Outcome::Run, 40, 1, true},
                      Case{{"--tempo=300", "--beats=8", "--play"}, Outcome::Run, 300, 8, true},
                      Case{{"--help"}, Outcome::Help, 0, 0, false, "--tempo"},
                      Case{{"-v"}, Outcome::Version},
                      Case{{"-platform", "xcb", "-b", "4", "-session", "7"}, Outcome::Run, 0, 4},
                      Case{{"-t", "39"}, Outcome::Mistake, 0, 0, false, "'39'"},
                      Case{{"--tempo", "301"}, Outcome::Mistake, 0, 0, false, "'301'"},
                      Case{{"-t", "fast"}, Outcome::Mistake, 0, 0, false, "'fast'"},
                      Case{{"-t", "120.5"}, Outcome::Mistake, 0, 0, false, "'120.5'"},
                      Case{{"-b", "0"}, Outcome::Mistake, 0, 0, false, "'0'"},
                      Case{{"-b", "9"}, Outcome::Mistake, 0, 0, false, "'9'"},
                      Case{{"-b", "1\n2"}, Outcome::Mistake, 0, 0, false, "'1 2'"},
                      Case{{"--tempo"}, Outcome::Mistake, 0, 0, false, "--tempo"},
                      Case{{"--loud"}, Outcome::Mistake, 0, 0, false, "loud"},
                      Case{{"fast"}, Outcome::Mistake, 0, 0, false, "fast"}));

struct StartOptionsApplied : test::LoadedForm {};

// The options act as the user's own moves would: the tempo through the weight, then the beats,
// then play; none given leaves start-up as it was.
TEST_F(StartOptionsApplied, OpenTheWindowInTheirState) {
    const float startTop = c.I_Rod.Top;
    applyStartOptions(form, {});
    EXPECT_EQ(c.I_Rod.Top, startTop);
    EXPECT_FALSE(s.Playing);

    applyStartOptions(form, {250, 3, true});
    EXPECT_EQ(c.L_temo.Caption, "250");
    EXPECT_GT(c.I_Rod.Top, startTop); // faster is lower on the rod
    EXPECT_EQ(s.BeatsPerMeasure, 3);
    EXPECT_TRUE(s.Playing);
}
