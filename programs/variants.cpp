#include "variants.h"

namespace programs {
namespace {

using monitor::ControlKind;
using monitor::ControlPlace;

const QColor kRed{255, 0, 0};
const QColor kGreen{0, 255, 0};
const QColor kLightBlue{128, 128, 255};
const QColor kMagenta{255, 0, 255};
const QColor kYellow{255, 255, 0};
const QColor kGrey{128, 128, 128};

ControlPlace button(const char* name, int x, int y, const char* caption)
{
    return {ControlKind::Button, QString::fromLatin1(name),    -1,
            QRect(x, y, 45, 21), QString::fromLatin1(caption), {}};
}

// The controls both builds share, placed by the x of each in the build's control row.
struct RowPlaces
{
    int exit, record, blinkLog, seconds, blinkData, delay, start, stop, calib, setup, graph;
};

void addControls(std::vector<ControlPlace>& out, int y, const RowPlaces& x, QPoint mode)
{
    out.push_back(button("Exit", x.exit, y, "Exit"));
    out.push_back(button("StartLogging", x.start, y, "Start"));
    out.push_back(button("StopLogging", x.stop, y, "Stop"));
    out.push_back(button("CalibrateButton", x.calib, y, "Calib"));
    out.push_back(button("Setup", x.setup, y, " Setup"));
    out.push_back(button("ShowLogs", x.graph, y, "Graph"));
    out.push_back({ControlKind::TextBox,
                   QStringLiteral("delay"),
                   -1,
                   QRect(x.delay, y, 40, 19),
                   QStringLiteral("60"),
                   {}});
    out.push_back({ControlKind::Caption,
                   QStringLiteral("Label9"),
                   0,
                   QRect(x.record - 8, y + 6, 44, 14),
                   QStringLiteral("Record"),
                   {}});
    out.push_back({ControlKind::Lamp,
                   QStringLiteral("BlinkLog"),
                   -1,
                   QRect(x.blinkLog, y + 8, 10, 9),
                   {},
                   {}});
    out.push_back({ControlKind::Caption,
                   QStringLiteral("Label10"),
                   -1,
                   QRect(x.seconds, y + 6, 46, 14),
                   QStringLiteral("Seconds"),
                   {}});
    out.push_back({ControlKind::Lamp,
                   QStringLiteral("BlinkData"),
                   -1,
                   QRect(x.blinkData, y + 8, 10, 10),
                   {},
                   {}});
    out.push_back({ControlKind::ModeLabel,
                   QStringLiteral("txtMode"),
                   -1,
                   QRect(mode.x(), mode.y(), 94, 25),
                   {},
                   {}});
}

// A meter's (or panel row's) readout index with the name label that goes with it.
struct Meter
{
    int index;
    const char* caption;
    QColor colour;
    const char* label;
    int labelIndex = -1;
};

} // namespace

monitor::ProgramVariant tessaly()
{
    monitor::ProgramVariant v;
    v.name = QStringLiteral("Tessaly");
    v.client = QSize(910, 710);
    v.assignsCompactPanel = true;
    v.historyWidth = 758;
    addControls(v.controls, 0, {264, 336, 384, 400, 448, 472, 544, 624, 704, 784, 864},
                QPoint(32, 8));
    // Meters in the column order volts, amps, rpm, wind, watts, watt-hours.
    const Meter meters[] = {
        {0, "            VOLTS", kRed, "Label1"},         {1, "           AMPS", kGreen, "Label2"},
        {4, "           MILL RPM", kYellow, "Label5", 6}, {5, "    WIND SPEED", kGrey, "Labe6", 1},
        {2, "            WATTS", kLightBlue, "Label3"},   {3, "   WATT HOURS", kMagenta, "Label4"}};
    const int tops[] = {0, 115, 235, 352, 469, 585};
    for (int k = 0; k < 6; ++k) {
        const Meter& m = meters[k];
        const int y = tops[k];
        v.controls.push_back({ControlKind::Meter,
                              QStringLiteral("Picture1"),
                              m.index,
                              QRect(8, y, 172, 100),
                              {},
                              {}});
        v.controls.push_back({ControlKind::NameLabel, QString::fromLatin1(m.label), m.labelIndex,
                              QRect(8, y + 97, 121, 18), QString::fromLatin1(m.caption), m.colour});
        v.controls.push_back({ControlKind::Readout,
                              QStringLiteral("Label5"),
                              m.index,
                              QRect(130, y + 97, 49, 18),
                              {},
                              m.colour});
    }
    // The compact panel at the bottom right, with readouts 7, 8, 10 | 11, 12, 13.
    const Meter panel[] = {{7, "            VOLTS", kRed, "Label6"},
                           {8, "           AMPS", kGreen, "Label7"},
                           {10, "           MILL RPM", kYellow, "Label5", 9},
                           {11, "    WIND SPEED", kGrey, "Labe6", 0},
                           {12, "            WATTS", kLightBlue, "Label8"},
                           {13, "   WATT HOURS", kMagenta, "Label11"}};
    for (int k = 0; k < 6; ++k) {
        const int nameX = k < 3 ? 400 : 592;
        const int y = 632 + 24 * (k % 3);
        v.controls.push_back({ControlKind::NameLabel, QString::fromLatin1(panel[k].label),
                              panel[k].labelIndex, QRect(nameX, y, 121, 19),
                              QString::fromLatin1(panel[k].caption), panel[k].colour});
        v.controls.push_back({ControlKind::Readout,
                              QStringLiteral("Label5"),
                              panel[k].index,
                              QRect(nameX + 120, y, 49, 19),
                              {},
                              panel[k].colour});
    }
    return v;
}

monitor::ProgramVariant corvenna()
{
    monitor::ProgramVariant v;
    v.name = QStringLiteral("Corvenna");
    v.client = QSize(990, 160);
    v.assignsCompactPanel = false;
    v.historyWidth = 974;
    addControls(v.controls, 132, {664, 272, 320, 336, 384, 408, 24, 104, 184, 504, 584},
                QPoint(40, 8));
    const Meter meters[] = {
        {0, "            VOLTS", kRed, "Label1"},       {1, "           AMPS", kGreen, "Label2"},
        {4, "        MILL RPM", kYellow, "Label5", 6},  {5, "  WIND SPEED", kGrey, "Labe6", 1},
        {2, "            WATTS", kLightBlue, "Label3"}, {3, " WATT HOURS", kMagenta, "Label4"}};
    const int lefts[] = {16, 176, 336, 496, 656, 816};
    for (int k = 0; k < 6; ++k) {
        const Meter& m = meters[k];
        v.controls.push_back({ControlKind::Meter,
                              QStringLiteral("Picture1"),
                              m.index,
                              QRect(lefts[k], 0, 158, 100),
                              {},
                              {}});
        v.controls.push_back({ControlKind::NameLabel, QString::fromLatin1(m.label), m.labelIndex,
                              QRect(lefts[k], 105, 110, 19), QString::fromLatin1(m.caption),
                              m.colour});
        v.controls.push_back({ControlKind::Readout,
                              QStringLiteral("Label5"),
                              m.index,
                              QRect(lefts[k] + 110, 105, 48, 19),
                              {},
                              m.colour});
    }
    return v;
}

} // namespace programs
