#include "ui/qt/MetronomeWindow.h"

#include "ui/qt/ControlsFingerprint.h"
#include "ui/qt/KeyMapping.h"
#include "ui/qt/RepaintBands.h"
#include "ui/qt/WindowAccessibility.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWheelEvent>
#include <QWindow>

#include <algorithm>
#include <filesystem>

namespace metro {

namespace {
constexpr qreal kTwips = WindowLayout::kTwipsPerPixel;

// Wayland gives a window no pointer grab of its own (only popups have one); there the
// implicit grab of a pressed button is all there is.
bool platformHasPointerGrab() {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}
} // namespace

MetronomeWindow::MetronomeWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    setFixedSize(static_cast<int>(WindowLayout::kClientWidth / kTwips),
                 static_cast<int>(WindowLayout::kClientHeight / kTwips));
    setWindowTitle(QStringLiteral("Metronome"));
    setWindowIcon(AssetLibrary::icon());
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    WindowLayout& c = form_.controls;
    // The window picture takes longest to draw: on a worker while the sound is set up and
    // the window is shown.
    assets_.prepare(QString::fromStdString(c.Picture), devicePixelRatioF());
    pendulum_ = {&c.Line_Rod, &c.I_Rod};
    for (std::size_t i = c.rodPlace(); i < c.stackingOrder().size(); ++i)
        if (std::find(pendulum_.begin(), pendulum_.end(), c.stackingOrder()[i]) == pendulum_.end())
            aboveOthers_.push_back(c.stackingOrder()[i]);
}

MetronomeWindow::~MetronomeWindow() = default;

// ---- services -------------------------------------------------------------------------

std::int32_t MetronomeWindow::Services::windowHandle() const {
    const auto id = static_cast<std::int32_t>(w_.winId() & 0x7FFFFFFF);
    return id != 0 ? id : 1; // any non-zero number names the window
}

std::string MetronomeWindow::Services::programFolder() const {
    // In the file system's own bytes: a folder whose name is not valid UTF-8 would not
    // survive a trip through QString.
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error)
        return program.parent_path().string();
    return QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
}

void MetronomeWindow::Services::messageBox(const std::string& text) {
    const QString message = QString::fromStdString(text);
    if (w_.showMessage) {
        w_.showMessage(message);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), message,
                    QMessageBox::Ok);
    box.exec();
}

void MetronomeWindow::Services::setCapture() {
    if (platformHasPointerGrab())
        w_.grabMouse();
}

void MetronomeWindow::Services::releaseCapture() {
    if (QWidget::mouseGrabber() == &w_)
        w_.releaseMouse();
}

void MetronomeWindow::Services::startSystemMove() {
    QWindow* window = w_.windowHandle();
    if (window && window->startSystemMove()) {
        w_.input_.leftButtonHandedOver(); // the window manager gets its release
        return;
    }
    // No window manager move here (a bare X server): follow the pointer ourselves while
    // the left button stays down, keeping the point where it went down under the pointer.
    // The pointer is grabbed: it leaves the window before the window catches up with it.
    w_.movingByHand_ = true;
    w_.moveGrabOffset_ = w_.lastPressGlobal_ - w_.pos();
    setCapture();
}

void MetronomeWindow::Services::hideWindow() {
    w_.hide();
}

void MetronomeWindow::Services::unloadWindow() {
    w_.close();
}

void MetronomeWindow::Services::startBeatFrames() {
    const QScreen* screen = w_.screen();
    w_.pacer_.start(screen != nullptr ? screen->refreshRate() : 0);
}

void MetronomeWindow::Services::stopBeatFrames() {
    w_.pacer_.stop();
}

// ---- painting -------------------------------------------------------------------------

const QPixmap& MetronomeWindow::stillPicture(qreal devicePixelRatio) {
    const qreal dpr = devicePixelRatio;
    if (stillValid_ && still_.devicePixelRatio() == dpr)
        return still_;
    still_ = QPixmap(size() * dpr);
    still_.setDevicePixelRatio(dpr);
    QPainter p(&still_);
    ControlPainter::setHints(p);
    p.scale(1 / kTwips, 1 / kTwips);
    const WindowLayout& c = form_.controls;
    const QPixmap background = assets_.pixmap(QString::fromStdString(c.Picture), dpr);
    p.drawPixmap(QRectF(0, 0, WindowLayout::kClientWidth, WindowLayout::kClientHeight), background,
                 QRectF(background.rect()));
    const auto& order = c.stackingOrder();
    for (std::size_t i = 0; i < c.rodPlace(); ++i)
        painter_.paint(p, *order[i], dpr);
    stillValid_ = true;
    stillFingerprint_ = controlsFingerprint(order, 0, c.rodPlace());
    return still_;
}

