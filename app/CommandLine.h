#pragma once
// The program's command line: the state the window opens with, help and the version.
// Parsed before the application object exists, so that help, the version and a mistake need
// neither a screen nor a sound device.
//
//   metronome [-t|--tempo N] [-b|--beats M] [-p|--play] [-h|--help] [-v|--version]

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace metro {

class Form1;

// What the window opens with beyond the usual start-up; nothing given, nothing changes.
struct StartOptions {
    std::optional<std::int16_t> tempo; // beats per minute, 40 to 300
    std::optional<std::int16_t> beats; // beats per measure, 1 to 8
    bool play = false;                 // start at once
};

struct CommandLine {
    enum class Outcome {
        Run,     // open the window with `start`
        Help,    // print `text` on standard output, exit 0
        Version, // print `text` on standard output, exit 0
        Mistake, // print `text`, one line, on standard error, exit 2
    };
    Outcome outcome = Outcome::Run;
    QString text;
    StartOptions start;
};

// The program's version, as the build names it ("1.00").
QString programVersion();

// `arguments` as main() gets them, the program's own path first.
CommandLine parseCommandLine(const QStringList& arguments);

// After start-up: the weight goes to the height nearest its own that gives exactly the tempo,
// moved as the plus and minus keys move it; then the beats; then play.
void applyStartOptions(Form1& form, const StartOptions& options);

} // namespace metro
