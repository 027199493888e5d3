#pragma once
// The one window: frameless, 281 x 439 pixels, the picture of a metronome. It paints the
// controls of Form1 and hands Qt's key and pointer events to Form1's handlers; it decides
// nothing itself. The picture below the rod is kept as a pixmap at the screen's density, so
// a beat frame repaints only the few rectangles the rod and the weight leave and enter
// (RepaintBands), at the screen's refresh rate (FramePacer).

#include "model/WindowServices.h"
#include "ui/form/Form1.h"
#include "ui/qt/AssetLibrary.h"
#include "ui/qt/ControlPainter.h"
#include "ui/qt/FramePacer.h"
#include "ui/qt/PointerInput.h"

#include <QPixmap>
#include <QPoint>
#include <QWidget>

#include <functional>

namespace metro {

class MetronomeWindow final : public QWidget {
public:
    explicit MetronomeWindow(QWidget* parent = nullptr);
    ~MetronomeWindow() override;

    Form1& form() { return form_; }

    // The message box; tests replace it so that nothing waits for a person.
    std::function<void(const QString&)> showMessage;

    bool beatFramesRunning() const { return pacer_.running(); }
    // Runs a handler as an input event would (a screen reader's press) and repaints.
    void runHandler(const std::function<void(Form1&)>& handler);
    // Runs one beat frame now and repaints what moved (the timer calls it).
    void runBeatFrame();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // What the window does for the logic.
    class Services final : public WindowServices {
    public:
        explicit Services(MetronomeWindow& w) : w_(w) {}
        std::int32_t windowHandle() const override;
        std::string programFolder() const override;
        void messageBox(const std::string& text) override;
        void setCapture() override;
        void releaseCapture() override;
        void startSystemMove() override;
        void hideWindow() override;
        void unloadWindow() override;
        void startBeatFrames() override;
        void stopBeatFrames() override;

    private:
        MetronomeWindow& w_;
    };

    // After any handler: repaints what it changed, if anything.
    void afterHandler();
    const QPixmap& stillPicture(qreal devicePixelRatio);
    // Follows the pointer while the window is moved by hand; false: the event is not for it.
    bool moveByHand(const QMouseEvent& event);
    void endMoveByHand();

    Services services_{*this};
    Form1 form_{services_};
    AssetLibrary assets_;
    ControlPainter painter_{assets_};
    PointerInput input_{form_.pointer};
    FramePacer pacer_{[this] { runBeatFrame(); }};
    QPixmap still_; // the window picture and every control below the rod
    bool stillValid_ = false;
    std::uint64_t stillFingerprint_ = 0;    // of the controls in the still picture
    std::uint64_t aboveFingerprint_ = 0;    // of the other controls painted over it
    std::uint64_t pendulumFingerprint_ = 0; // of the rod and the weight
    std::vector<Control*> pendulum_;        // the rod and the weight
    std::vector<Control*> aboveOthers_;     // the rest painted over the still picture
    bool unloaded_ = false;

    // Moving the window by hand where the platform has no system move.
    bool movingByHand_ = false;
    QPoint moveGrabOffset_;
    QPoint lastPressGlobal_; // screen pixels
};

} // namespace metro
