#include "calibration/calibrateform.h"

#include "ui/windowlook.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <algorithm>

namespace calibration {
namespace {

using K = CalibrateKind;
using C = CalibrateControls;
template <auto Member> constexpr auto to = ui::fills<Member>();

constexpr int kWidth = kCalibrateClientSize.width();
constexpr int kRowHeight = 15;
const QColor kGreen{0, 255, 0};

// A label from x to the window's right edge.
constexpr QRect toEdge(int x, int y)
{
    return QRect(x, y, kWidth - x, kRowHeight);
}

// Captions as the users know them, misspellings and all ("dont save", "Zero button..").
constexpr CalibrateControl kControls[] = {
    // Step 1: battery voltage.
    {K::Step, "", "Step 1. Set Voltage", {3, 8, 0, 0}},
    {K::Text, "", "Measure your battery voltage, and then adjust", {10, 24, 0, 0}},
    {K::Text, "", "this value until the correct battery voltage", {10, 40, 0, 0}},
    {K::Text, "", "is displayed", {10, 56, 0, 0}},
    {K::Value, "txtBattV", "0", {252, 10, 25, kRowHeight}, to<&C::txtBattV>},
    {K::DivisionSign, "Divide", "", {277, 11, 8, 10}},
    {K::Box, "BatteryVolts", "0", {286, 6, 43, 19}, to<&C::BatteryVolts>},
    {K::EqualsSign, "", "=", {252, 30, 14, 17}},
    {K::Value, "txtBattVadjusted", "", toEdge(268, 34), to<&C::txtBattVadjusted>},
    {K::Separator, "", "", {0, 72, kWidth, 1}},
    // Step 2: charge current.
    {K::Step, "", "Step 2. Set Current", {3, 80, 0, 0}},
    {K::Text, "", "With no current flowing, press the Zero button..", {12, 96, 0, 0}},
    {K::Text, "", "Apply a charging current, and adjust this", {12, 112, 0, 0}},
    {K::Text, "", "value until the correct amps is displayed.", {12, 128, 0, 0}},
    {K::Button, "Command2", "Zero", {250, 76, 46, 19}, to<&C::Command2>},
    {K::Offset, "OffsetV", "0", {298, 78, 24, kRowHeight}, to<&C::OffsetV>},
    {K::Shaded, "OffsetCaption", "Offset", {}, to<&C::OffsetCaption>},
    {K::ShadedValue, "txtShuntV", "0", {250, 104, 26, kRowHeight}, to<&C::txtShuntV>},
    {K::DivisionSign, "Divide", "", {277, 106, 8, 10}},
    {K::Box, "BatteryCurrent", "0", {286, 100, 43, 22}, to<&C::BatteryCurrent>},
    {K::EqualsSign, "", "=", {248, 122, 14, 17}},
    {K::Value, "txtBattAadjusted", "", toEdge(264, 126), to<&C::txtBattAadjusted>},
    {K::Separator, "", "", {0, 148, kWidth, 1}},
    // Step 3: turbine.
    {K::Step, "", "Step 3. Set RPM", {3, 158, 0, 0}},
    {K::Text, "", "How many pulses per revolution?", {10, 174, 0, 0}},
    {K::Value, "txtPulsess", "0", {250, 160, 26, kRowHeight}, to<&C::txtPulsess>},
    {K::DivisionSign, "Divide", "", {277, 163, 8, 10}},
    {K::Box, "PulseDivider", "1", {286, 158, 43, 19}, to<&C::PulseDivider>},
    {K::EqualsSign, "", "=", {248, 180, 14, 17}},
    {K::Value, "txtWindmillRPM", "", toEdge(264, 184), to<&C::txtWindmillRPM>},
    {K::Separator, "", "", {0, 216, kWidth, 1}},
    // Step 4: wind. Label23's design caption is replaced with the unit's question at load.
    {K::Step, "", "Step 4. Set Wind Speed", {3, 222, 0, 0}},
    {K::Text,
     "Label23",
     "How many pulses per revolution?",
     {10, 238, 236, kRowHeight},
     to<&C::Label23>},
    {K::Value, "txtPulsess2", "0", {248, 224, 26, kRowHeight}, to<&C::txtPulsess2>},
    {K::DivisionSign, "Divide", "", {275, 227, 8, 10}},
    {K::Box, "Pulse2Divider", "1", {284, 222, 43, 19}, to<&C::Pulse2Divider>},
    {K::EqualsSign, "", "=", {244, 244, 14, 17}},
    {K::Value, "txtWindSpeed", "", toEdge(260, 248), to<&C::txtWindSpeed>},
    {K::Separator, "", "", {0, 272, kWidth, 1}},
    // The two ways out.
    {K::Button, "Command6", "Exit ( dont save )", {96, 280, 109, 25}, to<&C::Command6>},
    {K::Button, "Command1", "Save Calibration", {208, 280, 148, 25}, to<&C::Command1>},
};

QFont sansSerif(qreal points, bool bold)
{
    return ui::layoutFont({"MS Sans Serif", points, bold});
}

// What a screen reader says for a box or a value: its step, and which of the step's values it
// is (the raw reading, the divider typed, the result under the "=").
QString accessibleNameOf(const CalibrateControl& c, const QString& step, bool afterEquals)
{
    switch (c.kind) {
    case K::Box:
        return step + QStringLiteral(": divider");
    case K::Offset:
        return step + QStringLiteral(": zero offset");
    case K::Value:
    case K::ShadedValue:
        return step + (afterEquals ? QStringLiteral(": result") : QStringLiteral(": raw reading"));
    default:
        return QString::fromLatin1(c.caption);
    }
}

void greenGround(QWidget* w)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, kGreen);
    pal.setColor(QPalette::WindowText, Qt::black);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

QLabel* text(QWidget* window, const CalibrateControl& c, const QFont& font)
{
    auto* l = new QLabel(QString::fromLatin1(c.caption), window);
    l->setFont(font);
    if (c.place.isEmpty()) {
        l->adjustSize();
        l->move(c.place.topLeft());
    } else {
        l->setGeometry(c.place);
    }
    return l;
}

// The window moves value labels about (placeRawValue, placeOffset); "home" is where each
// belongs.
QLabel* value(QWidget* window, const CalibrateControl& c)
{
    auto* l = new QLabel(QString::fromLatin1(c.caption), window);
    l->setGeometry(c.place);
    l->setProperty("home", c.place);
    return l;
}

QLineEdit* box(QWidget* window, const CalibrateControl& c)
{
    auto* e = new QLineEdit(QString::fromLatin1(c.caption), window);
    e->setGeometry(c.place);
    QPalette pal = e->palette();
    pal.setColor(QPalette::Base, kGreen);
    pal.setColor(QPalette::Text, Qt::black);
    e->setPalette(pal);
    return e;
}

QPushButton* button(QWidget* window, const CalibrateControl& c)
{
    auto* b = new QPushButton(QString::fromLatin1(c.caption), window);
    b->setGeometry(c.place);
    // Enter in a box must not save or close the window behind the user's back.
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

QLabel* divisionSign(QWidget* window, const CalibrateControl& c)
{
    QPixmap pix(c.place.size());
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawRect(3, 1, 2, 2);
    p.drawRect(0, 4, 8, 2);
    p.drawRect(3, 7, 2, 2);
    p.end();
    auto* l = new QLabel(window);
    l->setPixmap(pix);
    l->setGeometry(c.place);
    return l;
}

QLabel* shaded(QWidget* window, const CalibrateControl& c, const QFont& font)
{
    QLabel* l = c.place.isEmpty() ? new QLabel(QString::fromLatin1(c.caption), window)
                                  : text(window, c, font);
    l->setAlignment(Qt::AlignCenter);
    greenGround(l);
    return l;
}

QFrame* separator(QWidget* window, const CalibrateControl& c)
{
    auto* line = new QFrame(window);
    line->setFrameShape(QFrame::NoFrame);
    QPalette pal = line->palette();
    pal.setColor(QPalette::Window, kGreen);
    line->setPalette(pal);
    line->setAutoFillBackground(true);
    line->setGeometry(c.place);
    return line;
}

QWidget* makeControl(QWidget* window, const CalibrateControl& c)
{
    switch (c.kind) {
    case K::Step:
        return text(window, c, sansSerif(9.75, true));
    case K::Text:
        return text(window, c, window->font());
    case K::Value:
    case K::Offset:
        return value(window, c);
    case K::ShadedValue: {
        QLabel* l = value(window, c);
        greenGround(l);
        return l;
    }
    case K::Shaded:
        return shaded(window, c, window->font());
    case K::Box:
        return box(window, c);
    case K::Button:
        return button(window, c);
    case K::DivisionSign:
        return divisionSign(window, c);
    case K::EqualsSign:
        return shaded(window, c, sansSerif(12, true));
    case K::Separator:
        return separator(window, c);
    }
    return nullptr;
}

QLabel* warningLine(QWidget* window)
{
    auto* l = new QLabel(window);
    l->setObjectName(QStringLiteral("Warning"));
    l->setWordWrap(true);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, QColor(255, 255, 0));
    l->setPalette(pal);
    l->hide();
    return l;
}

} // namespace

