#include "ui/qt/MetronomeWindow.h"

#include "ui/qt/ControlsFingerprint.h"
#include "ui/qt/KeyMapping.h"
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
#include <array>
#include <cmath>
#include <filesystem>
#include <limits>

namespace metro {

namespace {
constexpr qreal kTwips = WindowLayout::kTwipsPerPixel;
constexpr int kWindowHeight = static_cast<int>(WindowLayout::kClientHeight / kTwips); // pixels

// Wayland gives a window no pointer grab of its own (only popups have one); there the
// implicit grab of a pressed button is all there is.
bool platformHasPointerGrab() {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}
} // namespace

// The pixels a beat frame repaints, as one span across in each band of rows: where the rod
// and the weight were and are. A slanted rod's bounding box is mostly picture that has not
// changed; bands follow the rod and keep the area a few pixels either side of it. Each band
// becomes one opaque rectangle, so copying the kept picture stays a plain blit.
struct MetronomeWindow::Bands {
    static constexpr int kRows = 24; // pixels high; fewer bands cost less per frame, more
                                     // bands hug a slanted rod closer
    static constexpr int kCount = (kWindowHeight + kRows - 1) / kRows;
    static constexpr qreal kNone = std::numeric_limits<qreal>::max();
    std::array<QRectF, kCount> spans{};

    void add(const QRectF& r) { // pixels
        const int first = std::clamp(static_cast<int>(std::floor(r.top() / kRows)), 0, kCount - 1);
        const int last =
            std::clamp(static_cast<int>(std::floor(r.bottom() / kRows)), 0, kCount - 1);
        for (int i = first; i <= last; ++i) {
            const QRectF part = r & QRectF(0, i * kRows, kNone, kRows);
            spans[i] = spans[i].isEmpty() ? part : spans[i] | part;
        }
    }
    // Each rectangle costs about as much to set up, in Qt and in the X server, as copying this
    // many pixels: neighbours that would cover fewer more pixels than this together are joined.
    static constexpr int kPixelsPerRectangle = 1024;

    QRegion region() const {
        std::array<QRect, kCount> rects;
        int n = 0;
        const auto area = [](const QRect& r) { return r.width() * r.height(); };
        for (const QRectF& s : spans) {
            if (s.isEmpty())
                continue;
            const QRect r = s.toAlignedRect();
            if (n > 0) {
                const QRect joined = rects[n - 1] | r;
                if (area(joined) - area(rects[n - 1]) - area(r) < kPixelsPerRectangle) {
                    rects[n - 1] = joined;
                    continue;
                }
            }
            rects[n++] = r;
        }
        QRegion result;
        result.setRects(rects.data(), n); // sorted from the top, none overlapping
        return result;
    }
};

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
    frameTimer_.setTimerType(Qt::PreciseTimer);
    frameTimer_.setSingleShot(true);
    connect(&frameTimer_, &QTimer::timeout, this, [this] {
        if (!framesRunning_)
            return;
        runBeatFrame();
        if (framesRunning_)
            scheduleBeatFrame();
    });
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
    w_.framePeriod_ = std::chrono::nanoseconds(std::llround(1e9 / std::min(hz, 250.0)));
    w_.framesRunning_ = true;
    w_.nextFrame_ = std::chrono::steady_clock::now();
    w_.scheduleBeatFrame();
}

void MetronomeWindow::Services::stopBeatFrames() {
    w_.framesRunning_ = false;
    w_.frameTimer_.stop();
}

// ---- painting -------------------------------------------------------------------------

