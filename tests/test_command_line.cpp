// The command line: what opens the window, and the mistakes that stop the program first.

#include "app/CommandLine.h"
#include "support/LoadedForm.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

#include <QFile>

#include <tuple>

using namespace metro;
using Outcome = CommandLine::Outcome;

namespace {

CommandLine parse(const QStringList& arguments) {
    return parseCommandLine(QStringList{"metronome"} + arguments);
}

} // namespace

// Mistakes: stopped before any window, with one line that names what was wrong as typed.
TEST(Parsing, MistakesGiveOneLineNamingTheWrongPartAsTyped) {
    for (const auto& [arguments, mentions] :
         {std::pair<QStringList, const char*>{{"-t", "39"}, "'39'"},
          {{"--tempo", "301"}, "'301'"},
          {{"-t", "fast"}, "'fast'"},
          {{"-t", "120.5"}, "'120.5'"},
          {{"-b", "0"}, "'0'"},
          {{"-b", "9"}, "'9'"},
          {{"-b", "1\n2"}, "'1 2'"},
          {{"--tempo"}, "'--tempo'"},
          {{"--frobnicate"}, "Unknown option '--frobnicate' "},
          {{"-t", "90", "--loud=3"}, "Unknown option '--loud' "},
          {{"-x"}, "Unknown option '-x' "},
          {{"-pq"}, "Unknown option '-pq' "},
          {{"fast"}, "'fast'"}}) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const CommandLine got = parse(arguments);
        EXPECT_EQ(got.outcome, Outcome::Mistake);
        EXPECT_TRUE(got.text.contains(QLatin1String(mentions))) << got.text.toStdString();
        EXPECT_EQ(got.text.count('\n'), 1) << got.text.toStdString();
    }
}

// Tempo, beats (0: not given) and play for arguments that open the window; Qt's own options
// are set aside for it.
TEST(Parsing, GoodArgumentsGiveTheStartState) {
    using Start = std::tuple<int, int, bool>;
    for (const auto& [arguments, expected] :
         {std::pair<QStringList, Start>{{}, {0, 0, false}},
          {{"--tempo", "250", "--beats", "3"}, {250, 3, false}},
          {{"-t", "40", "-b", "1", "-p"}, {40, 1, true}},
          {{"--tempo=300", "--beats=8", "--play"}, {300, 8, true}},
          {{"-platform", "xcb", "-b", "4", "-session", "7"}, {0, 4, false}}}) {
        const CommandLine got = parse(arguments);
        EXPECT_EQ(got.outcome, Outcome::Run) << got.text.toStdString();
        EXPECT_EQ(Start(got.start.tempo.value_or(0), got.start.beats.value_or(0), got.start.play),
                  expected)
            << arguments.join(' ').toStdString();
    }
}

// The help names the options and the tempo's range; the version printed is the one the manual
// page and the desktop's metainfo carry.
TEST(Parsing, HelpAndTheVersionAsTheDocumentsCarryThem) {
    const CommandLine help = parse({"--help"});
    EXPECT_EQ(help.outcome, Outcome::Help);
    EXPECT_TRUE(help.text.contains("--tempo <N>  Open at N beats per minute, 40 to 300"))
        << help.text.toStdString();
    const CommandLine version = parse({"-v"});
    EXPECT_EQ(version.outcome, Outcome::Version);
    EXPECT_EQ(version.text, "Metronome " + programVersion() + "\n");
    for (const auto& [path, carries] :
         {std::pair{"docs/metronome.1", "\"Metronome " + programVersion() + '"'},
          {"desktop/org.example.metronome.metainfo.xml",
           "<release version=\"" + programVersion() + '"'}}) {
        QFile file(QStringLiteral(METRO_SOURCE_DIR "/") + path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path;
        EXPECT_TRUE(QString::fromUtf8(file.readAll()).contains(carries))
            << path << " lacks " << carries.toStdString();
    }
}

struct StartOptionsApplied : test::LoadedForm {};

// The options act as the user's own moves would: the tempo through the weight, then the beats,
// then play; none given leaves start-up as it was.
TEST_F(StartOptionsApplied, OpenTheWindowInTheirState) {
    const float startTop = c.I_Rod.Top;
    applyStartOptions(form, {});
    EXPECT_EQ(std::tuple(c.I_Rod.Top, s.Playing), std::tuple(startTop, false));
    applyStartOptions(form, {250, 3, true});
    // The read-out, the weight's top (the nearest that gives 250), the beats, playing.
    EXPECT_EQ(std::tuple(c.L_temo.Caption, c.I_Rod.Top, s.BeatsPerMeasure, s.Playing),
              std::tuple(std::string("250"), 4928.f, std::int16_t{3}, true));
}
