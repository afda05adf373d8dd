#include "ui/windowlook.h"

#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

#include <cmath>

namespace ui {

void applyWindowLook(QWidget* window)
{
    QPalette pal = window->palette();
    pal.setColor(QPalette::Window, kWindowGround);
    pal.setColor(QPalette::WindowText, kWindowText);
    window->setPalette(pal);
    window->setAutoFillBackground(true);
}

void installFontSubstitutes()
{
    const QString standIn = QStringLiteral("Liberation Sans");
    if (!QFontDatabase::hasFamily(standIn))
        return;
    for (const QString& family : {QStringLiteral("Arial"), QStringLiteral("MS Sans Serif")}) {
        if (!QFontDatabase::hasFamily(family))
            QFont::insertSubstitution(family, standIn);
    }
}

void paintBox(QWidget* w, QPalette::ColorRole ground, QPalette::ColorRole text)
{
    QPalette pal = w->palette();
    pal.setColor(ground, kBoxGround);
    pal.setColor(text, Qt::black);
    w->setPalette(pal);
}

QFont layoutFont(const FontSpec& design)
{
    QFont font(QString::fromLatin1(design.family));
    font.setPixelSize(int(std::lround(design.points * 96.0 / 72.0)));
    font.setBold(design.bold);
    return font;
}

namespace {

const QColor kFocusColour{255, 214, 64};

// Drawn over the window, around whichever of its controls has the focus; it lets the mouse
// through.
class FocusFrame : public QWidget
{
public:
    explicit FocusFrame(QWidget* window)
        : QWidget(window)
        , m_window(window)
    {
        setObjectName(QStringLiteral("FocusFrame"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        hide();
        connect(qApp, &QApplication::focusChanged, this,
                [this](QWidget*, QWidget* now) { follow(now); });
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_target &&
            (event->type() == QEvent::Move || event->type() == QEvent::Resize ||
             event->type() == QEvent::Hide))
            follow(m_target);
        return false;
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setPen(QPen(kFocusColour, 2));
        p.drawRect(rect().adjusted(1, 1, -1, -1));
    }

private:
    void follow(QWidget* target)
    {
        if (m_target)
            m_target->removeEventFilter(this);
        m_target =
            target && target != m_window && m_window->isAncestorOf(target) ? target : nullptr;
        if (!m_target || !m_target->isVisible()) {
            hide();
            return;
        }
        m_target->installEventFilter(this);
        setParent(m_target->parentWidget());
        setGeometry(m_target->geometry().adjusted(-3, -3, 3, 3));
        show();
        raise();
    }

    QWidget* m_window;
    QPointer<QWidget> m_target;
};

// Return and Enter press the focused push button, as Space does (a check box keeps its own keys).
class EnterPresses : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        auto* button = qobject_cast<QPushButton*>(watched);
        if (!button || key->modifiers() != Qt::NoModifier ||
            (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter))
            return false;
        button->animateClick();
        return true;
    }
};

} // namespace

void makeKeyboardFriendly(QWidget* window)
{
    auto* presses = new EnterPresses(window);
    for (QPushButton* button : window->findChildren<QPushButton*>())
        button->installEventFilter(presses);
    new FocusFrame(window);
}

} // namespace ui