void MetronomeWindow::addPendulum(Bands& bands) const {
    const WindowLayout& c = form_.controls;
    if (c.I_Rod.Visible) {
        const QRectF w = ControlPainter::bounds(c.I_Rod);
        bands.add(QRectF(w.topLeft() / kTwips, w.size() / kTwips).adjusted(-1, -1, 1, 1));
    }
    const Line& rod = c.Line_Rod;
    if (!rod.Visible)
        return;
    // The line as ControlPainter draws it, in pixels; one more pixel all round for the
    // antialiased edge.
    const qreal halfWidth = rod.BorderWidthPixels / 2.0;
    const qreal centre = rod.BorderWidthPixels % 2 != 0 ? 0.5 : 0;
    QPointF a = QPointF(rod.X1, rod.Y1) / kTwips + QPointF(centre, centre);
    QPointF b = QPointF(rod.X2, rod.Y2) / kTwips + QPointF(centre, centre);
    if (a.y() > b.y())
        std::swap(a, b);
    const QPointF d = b - a;
    const qreal length = std::hypot(d.x(), d.y());
    if (d.y() < length / 2) { // more across than down: its box
        bands.add(QRectF(a, b).normalized().adjusted(-halfWidth - 1, -halfWidth - 1, halfWidth + 1,
                                                     halfWidth + 1));
        return;
    }
    // Along a row the stroke is wider than the pen by the slant; the flat ends reach at most
    // half the pen's width beyond the end points.
    const qreal across = halfWidth * length / d.y() + 1;
    const qreal top = a.y() - halfWidth - 1;
    const qreal bottom = b.y() + halfWidth + 1;
    for (auto band = static_cast<int>(std::floor(top / Bands::kRows)); band * Bands::kRows < bottom;
         ++band) {
        const qreal y = band * Bands::kRows;
        const qreal y0 = std::clamp(y, a.y(), b.y());
        const qreal y1 = std::clamp(y + Bands::kRows, a.y(), b.y());
        const qreal x0 = a.x() + d.x() * (y0 - a.y()) / d.y();
        const qreal x1 = a.x() + d.x() * (y1 - a.y()) / d.y();
        const qreal rowTop = std::max(y, top);
        const qreal rowBottom = std::min(y + Bands::kRows, bottom);
        bands.add(QRectF(QPointF(std::min(x0, x1) - across, rowTop),
                         QPointF(std::max(x0, x1) + across, rowBottom)));
    }
}

const QPixmap& MetronomeWindow::stillPicture(qreal devicePixelRatio) {
    const qreal dpr = devicePixelRatio;
    if (stillValid_ && still_.devicePixelRatio() == dpr)
        return still_;
    still_ = QPixmap(size() * dpr);
    still_.setDevicePixelRatio(dpr);
    QPainter p(&still_);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setRenderHint(QPainter::TextAntialiasing);
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
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setRenderHint(QPainter::TextAntialiasing);
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
    Bands bands;
    addPendulum(bands);
    form_.metronome.Beat_Frame();
    addPendulum(bands);
    repaint(bands.region());
    pendulumFingerprint_ = controlsFingerprint(pendulum_, 0, pendulum_.size());
}

void MetronomeWindow::scheduleBeatFrame() {
    // Frames on the screen's refresh: each is due one period after the last was due, so
    // the rate is the screen's however the timer's whole milliseconds fall; a frame held up
    // is not made up with a burst.
    using namespace std::chrono;
    const steady_clock::time_point now = steady_clock::now();
    nextFrame_ += framePeriod_;
    if (nextFrame_ < now)
        nextFrame_ = now + framePeriod_;
    frameTimer_.start(duration_cast<milliseconds>(nextFrame_ - now + microseconds(500)));
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
    const QPointF at = event->position() * kTwips;
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
    const QPointF at = event->position() * kTwips;
    form_.pointer.move(buttonBits(event->buttons()), shiftState(event->modifiers()),
                       static_cast<float>(at.x()), static_cast<float>(at.y()));
    afterHandler();
}

void MetronomeWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (movingByHand_ && event->button() == Qt::LeftButton) {
        movingByHand_ = false;
        return;
    }
    const QPointF at = event->position() * kTwips;
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
        const QPointF at = event->position() * kTwips;
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
        form_.pointer.move(0, 0, -kTwips, -kTwips);
        afterHandler();
    }
    QWidget::leaveEvent(event);
}

void MetronomeWindow::closeEvent(QCloseEvent* event) {
    if (!unloaded_) {
        unloaded_ = true;
        framesRunning_ = false;
        frameTimer_.stop();
        form_.Form_Unload();
    }
    event->accept();
}

} // namespace metro
