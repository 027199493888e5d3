#include "ui/qt/WindowAccessibility.h"

#include "model/TempoScale.h"
#include "ui/qt/MetronomeWindow.h"

#include <QAccessible>
#include <QAccessibleWidget>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

namespace metro {

namespace {

constexpr qreal kTwips = WindowLayout::kTwipsPerPixel;

// What every painted control has: its place on the screen, its parent, no children.
class PaintedAccessible : public QAccessibleInterface {
public:
    PaintedAccessible(MetronomeWindow& window, QAccessibleInterface* parent, const Control& control)
        : window_(window), parent_(parent), control_(control) {}

    bool isValid() const override { return true; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return window_.windowHandle(); }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return parent_; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        const Control& c = control_;
        const QRect local(QPointF(c.Left / kTwips, c.Top / kTwips).toPoint(),
                          QSizeF(c.Width / kTwips, c.Height / kTwips).toSize());
        return {window_.mapToGlobal(local.topLeft()), local.size()};
    }

protected:
    // Before the window shows (while the start-up's message waits) and after it closes, its
    // controls are not on the screen and take no action, as for a pointer.
    bool onScreen() const { return window_.isVisible(); }
    void run(const std::function<void(Form1&)>& handler) {
        if (onScreen())
            window_.runHandler(handler);
    }

    MetronomeWindow& window_;
    QAccessibleInterface* parent_;
    const Control& control_;
};

// One painted control as a screen reader sees it.
struct ControlDescription {
    QAccessible::Role role;
    const Control* control;
    std::function<QString()> name;
    std::function<QString()> value;    // empty: none; a label's value is also its text
    std::function<bool()> checked;     // null: not checkable
    std::function<void(Form1&)> press; // null: no action
};

class ControlAccessible final : public PaintedAccessible,
                                public QAccessibleActionInterface,
                                public QAccessibleTextInterface {
public:
    ControlAccessible(MetronomeWindow& window, QAccessibleInterface* parent,
                      ControlDescription description)
        : PaintedAccessible(window, parent, *description.control), d_(std::move(description)) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name)
            return d_.name();
        if (t == QAccessible::Value && d_.value)
            return d_.value();
        return {};
    }
    QAccessible::Role role() const override { return d_.role; }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.invisible =
            !onScreen() || (!control_.Visible && &control_ != &window_.form().controls.P_X);
        s.checkable = static_cast<bool>(d_.checked);
        s.checked = d_.checked && d_.checked();
        s.readOnly = !d_.press;
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ActionInterface && d_.press)
            return static_cast<QAccessibleActionInterface*>(this);
        if (type == QAccessible::TextInterface && d_.role == QAccessible::StaticText && d_.value)
            return static_cast<QAccessibleTextInterface*>(this);
        return nullptr;
    }
    QStringList actionNames() const override {
        return d_.press ? QStringList{pressAction()} : QStringList{};
    }
    void doAction(const QString& action) override {
        if (d_.press && action == pressAction())
            run(d_.press);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    // A label's text, read-only, without a cursor or selections.
    QString text(int start, int end) const override { return d_.value().mid(start, end - start); }
    int characterCount() const override { return static_cast<int>(d_.value().size()); }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    int selectionCount() const override { return 0; }
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* start, int* end) const override {
        *start = *end = offset;
        return {};
    }

private:
    ControlDescription d_;
};

// The weight as a slider of the tempo. Each step, and every value set, moves the weight to
// the nearest height of exactly that tempo, as the wheel does; while the metronome plays
// the weight does not move.
class TempoSliderAccessible final : public PaintedAccessible,
                                    public QAccessibleValueInterface,
                                    public QAccessibleActionInterface {
public:
    TempoSliderAccessible(MetronomeWindow& window, QAccessibleInterface* parent)
        : PaintedAccessible(window, parent, window.form().controls.I_Rod) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name)
            return QStringLiteral("Tempo");
        if (t == QAccessible::Value)
            return QString::number(tempo());
        return {};
    }
    QAccessible::Role role() const override { return QAccessible::Slider; }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.invisible = !onScreen();
        s.readOnly = window_.form().state().Playing;
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        if (type == QAccessible::ActionInterface)
            return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }

    QVariant currentValue() const override { return tempo(); }
    void setCurrentValue(const QVariant& value) override {
        bool number = false;
        const double asked = value.toDouble(&number);
        if (!number || std::isnan(asked))
            return;
        const double wanted =
            std::clamp(asked, minimumValue().toDouble(), maximumValue().toDouble());
        seek(static_cast<std::int16_t>(std::nearbyint(wanted)));
    }
    QVariant maximumValue() const override { return TempoScale::kFastestTempo; }
    QVariant minimumValue() const override { return TempoScale::kSlowestTempo; }
    QVariant minimumStepSize() const override { return 1; }

    QStringList actionNames() const override { return {increaseAction(), decreaseAction()}; }
    void doAction(const QString& action) override {
        if (action == increaseAction())
            seek(static_cast<std::int16_t>(tempo() + 1));
        else if (action == decreaseAction())
            seek(static_cast<std::int16_t>(tempo() - 1));
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    int tempo() const { return window_.form().state().Tempo; }
    void seek(std::int16_t target) {
        run([target](Form1& f) { f.Tempo_Seek(target); });
    }
};

