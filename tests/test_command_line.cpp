// The command line: what opens the window, and the mistakes that stop the program first.

#include "app/CommandLine.h"
#include "support/LoadedForm.h"

#include <gtest/gtest.h>

using namespace metro;
using Outcome = CommandLine::Outcome;

// Mistakes: stopped before any window, with one line that names what was wrong.
TEST(Parsing, MistakesGiveOneLineNamingTheWrongPart) {
    for (const auto& [arguments, mentions] :
         {std::pair<QStringList, const char*>{{"-t", "39"}, "'39'"},
          {{"--tempo", "301"}, "'301'"},
          {{"-t", "fast"}, "'fast'"},
          {{"-t", "120.5"}, "'120.5'"},
          {{"-b", "0"}, "'0'"},
          {{"-b", "9"}, "'9'"},
          {{"-b", "1\n2"}, "'1 2'"},
          {{"--tempo"}, "--tempo"},
          {{"--loud"}, "loud"},
          {{"fast"}, "fast"}}) {
        const CommandLine got = parseCommandLine(QStringList{"metronome"} + arguments);
        EXPECT_EQ(got.outcome, Outcome::Mistake) << mentions;
        EXPECT_TRUE(got.text.contains(QLatin1String(mentions)) && got.text.count('\n') == 1)
            << got.text.toStdString();
    }
}

// Tempo, beats (0: not given) and play for arguments that open the window; Qt's own options
// are set aside for it.
TEST(Parsing, GoodArgumentsGiveTheStartStateHelpOrVersion) {
    for (const auto& [arguments, tempo, beats, play] :
         {std::tuple<QStringList, int, int, bool>{{}, 0, 0, false},
          {{"--tempo", "250", "--beats", "3"}, 250, 3, false},
          {{"-t", "40", "-b", "1", "-p"}, 40, 1, true},
          {{"--tempo=300", "--beats=8", "--play"}, 300, 8, true},
          {{"-platform", "xcb", "-b", "4", "-session", "7"}, 0, 4, false}}) {
        const CommandLine got = parseCommandLine(QStringList{"metronome"} + arguments);
        EXPECT_EQ(got.outcome, Outcome::Run) << got.text.toStdString();
        EXPECT_TRUE(got.start.tempo.value_or(0) == tempo && got.start.beats.value_or(0) == beats &&
                    got.start.play == play);
    }
    EXPECT_EQ(parseCommandLine({"metronome", "-v"}).outcome, Outcome::Version);
    const CommandLine help = parseCommandLine({"metronome", "--help"});
    EXPECT_TRUE(help.outcome == Outcome::Help && help.text.contains("--tempo"));
}

struct StartOptionsApplied : test::LoadedForm {};

// The options act as the user's own moves would: the tempo through the weight, then the beats,
// then play; none given leaves start-up as it was.
TEST_F(StartOptionsApplied, OpenTheWindowInTheirState) {
    const float startTop = c.I_Rod.Top;
    applyStartOptions(form, {});
    EXPECT_TRUE(c.I_Rod.Top == startTop && !s.Playing);

    applyStartOptions(form, {250, 3, true});
    EXPECT_EQ(c.L_temo.Caption, "250");
    EXPECT_GT(c.I_Rod.Top, startTop); // faster is lower on the rod
    EXPECT_TRUE(s.BeatsPerMeasure == 3 && s.Playing);
}
