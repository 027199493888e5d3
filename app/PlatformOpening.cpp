#include "app/PlatformOpening.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

namespace metro {

namespace {

// A message held back, with copies of what its context points to.
struct HeldMessage {
    QtMsgType type;
    QByteArray file, function, category;
    int line;
    QString text;
};

// The opening under way: Qt's message handler is a plain function. The platform's own
// threads (xcb's event reader) may report too.
struct Opening {
    PlatformRequest request;
    QtMessageHandler previous = nullptr;
    std::mutex lock;
    std::vector<HeldMessage> held; // under `lock`
};
std::unique_ptr<Opening> opening;

void pass(const HeldMessage& m) {
    const QMessageLogContext context(m.file.isNull() ? nullptr : m.file.constData(), m.line,
                                     m.function.isNull() ? nullptr : m.function.constData(),
                                     m.category.isNull() ? nullptr : m.category.constData());
    qt_message_output(m.type, context, m.text);
}

// Qt names the plugin it could not load or find in quotes: the last one named failed last.
QString failedPlatform(const std::vector<HeldMessage>& held) {
    static const QRegularExpression named(QStringLiteral("platform plugin \"([^\"]*)\""));
    QString failed;
    for (const HeldMessage& m : held) {
        const QRegularExpressionMatch match = named.match(m.text);
        if (match.hasMatch())
            failed = match.captured(1);
    }
    return failed;
}

void holdBack(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    const std::lock_guard<std::mutex> hold(opening->lock);
    if (type == QtFatalMsg) {
        // Nothing has been set up that needs taking down: no window, no sound.
        const std::string line =
            platformFailureLine(opening->request, failedPlatform(opening->held));
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        std::_Exit(1);
    }
    opening->held.push_back({type, QByteArray(context.file), QByteArray(context.function),
                             QByteArray(context.category), context.line, text});
}

// The value of Qt's option `name` (one dash or two), or nothing.
QString optionValue(const QStringList& arguments, const QString& name) {
    for (qsizetype i = 1; i + 1 < arguments.size(); ++i)
        if (arguments[i] == QLatin1Char('-') + name || arguments[i] == QLatin1String("--") + name)
            return arguments[i + 1];
    return {};
}

} // namespace

PlatformRequest platformRequest(const QStringList& arguments) {
    PlatformRequest request;
    request.platform = optionValue(arguments, QStringLiteral("platform"));
    if (request.platform.isEmpty())
        request.platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    request.display = optionValue(arguments, QStringLiteral("display"));
    if (request.display.isEmpty())
        request.display = qEnvironmentVariable("DISPLAY");
    request.waylandDisplay = qEnvironmentVariable("WAYLAND_DISPLAY");
    return request;
}

std::string platformFailureLine(const PlatformRequest& request, const QString& failed) {
    QString platform = failed.isEmpty() ? request.platform : failed;
    // A list ("wayland;xcb") is tried in turn: the last one failed last.
    platform = platform.section(QLatin1Char(';'), -1).section(QLatin1Char(':'), 0, 0);
    QString line;
    if (platform.isEmpty() || platform == QLatin1String("xcb")) {
        line = request.display.isEmpty()
                   ? QStringLiteral("cannot open a display: DISPLAY is not set")
                   : QStringLiteral("cannot open display %1").arg(request.display);
    } else if (platform.startsWith(QLatin1String("wayland"))) {
        line = QStringLiteral("cannot open Wayland display %1")
                   .arg(request.waylandDisplay.isEmpty() ? QStringLiteral("wayland-0")
                                                         : request.waylandDisplay);
    } else {
        line = QStringLiteral("cannot open platform '%1'").arg(platform);
    }
    return QStringLiteral("metronome: %1\n").arg(line.simplified()).toStdString();
}

PlatformOpening::PlatformOpening(const QStringList& arguments) {
    opening = std::make_unique<Opening>();
    opening->request = platformRequest(arguments);
    opening->previous = qInstallMessageHandler(holdBack);
}

PlatformOpening::~PlatformOpening() {
    qInstallMessageHandler(opening->previous);
    std::vector<HeldMessage> held;
    {
        const std::lock_guard<std::mutex> hold(opening->lock);
        held = std::move(opening->held);
    }
    opening.reset();
    for (const HeldMessage& m : held)
        pass(m);
}

} // namespace metro
