#include "monitor/loggercontrols.h"

#include "core/controlroles.h"
#include "core/windowlook.h"
#include "monitor/meterface.h"
#include "monitor/meterfacts.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace monitor {
namespace {

// Every control's font comes from here, never from the desktop: names and readouts Arial 12 pt
// bold, the mode 13.5 pt bold, everything else the dialog font of the design.
core::FontSpec fontOf(Control control)
{
    switch (control) {
    case Control::NameLabel:
    case Control::Readout:
        return {"Arial", 12, true};
    case Control::TxtMode:
        return {"Arial", 13.5, true};
    default:
        return core::kDefaultFont;
    }
}

// A name label's caption centres its name with leading blanks. Where the blanks make it wider
// than its label (which would cut the name's end), the blanks give way, never the name.
void fitCaption(QLabel* label)
{
    const QFontMetrics metrics(label->font());
    QString text = label->text();
    while (text.startsWith(QLatin1Char(' ')) && metrics.horizontalAdvance(text) > label->width())
        text.remove(0, 1);
    label->setText(text);
}

// What a screen reader says for a control that shows no text of its own.
QString accessibleNameOf(const ControlPlace& c)
{
    switch (c.control) {
    case Control::BlinkLog:
        return QStringLiteral("Record lamp");
    case Control::BlinkData:
        return QStringLiteral("Data lamp");
    case Control::Delay:
        return QStringLiteral("Logging interval in seconds");
    case Control::TxtMode:
        return QStringLiteral("Load mode");
    case Control::Meter:
        return meterName(core::Quantity(c.index));
    default:
        return c.caption.trimmed();
    }
}

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
    l->setAlignment(Qt::AlignCenter);
    setBackground(l, c.colour);
    return l;
}

QLabel* modeLabel(QWidget* window)
{
    QLabel* l = colouredLabel(window, {}, Qt::red);
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
    auto* picture = new QLabel(window);
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
    case Control::Publish:
    case Control::Season:
    case Control::Alarms:
        return new QPushButton(c.caption, window);
    case Control::Delay:
        return new QLineEdit(c.caption, window);
    case Control::RecordCaption: {
        QLabel* l = colouredLabel(window, c.caption, Qt::white);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return l;
    }
    case Control::Seconds:
        return out.seconds = colouredLabel(window, c.caption, Qt::white);
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
        w->setFont(core::layoutFont(fontOf(c.control)));
        w->setAccessibleName(accessibleNameOf(c));
        if (c.control == Control::NameLabel)
            fitCaption(static_cast<QLabel*>(w));
        made.add(c.control, w);
    }
    drawFaces(out, window->devicePixelRatioF());
    made.take(out.Exit, Control::Exit);
    made.take(out.StartLogging, Control::StartLogging);
    made.take(out.StopLogging, Control::StopLogging);
    made.take(out.CalibrateButton, Control::CalibrateButton);
    made.take(out.Setup, Control::Setup);
    made.take(out.ShowLogs, Control::ShowLogs);
    made.take(out.Publish, Control::Publish);
    made.take(out.Season, Control::Season);
    made.take(out.Alarms, Control::Alarms);
    made.take(out.BlinkLog, Control::BlinkLog);
    made.take(out.BlinkData, Control::BlinkData);
    made.take(out.delay, Control::Delay);
    made.take(out.txtMode, Control::TxtMode);
    // The mode text stands over the first meter's face.
    out.txtMode->raise();
    out.status = new QLabel(window);
    out.status->setObjectName(QStringLiteral("Status"));
    out.status->setFont(core::layoutFont(core::kDefaultFont));
    out.status->setWordWrap(true);
    out.status->setAccessibleName(QStringLiteral("Status"));
    // "Seconds" names the interval box.
    if (out.seconds)
        out.seconds->setBuddy(out.delay);
    return out;
}

QString meterName(core::Quantity q)
{
    QString name = QString::fromLatin1(meterFacts(q).captionInColumn).trimmed().toLower();
    name[0] = name[0].toUpper();
    return name + QStringLiteral(" meter");
}

void drawFaces(LoggerControls& controls, double devicePixelRatio)
{
    for (const auto& [index, picture] : controls.Picture1) {
        const core::Quantity q = core::Quantity(index);
        controls.faces[index] = meterFace(
            picture->size().isEmpty() ? QSize(1, 1) : picture->size(), core::facts(q).fullScale,
            QString::fromLatin1(meterFacts(q).faceName), devicePixelRatio);
        picture->setPixmap(QPixmap::fromImage(controls.faces[index]));
    }
}

} // namespace monitor
