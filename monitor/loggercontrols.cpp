#include "loggercontrols.h"

#include "controlroles.h"
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
    switch (c.control) {
    case Control::Exit:
    case Control::StartLogging:
    case Control::StopLogging:
    case Control::CalibrateButton:
    case Control::Setup:
    case Control::ShowLogs:
        return new QPushButton(c.caption, window);
    case Control::Delay:
        return new QLineEdit(c.caption, window);
    case Control::RecordCaption: {
        QLabel* l = colouredLabel(window, c.caption, Qt::white);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return l;
    }
    case Control::Caption:
        return colouredLabel(window, c.caption, Qt::white);
    case Control::BlinkLog:
        return lamp(window, window->palette().button().color());
    case Control::BlinkData:
        return lamp(window, Qt::white);
    case Control::TxtMode:
        return modeLabel(window);
    case Control::NameLabel:
        return nameOrReadout(window, c);
    case Control::Readout:
        return out.Label5[c.index] = nameOrReadout(window, c);
    case Control::Meter:
        return meter(window, c, out);
    }
    return nullptr;
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
    core::ControlsByRole<Control> made("main");
    for (const ControlPlace& c : variant.controls) {
        QWidget* w = makeControl(window, c, out);
        w->setObjectName(c.index >= 0 ? QStringLiteral("%1_%2").arg(c.name).arg(c.index) : c.name);
        w->setGeometry(c.rect);
        made.add(c.control, w);
    }
    made.take(out.Exit, Control::Exit);
    made.take(out.StartLogging, Control::StartLogging);
    made.take(out.StopLogging, Control::StopLogging);
    made.take(out.CalibrateButton, Control::CalibrateButton);
    made.take(out.Setup, Control::Setup);
    made.take(out.ShowLogs, Control::ShowLogs);
    made.take(out.BlinkLog, Control::BlinkLog);
    made.take(out.BlinkData, Control::BlinkData);
    made.take(out.delay, Control::Delay);
    made.take(out.txtMode, Control::TxtMode);
    // The mode text stands over the first meter's face.
    out.txtMode->raise();
    out.status = new QLabel(window);
    out.status->setObjectName(QStringLiteral("Status"));
    out.status->setWordWrap(true);
    return out;
}

} // namespace monitor
