#include "loggercontrols.h"

#include "meterface.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace monitor {
namespace {

QLabel* colouredLabel(QWidget* window, const QString& text, const QColor& colour)
{
    auto* l = new QLabel(text, window);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, colour);
    l->setPalette(pal);
    return l;
}

QLabel* nameOrReadout(QWidget* window, const ControlPlace& c)
{
    auto* l = colouredLabel(window, c.caption, Qt::black);
    l->setFont(QFont(QStringLiteral("Arial"), 12, QFont::Bold));
    l->setAlignment(Qt::AlignCenter);
    setBackground(l, c.colour);
    return l;
}

QLabel* modeLabel(QWidget* window)
{
    QLabel* l = colouredLabel(window, {}, Qt::red);
    QFont modeFont(QStringLiteral("Arial"));
    modeFont.setPointSizeF(13.5);
    modeFont.setBold(true);
    l->setFont(modeFont);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}

QPushButton* lamp(QWidget* window, const QColor& off)
{
    auto* b = new QPushButton(window);
    b->setFlat(true);
    b->setFocusPolicy(Qt::NoFocus);
    setBackground(b, off);
    return b;
}

// The face is drawn once; each needle drawing starts again from it, and the label keeps the
// result, so the needle survives the window being covered or restored.
QLabel* meter(QWidget* window, const ControlPlace& c, LoggerControls& out)
{
    const core::QuantitySpec& facts = core::facts(core::Quantity(c.index));
    auto* picture = new QLabel(window);
    out.faces[c.index] =
        meterFace(c.rect.size(), facts.fullScale, QString::fromLatin1(facts.faceName));
    picture->setPixmap(QPixmap::fromImage(out.faces[c.index]));
    out.Picture1[c.index] = picture;
    return picture;
}

QWidget* makeControl(QWidget* window, const ControlPlace& c, LoggerControls& out)
{
    const auto button = [&](QPushButton*& member) {
        member = new QPushButton(c.caption, window);
        return member;
    };
    switch (c.control) {
    case Control::Exit:
        return button(out.Exit);
    case Control::StartLogging:
        return button(out.StartLogging);
    case Control::StopLogging:
        return button(out.StopLogging);
    case Control::CalibrateButton:
        return button(out.CalibrateButton);
    case Control::Setup:
        return button(out.Setup);
    case Control::ShowLogs:
        return button(out.ShowLogs);
    case Control::Delay:
        return out.delay = new QLineEdit(c.caption, window);
    case Control::RecordCaption: {
        QLabel* l = colouredLabel(window, c.caption, Qt::white);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return l;
    }
    case Control::Caption:
        return colouredLabel(window, c.caption, Qt::white);
    case Control::BlinkLog:
        return out.BlinkLog = lamp(window, window->palette().button().color());
    case Control::BlinkData:
        return out.BlinkData = lamp(window, Qt::white);
    case Control::TxtMode:
        return out.txtMode = modeLabel(window);
    case Control::NameLabel:
        return nameOrReadout(window, c);
    case Control::Readout:
        return out.Label5[c.index] = nameOrReadout(window, c);
    case Control::Meter:
        return meter(window, c, out);
    }
    return nullptr;
}

void require(const void* control, const char* role)
{
    if (!control)
        qFatal("The main window's layout has no %s control", role);
}

} // namespace

void setBackground(QWidget* w, const QColor& colour)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, colour);
    pal.setColor(QPalette::Button, colour);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

LoggerControls buildLoggerControls(QWidget* window, const ProgramVariant& variant)
{
    LoggerControls out;
    for (const ControlPlace& c : variant.controls) {
        QWidget* w = makeControl(window, c, out);
        w->setObjectName(c.index >= 0 ? QStringLiteral("%1_%2").arg(c.name).arg(c.index) : c.name);
        w->setGeometry(c.rect);
    }
    require(out.Exit, "Exit");
    require(out.StartLogging, "StartLogging");
    require(out.StopLogging, "StopLogging");
    require(out.CalibrateButton, "CalibrateButton");
    require(out.Setup, "Setup");
    require(out.ShowLogs, "ShowLogs");
    require(out.BlinkLog, "BlinkLog");
    require(out.BlinkData, "BlinkData");
    require(out.delay, "delay");
    require(out.txtMode, "txtMode");
    // The mode text stands over the first meter's face.
    out.txtMode->raise();
    out.status = new QLabel(window);
    out.status->setObjectName(QStringLiteral("Status"));
    out.status->setWordWrap(true);
    return out;
}

} // namespace monitor