// The window and its painted controls. Qt's accessibility cache deletes the window's own
// interface with the window; the children, registered there without an object of their own,
// it would keep until the program ends, referring to a window and controls long gone. So
// this interface deletes them with itself. The static analyser cannot see the hand-over.
// NOLINTBEGIN(clang-analyzer-cplusplus.NewDeleteLeaks)
class WindowAccessible final : public QAccessibleWidget {
public:
    explicit WindowAccessible(MetronomeWindow& window)
        : QAccessibleWidget(&window, QAccessible::Window, QStringLiteral("Metronome")),
          form_(window.form()), announcedTempo_(form_.state().Tempo),
          announcedCaption_(QString::fromStdString(form_.controls.L_temo.Caption)) {
        WindowLayout& c = form_.controls;
        MetronomeState& s = form_.state();
        add(window, {QAccessible::Button,
                     &c.I_Play(0),
                     [] { return QStringLiteral("Play"); },
                     {},
                     {},
                     [](Form1& f) { f.I_Play_Click(0); }});
        add(window, {QAccessible::Button,
                     &c.I_Play(1),
                     [] { return QStringLiteral("Stop"); },
                     {},
                     {},
                     [](Form1& f) { f.I_Play_Click(1); }});
        slider_ = add(new TempoSliderAccessible(window, this));
        readOut_ = add(window, {QAccessible::StaticText,
                                &c.L_temo,
                                [] { return QStringLiteral("Tempo, beats per minute"); },
                                [&c] { return QString::fromStdString(c.L_temo.Caption); },
                                {},
                                {}});
        for (Label& button : c.L_Metro) {
            const std::int16_t n = button.Index;
            add(window, {QAccessible::RadioButton,
                         &button,
                         [n] {
                             return n == 1 ? QStringLiteral("1 beat per measure")
                                           : QStringLiteral("%1 beats per measure").arg(n);
                         },
                         {},
                         [&s, n] { return s.BeatsPerMeasure == n; },
                         [n](Form1& f) { f.L_Metro_Click(n); }});
        }
        add(window, {QAccessible::CheckBox,
                     &c.I_Speaker,
                     [] { return QStringLiteral("Sound"); },
                     {},
                     [&s] { return !s.SoundOff; },
                     [](Form1& f) { f.I_Speaker_Click(); }});
        add(window, {QAccessible::CheckBox,
                     &c.I_Scale,
                     [] { return QStringLiteral("Tempo scale and key help"); },
                     {},
                     [&s] { return s.ScaleShown; },
                     [](Form1& f) { f.I_Scale_Click(); }});
        add(window, {QAccessible::Button,
                     &c.P_X,
                     [] { return QStringLiteral("Close"); },
                     {},
                     {},
                     [](Form1& f) { f.P_X_Click(); }});
    }

    ~WindowAccessible() override {
        for (const QAccessible::Id child : children_)
            QAccessible::deleteAccessibleInterface(child);
    }
    WindowAccessible(const WindowAccessible&) = delete;
    WindowAccessible& operator=(const WindowAccessible&) = delete;

    // Tells assistive technology of a tempo that changed since it was last told: a value
    // change on the slider and a text change on the read-out.
    void announceChanges() {
        const std::int16_t tempo = form_.state().Tempo;
        if (tempo != announcedTempo_) {
            announcedTempo_ = tempo;
            QAccessibleValueChangeEvent changed(QAccessible::accessibleInterface(slider_),
                                                int{tempo});
            QAccessible::updateAccessibility(&changed);
        }
        const QString caption = QString::fromStdString(form_.controls.L_temo.Caption);
        if (caption != announcedCaption_) {
            QAccessibleTextUpdateEvent changed(QAccessible::accessibleInterface(readOut_), 0,
                                               announcedCaption_, caption);
            announcedCaption_ = caption;
            QAccessible::updateAccessibility(&changed);
        }
    }

    int childCount() const override { return static_cast<int>(children_.size()); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount())
            return nullptr;
        return QAccessible::accessibleInterface(children_[static_cast<std::size_t>(index)]);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (std::size_t i = 0; i < children_.size(); ++i)
            if (QAccessible::accessibleInterface(children_[i]) == child)
                return static_cast<int>(i);
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        for (int i = childCount() - 1; i >= 0; --i) {
            QAccessibleInterface* c = child(i);
            if (!c->state().invisible && c->rect().contains(x, y))
                return c;
        }
        return nullptr;
    }

private:
    QAccessible::Id add(MetronomeWindow& window, ControlDescription description) {
        return add(new ControlAccessible(window, this, std::move(description)));
    }
    QAccessible::Id add(QAccessibleInterface* child) {
        children_.push_back(QAccessible::registerAccessibleInterface(child));
        return children_.back();
    }

    Form1& form_;
    std::vector<QAccessible::Id> children_;
    QAccessible::Id slider_ = 0;
    QAccessible::Id readOut_ = 0;
    std::int16_t announcedTempo_;
    QString announcedCaption_;
};
// NOLINTEND(clang-analyzer-cplusplus.NewDeleteLeaks)

QAccessibleInterface* describe(const QString&, QObject* object) {
    if (auto* window = dynamic_cast<MetronomeWindow*>(object))
        return new WindowAccessible(*window);
    return nullptr;
}

} // namespace

void installWindowAccessibility() {
    QAccessible::installFactory(&describe);
}

void announceChanges(MetronomeWindow& window) {
    if (!QAccessible::isActive())
        return; // nothing listens
    if (auto* described =
            dynamic_cast<WindowAccessible*>(QAccessible::queryAccessibleInterface(&window)))
        described->announceChanges();
}

} // namespace metro