std::span<const CalibrateControl> calibrateControls()
{
    return kControls;
}

CalibrateControls buildCalibrateControls(QWidget* window)
{
    window->setFont(sansSerif(8.25, false));
    CalibrateControls controls;
    QString step;
    bool afterEquals = false;
    for (const CalibrateControl& c : kControls) {
        QWidget* w = makeControl(window, c);
        w->setObjectName(QString::fromLatin1(c.name));
        if (c.kind == K::Step) {
            step = QString::fromLatin1(c.caption);
            afterEquals = false;
        }
        afterEquals = afterEquals || c.kind == K::EqualsSign;
        w->setAccessibleName(accessibleNameOf(c, step, afterEquals));
        c.member.into(controls, w, "Calibration", c.name);
    }
    controls.Warning = warningLine(window);

    // As designed: the boxes top to bottom, except that the last comes after the buttons.
    QWidget* const focusOrder[] = {
        controls.BatteryVolts, controls.BatteryCurrent, controls.PulseDivider, controls.Command1,
        controls.Command2,     controls.Command6,       controls.Pulse2Divider};
    for (std::size_t k = 1; k < std::size(focusOrder); ++k)
        QWidget::setTabOrder(focusOrder[k - 1], focusOrder[k]);
    controls.BatteryVolts->setFocus();
    return controls;
}

void placeRawValue(QLabel* label, const QString& text)
{
    label->setText(text);
    const QRect home = label->property("home").toRect();
    const int width = label->fontMetrics().horizontalAdvance(text) + 2;
    if (width <= home.width())
        label->setGeometry(home);
    else
        label->setGeometry(home.right() + 1 - width, home.y(), width, home.height());
}

void placeOffset(QLabel* offset, QLabel* caption)
{
    const QRect home = offset->property("home").toRect();
    const int width =
        std::max(home.width(), offset->fontMetrics().horizontalAdvance(offset->text()));
    offset->setGeometry(home.x(), home.y(), width, home.height());
    const int x = home.x() + width;
    const int captionWidth = caption->fontMetrics().horizontalAdvance(caption->text()) + 2;
    caption->setGeometry(x, home.y(), std::min(captionWidth, kWidth - x), home.height());
}

} // namespace calibration
