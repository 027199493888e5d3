// Opening the window system: where no display or platform can be opened, the real program
// prints one line naming it and ends with status 1; where it opens, Qt's messages pass on.

#include "app/PlatformOpening.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <tuple>

using namespace metro;

TEST(PlatformFailureLine, NamesTheDisplayOrPlatformThatFailed) {
    struct Case {
        PlatformRequest request;
        QString failed;
        const char* line;
    };
    const Case cases[] = {
        {{"", ":99", ""}, "xcb", "metronome: cannot open display :99\n"},
        {{"", "", ""}, "xcb", "metronome: cannot open a display: DISPLAY is not set\n"},
        {{"xcb", "host:3.0", ""}, "", "metronome: cannot open display host:3.0\n"},
        {{"bogus", ":0", ""}, "bogus", "metronome: cannot open platform 'bogus'\n"},
        {{"bogus:opt=1", ":0", ""}, "", "metronome: cannot open platform 'bogus'\n"},
        {{"wayland", ":0", "wl-7"}, "wayland", "metronome: cannot open Wayland display wl-7\n"},
        {{"wayland", ":0", ""}, "wayland", "metronome: cannot open Wayland display wayland-0\n"},
        {{"wayland;xcb", ":98", "w"}, "", "metronome: cannot open display :98\n"},
        {{"", "a\nb", ""}, "xcb", "metronome: cannot open display a b\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platformFailureLine(c.request, c.failed), c.line)
            << c.request.platform.toStdString();
}

TEST(PlatformRequest, TakesQtsOptionsBeforeTheEnvironment) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("DISPLAY", ":5");
    qputenv("WAYLAND_DISPLAY", "wl-5");
    using Request = std::tuple<QString, QString, QString>;
    const auto request = [](const QStringList& arguments) {
        const PlatformRequest r = platformRequest(QStringList{"metronome"} + arguments);
        return Request(r.platform, r.display, r.waylandDisplay);
    };
    EXPECT_EQ(request({}), Request("offscreen", ":5", "wl-5"));
    EXPECT_EQ(request({"-platform", "xcb", "-display", ":7"}), Request("xcb", ":7", "wl-5"));
    EXPECT_EQ(request({"-t", "90", "--platform", "vnc", "--display", ":8"}),
              Request("vnc", ":8", "wl-5"));
    EXPECT_EQ(request({"-display"}), Request("offscreen", ":5", "wl-5")) << "no value given";
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

namespace {

struct Ended {
    int exitCode;
    bool crashed;
    QString standardError;
};

// The real program with `environment` changed (an empty value unsets the variable).
Ended runProgram(const QStringList& arguments,
                 const QList<std::pair<QString, QString>>& environment) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"})
        env.remove(QString::fromLatin1(name));
    for (const auto& [name, value] : environment)
        value.isEmpty() ? env.remove(name) : env.insert(name, value);
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(METRO_PROGRAM), arguments);
    EXPECT_TRUE(process.waitForFinished(30000)) << "the program did not end";
    return {process.exitCode(), process.exitStatus() == QProcess::CrashExit,
            QString::fromLocal8Bit(process.readAllStandardError())};
}

// A display number no X server holds: neither its lock file nor its socket is there.
QString freeDisplay() {
    for (int n = 99; n < 400; ++n)
        if (!QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)) &&
            !QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
            return QStringLiteral(":%1").arg(n);
    return QStringLiteral(":399");
}

} // namespace

TEST(RealProgram, WithoutADisplayOrPlatformPrintsOneLineAndEndsWithStatusOne) {
    const QTemporaryDir runtime; // for Wayland, which wants one
    ASSERT_TRUE(runtime.isValid());
    const QString display = freeDisplay();
    struct Case {
        QStringList arguments;
        QList<std::pair<QString, QString>> environment;
        QString line;
    };
    const Case cases[] = {
        {{}, {}, "metronome: cannot open a display: DISPLAY is not set\n"},
        {{"-display", display}, {}, "metronome: cannot open display " + display + "\n"},
        {{}, {{"DISPLAY", display}}, "metronome: cannot open display " + display + "\n"},
        {{"-platform", "bogus"}, {}, "metronome: cannot open platform 'bogus'\n"},
        {{"-t", "90"},
         {{"QT_QPA_PLATFORM", "wayland"},
          {"WAYLAND_DISPLAY", "metronome-none"},
          {"XDG_RUNTIME_DIR", runtime.path()}},
         "metronome: cannot open Wayland display metronome-none\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        const Ended run = runProgram(c.arguments, c.environment);
        EXPECT_FALSE(run.crashed);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.standardError.toStdString(), c.line.toStdString());
    }
}

int main(int argc, char** argv) {
    const QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