void MetronomeWindow::paintEvent(QPaintEvent* event) {
    const qreal dpr = devicePixelRatioF();
    const QPixmap& still = stillPicture(dpr);
    const QRegion& region = event->region();
    // Rectangle by rectangle, each the painter's only clip: under a clip of many rectangles
    // Qt sends every pixel through its general span blender (and its thread pool), where
    // one rectangle keeps the copy a plain blit and the rod's rasteriser to that rectangle.
    const bool pieces = region.rectCount() > 1;
    QPainter p(this); // clipped to the event's region by the system
    ControlPainter::setHints(p);
    const WindowLayout& c = form_.controls;
    const auto& order = c.stackingOrder();
    for (const QRect& r : region) {
        p.resetTransform();
        if (pieces)
            p.setClipRect(r);
        p.drawPixmap(r.topLeft(), still,
                     QRectF(QPointF(r.topLeft()) * dpr, QSizeF(r.size()) * dpr));
        p.scale(1 / kTwips, 1 / kTwips);
        const QRectF dirty(QPointF(r.topLeft()) * kTwips, QSizeF(r.size()) * kTwips);
        for (std::size_t i = c.rodPlace(); i < order.size(); ++i) {
            const Control& control = *order[i];
            if (control.Visible && ControlPainter::bounds(control).intersects(dirty))
                painter_.paint(p, control, dpr);
        }
    }
}

void MetronomeWindow::runHandler(const std::function<void(Form1&)>& handler) {
    handler(form_);
    afterHandler();
}

void MetronomeWindow::afterHandler() {
    announceChanges(*this);
    const auto& order = form_.controls.stackingOrder();
    const std::uint64_t below = controlsFingerprint(order, 0, form_.controls.rodPlace());
    const std::uint64_t above = controlsFingerprint(aboveOthers_, 0, aboveOthers_.size());
    const std::uint64_t pendulum = controlsFingerprint(pendulum_, 0, pendulum_.size());
    if (below == stillFingerprint_ && above == aboveFingerprint_ &&
        pendulum == pendulumFingerprint_)
        return; // nothing shows differently: nothing to paint
    if (below != stillFingerprint_)
        stillValid_ = false;
    aboveFingerprint_ = above;
    pendulumFingerprint_ = pendulum;
    update();
}

void MetronomeWindow::runBeatFrame() {
    // A beat frame moves the rod and the weight and nothing else.
    RepaintBands bands;
    bands.addPendulum(form_.controls);
    form_.metronome.Beat_Frame();
    bands.addPendulum(form_.controls);
    repaint(bands.region());
    pendulumFingerprint_ = controlsFingerprint(pendulum_, 0, pendulum_.size());
}

// ---- keyboard -------------------------------------------------------------------------

void MetronomeWindow::keyPressEvent(QKeyEvent* event) {
    form_.Form_KeyDown(virtualKeyCode(*event), shiftState(event->modifiers()));
    event->accept();
}

void MetronomeWindow::keyReleaseEvent(QKeyEvent* event) {
    // Holding a key repeats the press, not the release: one command per key stroke.
    if (event->isAutoRepeat())
        return;
    form_.Form_KeyUp(virtualKeyCode(*event), shiftState(event->modifiers()));
    afterHandler();
}

// ---- pointer --------------------------------------------------------------------------

bool MetronomeWindow::moveByHand(const QMouseEvent& event) {
    if (!movingByHand_)
        return false;
    switch (event.type()) {
    case QEvent::MouseMove:
        if (event.buttons().testFlag(Qt::LeftButton)) {
            move(event.globalPosition().toPoint() - moveGrabOffset_);
            return true;
        }
        endMoveByHand(); // the button went up unseen
        return false;
    case QEvent::MouseButtonRelease:
        if (event.button() != Qt::LeftButton)
            return false;
        endMoveByHand(); // the left button's release ends the move, and is no click
        return true;
    default:
        return false;
    }
}

void MetronomeWindow::endMoveByHand() {
    movingByHand_ = false;
    services_.releaseCapture();
}

void MetronomeWindow::mousePressEvent(QMouseEvent* event) {
    lastPressGlobal_ = event->globalPosition().toPoint();
    input_.press(*event);
    afterHandler();
}

void MetronomeWindow::mouseMoveEvent(QMouseEvent* event) {
    if (moveByHand(*event))
        return;
    input_.move(*event);
    afterHandler();
}

void MetronomeWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (moveByHand(*event))
        return;
    input_.release(*event);
    afterHandler();
}

void MetronomeWindow::wheelEvent(QWheelEvent* event) {
    // Towards the user is faster, also where the system turns the numbers round.
    const int delta = event->angleDelta().y();
    form_.Form_MouseWheel(event->inverted() ? -delta : delta);
    afterHandler();
    event->accept();
}

// Wayland reports where the pointer enters and leaves a window, and no move with either;
// without a pointer grab they stand for the moves X11 delivers there.
void MetronomeWindow::enterEvent(QEnterEvent* event) {
    if (!platformHasPointerGrab()) {
        input_.move(QGuiApplication::mouseButtons(), event->modifiers(), event->position());
        afterHandler();
    }
    QWidget::enterEvent(event);
}

void MetronomeWindow::leaveEvent(QEvent* event) {
    // The control holding the capture gets the move off the window that a grab would bring.
    if (!platformHasPointerGrab() && form_.pointer.captured()) {
        input_.move(Qt::NoButton, Qt::NoModifier, QPointF(-1, -1)); // a pixel off the window
        afterHandler();
    }
    QWidget::leaveEvent(event);
}

void MetronomeWindow::closeEvent(QCloseEvent* event) {
    if (!unloaded_) {
        unloaded_ = true;
        pacer_.stop();
        form_.Form_Unload();
    }
    event->accept();
}

} // namespace metro
