#include "setupform.h"

namespace config {
namespace {

SetupControl control(SetupControlKind kind, const char* name, const char* caption, int left,
                     int top, int width, int height, int tabIndex)
{
    return {kind, QString::fromLatin1(name), QString::fromLatin1(caption),
            QRect(left, top, width, height), tabIndex};
}

} // namespace

const std::vector<SetupControl>& setupControls()
{
    using K = SetupControlKind;
    static const std::vector<SetupControl> controls{
        control(K::Label, "Label1", "Com port", 45, 135, 690, 240, 0),
        control(K::TextBox, "PortNumber", "Text1", 2025, 90, 330, 285, 3),
        control(K::Label, "Label2", "Save HTML page?", 45, 450, 1590, 240, 1),
        control(K::CheckBox, "Savehtml", "Check1", 2025, 450, 240, 240, 2),
        control(K::Label, "Label4", "Saved to /html folder", 2385, 480, 2310, 195, 6),
        control(K::Label, "Label3", "Save Excel File?", 45, 765, 1455, 240, 4),
        control(K::CheckBox, "SaveExcel", "Check2", 2025, 765, 240, 195, 5),
        control(K::Label, "Label5", "Saved to /Excel folder", 2385, 765, 2085, 195, 7),
        control(K::Label, "Label6", "Default Logging Interval", 45, 1080, 1815, 240, 13),
        control(K::TextBox, "LogDelay", "Text1", 2025, 1035, 330, 285, 9),
        control(K::Label, "Label8", "Seconds ( 10 - 600 )", 2385, 1080, 1725, 240, 11),
        control(K::Label, "Label7", "Start Logger Automatically?", 45, 1440, 1995, 195, 12),
        control(K::CheckBox, "LogOn", "Check1", 2025, 1395, 240, 240, 10),
        control(K::Label, "Label9", "Display RPM?", 45, 1710, 1635, 195, 14),
        control(K::CheckBox, "DisplayRPM", "Check1", 2025, 1710, 195, 195, 18),
        control(K::Label, "Label10", "Display Wind Speed?", 45, 1980, 1680, 285, 15),
        control(K::CheckBox, "DisplayWS", "Check2", 2025, 1980, 195, 195, 19),
        control(K::Label, "Label11", "Wind Speed Units", 45, 2295, 1995, 240, 17),
        control(K::TextBox, "WSUnits", "Text1", 2025, 2250, 735, 285, 16),
        control(K::Button, "Command1", "Save Setings", 2610, 2610, 1275, 375, 8),
    };
    return controls;
}

QRect twipsToPixels(const QRect& twips)
{
    const auto px = [](int t) {
        return (t + kTwipsPerPixel / 2) / kTwipsPerPixel;
    };
    return QRect(px(twips.x()), px(twips.y()), px(twips.width()), px(twips.height()));
}

} // namespace config
