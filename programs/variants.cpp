#include "programs/variants.h"

#include "core/quantities.h"
#include "monitor/loggercontrols.h"
#include "monitor/meterfacts.h"
#include "ui/windowlook.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace programs {
namespace {

using core::Quantity;
using monitor::ControlPlace;
using monitor::Kind;
using L = monitor::LoggerControls;
template <auto Member> constexpr auto to = ui::fills<Member>();
template <auto Member> constexpr auto at = ui::fillsAt<Member>();

// The controls both builds share, placed by the x of each in the build's control row.
struct RowPlaces
{
    int exit, record, blinkLog, seconds, blinkData, delay, start, stop, calib, setup, graph;
};

void addRowTexts(std::vector<ControlPlace>& out, int y, const RowPlaces& x, QPoint mode);

// In creation order, which is also the tab order.
void addControls(std::vector<ControlPlace>& out, int y, const RowPlaces& x, QPoint mode)
{
    const auto button = [y](const char* name, int left, const char* caption, ui::Fills<L> member) {
        return ControlPlace{Kind::Button,
                            QString::fromLatin1(name),
                            -1,
                            QRect(left, y, 45, 21),
                            QString::fromLatin1(caption),
                            {},
                            {},
                            member};
    };
    out.push_back(button("Exit", x.exit, "Exit", to<&L::Exit>));
    out.push_back(button("StartLogging", x.start, "Start", to<&L::StartLogging>));
    out.push_back(button("StopLogging", x.stop, "Stop", to<&L::StopLogging>));
    out.push_back(button("CalibrateButton", x.calib, "Calib", to<&L::CalibrateButton>));
    out.push_back(button("Setup", x.setup, " Setup", to<&L::Setup>));
    out.push_back(button("ShowLogs", x.graph, "Graph", to<&L::ShowLogs>));
    addRowTexts(out, y, x, mode);
}

// The interval box, the lamps with their captions and the mode label of the control row.
void addRowTexts(std::vector<ControlPlace>& out, int y, const RowPlaces& x, QPoint mode)
{
    out.push_back({Kind::TextBox,
                   QStringLiteral("delay"),
                   -1,
                   QRect(x.delay, y, 40, 19),
                   QStringLiteral("60"),
                   {},
                   QStringLiteral("Logging interval in seconds"),
                   to<&L::delay>});
    out.push_back({Kind::RightCaption,
                   QStringLiteral("Label9"),
                   0,
                   QRect(x.record - 8, y + 6, 44, 14),
                   QStringLiteral("Record"),
                   {},
                   {}});
    out.push_back({Kind::Lamp,
                   QStringLiteral("BlinkLog"),
                   -1,
                   QRect(x.blinkLog, y + 8, 10, 9),
                   {},
                   {},
                   QStringLiteral("Record lamp"),
                   to<&L::BlinkLog>});
    out.push_back({Kind::Caption,
                   QStringLiteral("Label10"),
                   -1,
                   QRect(x.seconds, y + 6, 46, 14),
                   QStringLiteral("Seconds"),
                   {},
                   {},
                   to<&L::seconds>});
    out.push_back({Kind::Lamp,
                   QStringLiteral("BlinkData"),
                   -1,
                   QRect(x.blinkData, y + 8, 10, 10),
                   {},
                   Qt::white,
                   QStringLiteral("Data lamp"),
                   to<&L::BlinkData>});
    out.push_back({Kind::Mode,
                   QStringLiteral("txtMode"),
                   -1,
                   QRect(mode.x(), mode.y(), 94, 25),
                   {},
                   {},
                   QStringLiteral("Load mode"),
                   to<&L::txtMode>});
}

// The buttons of what the design did not have (publishing, the season, the alarms, the web
// view) stand in room the layout leaves free.
ControlPlace freeButton(const char* name, const QRect& at, ui::Fills<L> member)
{
    return {Kind::Button, QString::fromLatin1(name), -1, at, QString::fromLatin1(name), {}, {},
            member};
}

void addFreeButtons(std::vector<ControlPlace>& out, QPoint publish, QPoint season, QPoint alarms,
                    QPoint silence, QPoint web)
{
    out.push_back(freeButton("Publish", QRect(publish, QSize(53, 21)), to<&L::Publish>));
    out.push_back(freeButton("Season", QRect(season, QSize(53, 21)), to<&L::Season>));
    out.push_back(freeButton("Alarms", QRect(alarms, QSize(72, 21)), to<&L::Alarms>));
    out.push_back(freeButton("Silence", QRect(silence, QSize(53, 21)), to<&L::Silence>));
    out.push_back(freeButton("Web", QRect(web, QSize(53, 21)), to<&L::Web>));
}

// A meter's picture.
ControlPlace meter(Quantity q, const QRect& rect)
{
    return {Kind::Meter, QStringLiteral("Picture1"), q, rect, {}, {}, {}, {}, at<&L::Picture1>};
}

// The object name of a quantity's name label, under its meter and in the compact panel.
struct LabelName
{
    const char* name;
    int index = -1;
};
constexpr core::PerQuantity<LabelName> kMeterLabels{
    {{"Label1"}, {"Label2"}, {"Label3"}, {"Label4"}, {"Label5", 6}, {"Labe6", 1}}};
constexpr core::PerQuantity<LabelName> kPanelLabels{
    {{"Label6"}, {"Label7"}, {"Label8"}, {"Label11"}, {"Label5", 9}, {"Labe6", 0}}};

// Both builds show the meters, and the panel its rows, in this order.
constexpr Quantity kShownOrder[] = {core::kVolts, core::kAmps,  core::kRpm,
                                    core::kWind,  core::kWatts, core::kWattHours};
static_assert(std::size(kShownOrder) == core::kQuantityCount);

// A name label with the readout beside it: the quantity's caption and colour, readout index.
void addNamedReadout(std::vector<ControlPlace>& out, const LabelName& label, const char* caption,
                     Quantity q, int holder, const QRect& nameRect, const QRect& readoutRect)
{
    const QColor c = ui::toColour(monitor::meterFacts(q).labelColour);
    out.push_back({Kind::NameLabel,
                   QString::fromLatin1(label.name),
                   label.index,
                   nameRect,
                   QString::fromLatin1(caption),
                   c,
                   {}});
    out.push_back({Kind::Readout,
                   QStringLiteral("Label5"),
                   holder,
                   readoutRect,
                   {},
                   c,
                   {},
                   {},
                   at<&L::Label5>});
}

} // namespace

