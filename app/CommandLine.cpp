#include "app/CommandLine.h"

#include "model/TempoScale.h"
#include "ui/form/Form1.h"

#include <QCommandLineParser>

namespace metro {

namespace {

constexpr std::int16_t kSlowest = TempoScale::kSlowestTempo; // beats per minute
constexpr std::int16_t kFastest = TempoScale::kFastestTempo;
constexpr std::int16_t kFewestBeats = 1, kMostBeats = 8; // per measure

// One line whatever the user typed: line breaks in a value become spaces.
CommandLine mistake(QString what) {
    what = what.simplified();
    if (what.endsWith(QLatin1Char('.')))
        what.chop(1);
    return {CommandLine::Outcome::Mistake,
            QStringLiteral("metronome: %1 (see metronome --help)\n").arg(what),
            {}};
}

// A whole number within [low, high], or nothing.
std::optional<std::int16_t> wholeNumber(const QString& text, int low, int high) {
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return static_cast<std::int16_t>(value);
}

// Qt's own options, which QApplication takes out of the arguments itself: whether
// `argument` is one, and whether the next argument is its value. A session manager restarts
// the program with -session; -platform, -style and the like work as in any Qt program.
bool isQtOption(const QString& argument, bool& valueFollows) {
    static const QStringList withValue =
        QStringLiteral("platform platformpluginpath platformtheme plugin qwindowgeometry "
                       "qwindowicon qwindowtitle session display geometry name title style "
                       "stylesheet")
            .split(QLatin1Char(' '));
    static const QStringList alone =
        QStringLiteral("reverse widgetcount sync qmljsdebugger").split(QLatin1Char(' '));
    // Qt takes one dash or two.
    QString name = argument.startsWith(QLatin1String("--")) ? argument.mid(2) : argument.mid(1);
    if (!argument.startsWith(QLatin1Char('-')) || name.isEmpty())
        return false;
    const qsizetype equals = name.indexOf(QLatin1Char('='));
    if (equals >= 0)
        name.truncate(equals);
    valueFollows = equals < 0 && withValue.contains(name);
    return withValue.contains(name) || alone.contains(name);
}

// Qt names an unknown option without its dashes: the user is shown the argument as typed, up
// to any '=value'. A single dash may join short options ("-xy"): the whole of it is named.
QString unknownOptionAsTyped(const QStringList& arguments, const QStringList& unknown) {
    for (const QString& argument : arguments.mid(1)) {
        if (argument == QLatin1String("--"))
            break;
        if (!argument.startsWith(QLatin1Char('-')) || argument.size() < 2)
            continue;
        QString typed = argument.section(QLatin1Char('='), 0, 0);
        const bool isLong = typed.startsWith(QLatin1String("--"));
        for (const QString& name : unknown)
            if (isLong ? typed.mid(2) == name : name.size() == 1 && typed.mid(1).contains(name))
                return typed;
    }
    return unknown.value(0);
}

} // namespace

QString programVersion() {
    return QStringLiteral(METRO_VERSION);
}

CommandLine parseCommandLine(const QStringList& arguments) {
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption tempo(
        {QStringLiteral("t"), QStringLiteral("tempo")},
        QStringLiteral("Open at N beats per minute, %1 to %2 (default 120).")
            .arg(kSlowest)
            .arg(kFastest),
        QStringLiteral("N"));
    const QCommandLineOption beats(
        {QStringLiteral("b"), QStringLiteral("beats")},
        QStringLiteral("Open with M beats per measure, %1 to %2 (default 2).")
            .arg(kFewestBeats)
            .arg(kMostBeats),
        QStringLiteral("M"));
    const QCommandLineOption play({QStringLiteral("p"), QStringLiteral("play")},
                                  QStringLiteral("Start the metronome at once."));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A mechanical metronome on the desktop: slide the weight to set the tempo."));
    parser.addOptions({tempo, beats, play, help, version});
    QStringList ours;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        bool valueFollows = false;
        if (i > 0 && isQtOption(arguments[i], valueFollows))
            i += valueFollows ? 1 : 0;
        else
            ours << arguments[i];
    }
    if (!parser.parse(ours)) {
        if (parser.unknownOptionNames().isEmpty())
            return mistake(parser.errorText());
        return mistake(QStringLiteral("Unknown option '%1'")
                           .arg(unknownOptionAsTyped(ours, parser.unknownOptionNames())));
    }
    if (parser.isSet(help)) {
        // Qt's usage line names the program by its full path only once an application exists.
        const QString options = parser.helpText().section(QLatin1Char('\n'), 1);
        return {CommandLine::Outcome::Help,
                QStringLiteral("Usage: metronome [options]\n") + options,
                {}};
    }
    if (parser.isSet(version)) {
        return {CommandLine::Outcome::Version,
                QStringLiteral("Metronome %1\n").arg(programVersion()),
                {}};
    }
    if (!parser.positionalArguments().isEmpty())
        return mistake(QStringLiteral("Unexpected argument '%1'")
                           .arg(parser.positionalArguments().constFirst()));

    CommandLine result;
    if (parser.isSet(tempo)) {
        result.start.tempo = wholeNumber(parser.value(tempo), kSlowest, kFastest);
        if (!result.start.tempo)
            return mistake(
                QStringLiteral("The tempo must be a whole number from %1 to %2, not '%3'")
                    .arg(kSlowest)
                    .arg(kFastest)
                    .arg(parser.value(tempo)));
    }
    if (parser.isSet(beats)) {
        result.start.beats = wholeNumber(parser.value(beats), kFewestBeats, kMostBeats);
        if (!result.start.beats)
            return mistake(
                QStringLiteral(
                    "The beats per measure must be a whole number from %1 to %2, not '%3'")
                    .arg(kFewestBeats)
                    .arg(kMostBeats)
                    .arg(parser.value(beats)));
    }
    result.start.play = parser.isSet(play);
    return result;
}

void applyStartOptions(Form1& form, const StartOptions& options) {
    if (options.tempo)
        form.Tempo_Seek(*options.tempo);
    if (options.beats)
        form.L_Metro_Click(*options.beats);
    if (options.play)
        form.I_Play_Click(0);
}

} // namespace metro
