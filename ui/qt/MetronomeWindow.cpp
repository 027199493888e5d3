#include "ui/qt/MetronomeWindow.h"

#include "ui/qt/ControlsFingerprint.h"
#include "ui/qt/KeyMapping.h"

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
#include <cmath>
#include <filesystem>

namespace metro {

namespace {
constexpr qreal twips = WindowLayout::twipsPerPixel;

// Wayland gives a window no pointer grab of its own (only popups have one); there the
// implicit grab of a pressed button is all there is.
bool platformHasPointerGrab() {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

QRect toPixels(const QRectF& twipRect, int pad) {
    const QRectF px(twipRect.topLeft() / twips, twipRect.size() / twips);
    return px.toAlignedRect().adjusted(-pad, -pad, pad, pad);
}
} // namespace

MetronomeWindow::MetronomeWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    setFixedSize(static_cast<int>(WindowLayout::clientWidth / twips),
                 static_cast<int>(WindowLayout::clientHeight / twips));
    setWindowTitle(QStringLiteral("Metronome"));
    setWindowIcon(AssetLibrary::icon());
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    frameTimer_.setTimerType(Qt::PreciseTimer);
    connect(&frameTimer_, &QTimer::timeout, this, [this] { runBeatFrame(); });
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
    if (window && window->startSystemMove())
        return;
    // No window manager move here (a bare X server): follow the pointer ourselves while
    // the left button stays down, keeping the point where it went down under the pointer.
    w_.movingByHand_ = true;
    w_.moveGrabOffset_ = w_.lastPressGlobal_ - w_.pos();
}

void MetronomeWindow::Services::hideWindow() {
    w_.hide();
}

void MetronomeWindow::Services::unloadWindow() {
    w_.close();
}

void MetronomeWindow::Services::startBeatFrames() {
    const QScreen* screen = w_.screen();
    const qreal hz = screen && screen->refreshRate() > 1 ? screen->refreshRate() : 60.0;
    w_.frameTimer_.start(std::max(4, static_cast<int>(std::floor(1000.0 / hz))));
}

void MetronomeWindow::Services::stopBeatFrames() {
    w_.frameTimer_.stop();
}

// ---- painting -------------------------------------------------------------------------

QRect MetronomeWindow::pendulumBounds() const {
    const WindowLayout& c = form_.controls;
    return toPixels(ControlPainter::bounds(c.Line_Rod), 1) |
           toPixels(ControlPainter::bounds(c.I_Rod), 1);
}

const QPixmap& MetronomeWindow::stillPicture(qreal dpr) {
    if (stillValid_ && still_.devicePixelRatio() == dpr)
        return still_;
    still_ = QPixmap(size() * dpr);
    still_.setDevicePixelRatio(dpr);
    QPainter p(&still_);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(1 / twips, 1 / twips);
    const WindowLayout& c = form_.controls;
    const QPixmap background = assets_.pixmap(QString::fromStdString(c.Picture), dpr);
    p.drawPixmap(QRectF(0, 0, WindowLayout::clientWidth, WindowLayout::clientHeight), background,
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
    QPainter p(this); // clipped to the event's region by the system
    p.drawPixmap(QPoint(0, 0), stillPicture(dpr));
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(1 / twips, 1 / twips);
    const QRectF dirty(QRectF(event->rect()).topLeft() * twips,
                       QRectF(event->rect()).size() * twips);
    const WindowLayout& c = form_.controls;
    const auto& order = c.stackingOrder();
    for (std::size_t i = c.rodPlace(); i < order.size(); ++i) {
        const Control& control = *order[i];
        if (control.Visible && ControlPainter::bounds(control).intersects(dirty))
            painter_.paint(p, control, dpr);
    }
}

void MetronomeWindow::runHandler(const std::function<void(Form1&)>& handler) {
    handler(form_);
    afterHandler();
}

void MetronomeWindow::afterHandler() {
    const auto& order = form_.controls.stackingOrder();
    const std::size_t rod = form_.controls.rodPlace();
    const std::uint64_t below = controlsFingerprint(order, 0, rod);
    const std::uint64_t above = controlsFingerprint(order, rod, order.size());
    if (below == stillFingerprint_ && above == aboveFingerprint_)
        return; // nothing shows differently: nothing to paint
    if (below != stillFingerprint_)
        stillValid_ = false;
    aboveFingerprint_ = above;
    update();
}

void MetronomeWindow::runBeatFrame() {
    // One rectangle around where the pendulum was and is: a region of many small pieces
    // costs more to paint and flush than the pixels it saves.
    const QRect before = pendulumBounds();
    form_.metronome.Beat_Frame();
    repaint(before | pendulumBounds());
    const auto& order = form_.controls.stackingOrder();
    aboveFingerprint_ = controlsFingerprint(order, form_.controls.rodPlace(), order.size());
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

void MetronomeWindow::mousePressEvent(QMouseEvent* event) {
    lastPressGlobal_ = event->globalPosition().toPoint();
    const QPointF at = event->position() * twips;
    form_.pointer.press(buttonBits(event->button()), shiftState(event->modifiers()),
                        static_cast<float>(at.x()), static_cast<float>(at.y()));
    afterHandler();
}

void MetronomeWindow::mouseMoveEvent(QMouseEvent* event) {
    if (movingByHand_) {
        if (event->buttons().testFlag(Qt::LeftButton)) {
            move(event->globalPosition().toPoint() - moveGrabOffset_);
            return;
        }
        movingByHand_ = false;
    }
    const QPointF at = event->position() * twips;
    form_.pointer.move(buttonBits(event->buttons()), shiftState(event->modifiers()),
                       static_cast<float>(at.x()), static_cast<float>(at.y()));
    afterHandler();
}

void MetronomeWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (movingByHand_ && event->button() == Qt::LeftButton) {
        movingByHand_ = false;
        return;
    }
    const QPointF at = event->position() * twips;
    form_.pointer.release(buttonBits(event->button()), buttonBits(event->buttons()),
                          shiftState(event->modifiers()), static_cast<float>(at.x()),
                          static_cast<float>(at.y()));
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
        const QPointF at = event->position() * twips;
        form_.pointer.move(buttonBits(QGuiApplication::mouseButtons()),
                           shiftState(event->modifiers()), static_cast<float>(at.x()),
                           static_cast<float>(at.y()));
        afterHandler();
    }
    QWidget::enterEvent(event);
}

void MetronomeWindow::leaveEvent(QEvent* event) {
    // The control holding the capture gets the move off the window that a grab would bring.
    if (!platformHasPointerGrab() && form_.pointer.captured()) {
        form_.pointer.move(0, 0, -twips, -twips);
        afterHandler();
    }
    QWidget::leaveEvent(event);
}

void MetronomeWindow::closeEvent(QCloseEvent* event) {
    if (!unloaded_) {
        unloaded_ = true;
        frameTimer_.stop();
        form_.Form_Unload();
    }
    event->accept();
}

} // namespace metro