monitor::ProgramVariant tessaly()
{
    monitor::ProgramVariant v{QStringLiteral("Tessaly"), QSize(910, 710), {}, true, 758, {}, {}, 0};
    addControls(v.controls, 0, {264, 336, 384, 400, 448, 472, 544, 624, 704, 784, 864},
                QPoint(32, 8));
    addFreeButtons(v.controls, QPoint(856, 32), QPoint(856, 56), QPoint(837, 80), QPoint(856, 104),
                   QPoint(856, 128));
    v.controls.push_back(freeButton("Storage", QRect(856, 152, 53, 21), to<&L::Storage>));
    v.controls.push_back(freeButton("Notify", QRect(856, 176, 53, 21), to<&L::Notify>));
    // The trend fills the empty middle between the meters' column, the buttons and the panel.
    v.trendToggle = QRect(192, 30, 80, 18);
    v.trend = QRect(192, 52, 640, 572);
    // Meters in a column.
    constexpr int tops[] = {0, 115, 235, 352, 469, 585};
    static_assert(std::size(tops) == std::size(kShownOrder));
    for (std::size_t k = 0; k < std::size(kShownOrder); ++k) {
        const Quantity q = kShownOrder[k];
        const int y = tops[k];
        v.controls.push_back(meter(q, QRect(8, y, 172, 100)));
        addNamedReadout(v.controls, kMeterLabels[q], monitor::meterFacts(q).captionInColumn, q, q,
                        QRect(8, y + 97, 121, 18), QRect(130, y + 97, 49, 18));
    }
    // The compact panel at the bottom right, in two columns of three rows.
    for (std::size_t k = 0; k < std::size(kShownOrder); ++k) {
        const Quantity q = kShownOrder[k];
        const int x = 400 + 192 * int(k / 3);
        const int y = 632 + 24 * int(k % 3);
        addNamedReadout(v.controls, kPanelLabels[q], monitor::meterFacts(q).captionInColumn, q,
                        core::facts(q).panelHolder, QRect(x, y, 121, 19),
                        QRect(x + 120, y, 49, 19));
    }
    return v;
}

monitor::ProgramVariant corvenna()
{
    monitor::ProgramVariant v{
        QStringLiteral("Corvenna"), QSize(990, 160), {}, false, 974, {}, {}, 0};
    addControls(v.controls, 132, {664, 272, 320, 336, 384, 408, 24, 104, 184, 504, 584},
                QPoint(40, 8));
    addFreeButtons(v.controls, QPoint(728, 132), QPoint(784, 132), QPoint(840, 132),
                   QPoint(16, 164), QPoint(72, 164));
    v.controls.push_back(freeButton("Storage", QRect(216, 164, 53, 21), to<&L::Storage>));
    v.controls.push_back(freeButton("Notify", QRect(272, 164, 53, 21), to<&L::Notify>));
    // The row leaves no room for a trend: it goes in a band below the design, its tick box on
    // the band's one row of controls beside Silence and Web, and over 200 pixels of chart.
    v.trendToggle = QRect(136, 166, 70, 18);
    v.trendBand = 310;
    v.trend = QRect(16, 190, 958, 276);
    // Meters in a row.
    for (std::size_t k = 0; k < std::size(kShownOrder); ++k) {
        const Quantity q = kShownOrder[k];
        const int x = 16 + 160 * int(k);
        v.controls.push_back(meter(q, QRect(x, 0, 158, 100)));
        addNamedReadout(v.controls, kMeterLabels[q], monitor::meterFacts(q).captionInRow, q, q,
                        QRect(x, 105, 110, 19), QRect(x + 110, 105, 48, 19));
    }
    return v;
}

} // namespace programs
