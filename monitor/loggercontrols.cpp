#include "monitor/loggercontrols.h"

#include "monitor/meterface.h"
#include "monitor/meterfacts.h"
#include "ui/controltable.h"
#include "ui/windowlook.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace monitor {
namespace {

// Every control's font comes from here, never from the desktop: names and readouts Arial 12 pt
// bold, the mode 13.5 pt bold, everything else the dialog font of the design.
ui::FontSpec fontOf(Kind kind)
{
    switch (kind) {
    case Kind::NameLabel:
    case Kind::Readout:
        return {"Arial", 12, true};
    case Kind::Mode:
        return {"Arial", 13.5, true};
    default:
        return ui::kDefaultFont;
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
    if (c.kind == Kind::Meter)
        return meterName(core::Quantity(c.index));
    return c.accessible.isEmpty() ? c.caption.trimmed() : c.accessible;
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

QLabel* caption(QWidget* window, const QString& text, Qt::Alignment align)
{
    QLabel* l = colouredLabel(window, text, Qt::white);
    l->setAlignment(align | Qt::AlignVCenter);
    return l;
}

QWidget* makeControl(QWidget* window, const ControlPlace& c)
{
    switch (c.kind) {
    case Kind::Button:
        return new QPushButton(c.caption, window);
    case Kind::TextBox:
        return new QLineEdit(c.caption, window);
    case Kind::Caption:
        return caption(window, c.caption, Qt::AlignLeft);
    case Kind::RightCaption:
        return caption(window, c.caption, Qt::AlignRight);
    case Kind::Lamp:
        return lamp(window, c.colour.isValid() ? c.colour : window->palette().button().color());
    case Kind::Mode:
        return modeLabel(window);
    case Kind::NameLabel:
    case Kind::Readout:
        return nameOrReadout(window, c);
    case Kind::Meter:
        // The face is drawn once; each needle drawing starts again from it, and the label keeps
        // the result, so the needle survives the window being covered or restored.
        return new QLabel(window);
    }
    return nullptr;
}

// A build whose table leaves out a control the window works with stops here, naming it.
void checkComplete(const LoggerControls& c)
{
    const std::pair<const QObject*, const char*> needed[] = {{c.Exit, "Exit"},
                                                             {c.StartLogging, "StartLogging"},
                                                             {c.StopLogging, "StopLogging"},
                                                             {c.CalibrateButton, "CalibrateButton"},
                                                             {c.Setup, "Setup"},
                                                             {c.ShowLogs, "ShowLogs"},
                                                             {c.Publish, "Publish"},
                                                             {c.Season, "Season"},
                                                             {c.Alarms, "Alarms"},
                                                             {c.Silence, "Silence"},
                                                             {c.Web, "Web"},
                                                             {c.Storage, "Storage"},
                                                             {c.Notify, "Notify"},
                                                             {c.BlinkLog, "BlinkLog"},
                                                             {c.BlinkData, "BlinkData"},
                                                             {c.delay, "delay"},
                                                             {c.txtMode, "txtMode"}};
    for (const auto& [control, name] : needed) {
        if (!control)
            qFatal("The main window's control table has no %s", name);
    }
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
        QWidget* w = makeControl(window, c);
        const QString name =
            c.index >= 0 ? QStringLiteral("%1_%2").arg(c.name).arg(c.index) : c.name;
        w->setObjectName(name);
        w->setGeometry(c.rect);
        w->setFont(ui::layoutFont(fontOf(c.kind)));
        w->setAccessibleName(accessibleNameOf(c));
        if (c.kind == Kind::NameLabel)
            fitCaption(static_cast<QLabel*>(w));
        const QByteArray member = name.toLatin1();
        c.member.into(out, w, "main", member.constData());
        c.each.into(out, c.index, w, "main", member.constData());
    }
    checkComplete(out);
    drawFaces(out, window->devicePixelRatioF());
    // The mode text stands over the first meter's face.
    out.txtMode->raise();
    out.status = new QLabel(window);
    out.status->setObjectName(QStringLiteral("Status"));
    out.status->setFont(ui::layoutFont(ui::kDefaultFont));
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
