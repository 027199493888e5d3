// Opening the window system: where no display or platform can be opened, the real program
// prints one line naming it and ends with status 1; where it opens, Qt's messages pass on.

#include "app/PlatformOpening.h"
#include "support/QtPrinting.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <tuple>

using namespace metro;

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

namespace {

QStringList seen;
void recordMessage(QtMsgType, const QMessageLogContext& context, const QString& text) {
    seen << QString::fromLatin1(context.category) + QLatin1Char(' ') + text;
}

} // namespace

TEST(PlatformOpening, HoldsQtsMessagesBackUntilThePlatformIsOpen) {
    seen.clear();
    const QtMessageHandler before = qInstallMessageHandler(recordMessage);
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
