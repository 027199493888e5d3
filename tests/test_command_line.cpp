// The program's start: the command line (what opens the window, and the mistakes that stop
// the program first), and opening the window system: where no display or platform can be
// opened, the real program prints one line naming it and ends with status 1; where it opens,
// Qt's messages pass on.

#include "app/CommandLine.h"
#include "app/PlatformOpening.h"
#include "support/LoadedForm.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

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

using StartOptionsApplied = test::LoadedForm;

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

// ---- Opening the window system ----

// What the real program's test below cannot reach: lists of platforms, platform options, a
// display name of two lines.
TEST(PlatformFailureLine, NamesTheLastPlatformTriedInOneLine) {
    EXPECT_EQ(platformFailureLine({"wayland;xcb", ":98", "w"}, ""),
              "metronome: cannot open display :98\n");
    EXPECT_EQ(platformFailureLine({"bogus:opt=1", ":0", ""}, ""),
              "metronome: cannot open platform 'bogus'\n");
    EXPECT_EQ(platformFailureLine({"wayland", ":0", ""}, "wayland"),
              "metronome: cannot open Wayland display wayland-0\n");
    EXPECT_EQ(platformFailureLine({"", "a\nb", ""}, "xcb"), "metronome: cannot open display a b\n");
}

TEST(PlatformOpening, HoldsQtsMessagesBackUntilThePlatformIsOpen) {
    static QStringList seen; // "category text", as the messages reach the handler
    const QtMessageHandler before = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext& context, const QString& text) {
            seen << QString::fromLatin1(context.category) + QLatin1Char(' ') + text;
        });
    {
        const PlatformOpening opening(QStringList{"metronome"});
        qWarning("first");
        qInfo("second");
        EXPECT_TRUE(seen.isEmpty()) << seen.join('|').toStdString();
    }
    EXPECT_EQ(seen, QStringList({"default first", "default second"}));
    qWarning("after");
    EXPECT_EQ(seen.size(), 3) << "the handler before it is back";
    qInstallMessageHandler(before);
}

TEST(RealProgram, WithoutADisplayOrPlatformPrintsOneLineAndEndsWithStatusOne) {
    const QTemporaryDir runtime; // for Wayland, which wants one
    ASSERT_TRUE(runtime.isValid());
    QString display; // one no X server holds: neither its lock file nor its socket is there
    for (int n = 99; display.isEmpty() || QFile::exists("/tmp/.X" + display.mid(1) + "-lock") ||
                     QFile::exists("/tmp/.X11-unix/X" + display.mid(1));
         ++n)
        display = QStringLiteral(":%1").arg(n);
    // The arguments, the environment set, and the one line on standard error.
    using Case = std::tuple<QStringList, QList<std::pair<QString, QString>>, QString>;
    const Case cases[] = {
        {{}, {}, "metronome: cannot open a display: DISPLAY is not set\n"},
        {{"-display", display},
         {{"DISPLAY", "elsewhere:7"}},
         "metronome: cannot open display " + display + "\n"},
        {{}, {{"DISPLAY", display}}, "metronome: cannot open display " + display + "\n"},
        {{"-platform", "bogus"}, {}, "metronome: cannot open platform 'bogus'\n"},
        {{"-t", "90"},
         {{"QT_QPA_PLATFORM", "wayland"},
          {"WAYLAND_DISPLAY", "metronome-none"},
          {"XDG_RUNTIME_DIR", runtime.path()}},
         "metronome: cannot open Wayland display metronome-none\n"},
    };
    for (const auto& [arguments, set, line] : cases) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name :
             {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"})
            environment.remove(QString::fromLatin1(name));
        for (const auto& [name, value] : set)
            environment.insert(name, value);
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(METRO_PROGRAM), arguments);
        ASSERT_TRUE(program.waitForFinished(30000)) << line.toStdString();
        // How it ended, its status, and standard error: an abort shows as a crash.
        EXPECT_EQ(std::tuple(program.exitStatus(), program.exitCode(),
                             QString::fromLocal8Bit(program.readAllStandardError())),
                  std::tuple(QProcess::NormalExit, 1, line));
    }
}
