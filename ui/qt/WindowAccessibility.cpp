#include "ui/qt/WindowAccessibility.h"

#include "ui/qt/MetronomeWindow.h"

#include <QAccessible>
#include <QAccessibleWidget>

#include <functional>
#include <memory>
#include <vector>

namespace metro {

namespace {

constexpr qreal twips = WindowLayout::twipsPerPixel;

// One painted control as a screen reader sees it.
struct ControlDescription {
    QAccessible::Role role;
    const Control* control;
    std::function<QString()> name;
    std::function<QString()> value;    // empty: none
    std::function<bool()> checked;     // null: not checkable
    std::function<void(Form1&)> press; // null: no action
};

class ControlAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    ControlAccessible(MetronomeWindow& window, QAccessibleInterface* parent,
                      ControlDescription description)
        : window_(window), parent_(parent), d_(std::move(description)) {}

    bool isValid() const override { return true; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return window_.windowHandle(); }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return parent_; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name)
            return d_.name();
        if (t == QAccessible::Value && d_.value)
            return d_.value();
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        const Control& c = *d_.control;
        const QRect local(QPointF(c.Left / twips, c.Top / twips).toPoint(),
                          QSizeF(c.Width / twips, c.Height / twips).toSize());
        return QRect(window_.mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override { return d_.role; }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.invisible = !d_.control->Visible && d_.control != &window_.form().controls.P_X;
        s.checkable = static_cast<bool>(d_.checked);
        s.checked = d_.checked && d_.checked();
        s.readOnly = !d_.press;
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ActionInterface && d_.press)
            return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }
    QStringList actionNames() const override {
        return d_.press ? QStringList{pressAction()} : QStringList{};
    }
    void doAction(const QString& action) override {
        if (d_.press && action == pressAction())
            window_.runHandler(d_.press);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    MetronomeWindow& window_;
    QAccessibleInterface* parent_;
    ControlDescription d_;
};

class WindowAccessible final : public QAccessibleWidget {
public:
    explicit WindowAccessible(MetronomeWindow& window)
        : QAccessibleWidget(&window, QAccessible::Window, QStringLiteral("Metronome")) {
        Form1& form = window.form();
        WindowLayout& c = form.controls;
        MetronomeState& s = form.state();
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
        add(window, {QAccessible::StaticText,
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
    void add(MetronomeWindow& window, ControlDescription description) {
        // Registered interfaces belong to Qt's cache, which deletes them with the window.
        auto* child = new ControlAccessible(window, this, std::move(description));
        children_.push_back(QAccessible::registerAccessibleInterface(child));
    }

    std::vector<QAccessible::Id> children_;
};

QAccessibleInterface* describe(const QString&, QObject* object) {
    if (auto* window = dynamic_cast<MetronomeWindow*>(object))
        return new WindowAccessible(*window);
    return nullptr;
}

} // namespace

void installWindowAccessibility() {
    QAccessible::installFactory(&describe);
}

} // namespace metro
