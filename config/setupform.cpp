#include "config/setupform.h"

#include "core/version.h"
#include "ui/windowlook.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <algorithm>
#include <utility>

namespace config {
namespace {

SetupControl control(SetupControlKind kind, const char* name, const char* caption, int left,
                     int top, int width, int height, int tabIndex,
                     ui::Fills<SetupControls> member = {})
{
    return {kind,
            QString::fromLatin1(name),
            QString::fromLatin1(caption),
            QRect(left, top, width, height),
            tabIndex,
            member};
}

template <auto Member> constexpr auto to = ui::fills<Member>();
using S = SetupControls;

QCheckBox* checkBox(QWidget* window, const QString& caption)
{
    // Only the box shows; the label to its left names it.
    auto* box = new QCheckBox(caption, window);
    ui::paintBox(box, QPalette::Window, QPalette::WindowText);
    box->setAutoFillBackground(true);
    // A greyed value from the file shows as such (setting it makes the box tristate), but the
    // user only ticks and unticks: a click on a greyed box ticks it and greys nothing again.
    // clicked comes after the click has moved the state on.
    QObject::connect(box, &QCheckBox::clicked, box, [box] { box->setTristate(false); });
    return box;
}

QWidget* makeControl(QWidget* window, const SetupControl& c)
{
    switch (c.kind) {
    case SetupControlKind::Label:
        return new QLabel(c.caption, window);
    case SetupControlKind::TextBox: {
        auto* box = new QLineEdit(c.caption, window);
        ui::paintBox(box, QPalette::Base, QPalette::Text);
        return box;
    }
    case SetupControlKind::CheckBox:
        return checkBox(window, c.caption);
    case SetupControlKind::Button: {
        auto* button = new QPushButton(c.caption, window);
        ui::paintBox(button, QPalette::Button, QPalette::ButtonText);
        button->setDefault(true);
        return button;
    }
    }
    return nullptr;
}

// Beside the designed part, after the designed controls in the tab order.
void addDevicePanel(QWidget* window, SetupControls& c)
{
    c.DeviceListCaption = new QLabel(QStringLiteral("Serial devices present"), window);
    c.DeviceListCaption->setObjectName(QStringLiteral("DeviceListCaption"));
    c.DeviceListCaption->setGeometry(kDeviceListCaptionRect);

    c.DeviceList = new QListWidget(window);
    c.DeviceList->setObjectName(QStringLiteral("DeviceList"));
    c.DeviceList->setGeometry(kDeviceListRect);
    c.DeviceList->setAccessibleName(c.DeviceListCaption->text());
    c.DeviceList->setTextElideMode(Qt::ElideMiddle);
    c.DeviceList->setSelectionMode(QAbstractItemView::SingleSelection);
    ui::paintBox(c.DeviceList, QPalette::Base, QPalette::Text);
    c.DeviceListCaption->setBuddy(c.DeviceList);

    c.UseDevice = new QPushButton(QStringLiteral("Use this device"), window);
    c.UseDevice->setObjectName(QStringLiteral("UseDevice"));
    c.UseDevice->setGeometry(kUseDeviceRect);
    ui::paintBox(c.UseDevice, QPalette::Button, QPalette::ButtonText);
    c.UseDevice->setAutoDefault(false);
    c.UseDevice->setEnabled(false);

    // Selectable, so the command it gives can be copied into a terminal.
    c.DeviceHelp = new QLabel(window);
    c.DeviceHelp->setObjectName(QStringLiteral("DeviceHelp"));
    c.DeviceHelp->setGeometry(kDeviceHelpRect);
    c.DeviceHelp->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    c.DeviceHelp->setWordWrap(true);
    c.DeviceHelp->setTextInteractionFlags(Qt::TextSelectableByMouse);

    c.AppFolder = new QLabel(window);
    c.AppFolder->setObjectName(QStringLiteral("AppFolder"));
    c.AppFolder->setGeometry(kAppFolderRect);
    c.AppFolder->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* about = new QLabel(
        QStringLiteral("Tessaly and Corvenna %1").arg(QLatin1String(core::kVersion)), window);
    about->setObjectName(QStringLiteral("About"));
    about->setGeometry(kAboutRect);
}

} // namespace

const std::vector<SetupControl>& setupControls()
{
    using K = SetupControlKind;
    // Captions as the users know them, "Save Setings" included.
    static const std::vector<SetupControl> controls{
        control(K::Label, "Label1", "Com port", 45, 135, 690, 240, 0),
        control(K::TextBox, "PortNumber", "Text1", 2025, 90, 330, 285, 3, to<&S::PortNumber>),
        control(K::Label, "Label2", "Save HTML page?", 45, 450, 1590, 240, 1),
        control(K::CheckBox, "Savehtml", "Check1", 2025, 450, 240, 240, 2, to<&S::Savehtml>),
        control(K::Label, "Label4", "Saved to /html folder", 2385, 480, 2310, 195, 6),
        control(K::Label, "Label3", "Save Excel File?", 45, 765, 1455, 240, 4),
        control(K::CheckBox, "SaveExcel", "Check2", 2025, 765, 240, 195, 5, to<&S::SaveExcel>),
        control(K::Label, "Label5", "Saved to /Excel folder", 2385, 765, 2085, 195, 7),
        control(K::Label, "Label6", "Default Logging Interval", 45, 1080, 1815, 240, 13),
        control(K::TextBox, "LogDelay", "Text1", 2025, 1035, 330, 285, 9, to<&S::LogDelay>),
        control(K::Label, "Label8", "Seconds ( 10 - 600 )", 2385, 1080, 1725, 240, 11),
        control(K::Label, "Label7", "Start Logger Automatically?", 45, 1440, 1995, 195, 12),
        control(K::CheckBox, "LogOn", "Check1", 2025, 1395, 240, 240, 10, to<&S::LogOn>),
        control(K::Label, "Label9", "Display RPM?", 45, 1710, 1635, 195, 14),
        control(K::CheckBox, "DisplayRPM", "Check1", 2025, 1710, 195, 195, 18, to<&S::DisplayRPM>),
        control(K::Label, "Label10", "Display Wind Speed?", 45, 1980, 1680, 285, 15),
        control(K::CheckBox, "DisplayWS", "Check2", 2025, 1980, 195, 195, 19, to<&S::DisplayWS>),
        control(K::Label, "Label11", "Wind Speed Units", 45, 2295, 1995, 240, 17),
        control(K::TextBox, "WSUnits", "Text1", 2025, 2250, 735, 285, 16, to<&S::WSUnits>),
        control(K::Button, "Command1", "Save Setings", 2610, 2610, 1275, 375, 8, to<&S::Command1>),
    };
    return controls;
}

SetupControls buildSetupControls(QWidget* window)
{
    SetupControls controls;
    std::vector<std::pair<int, QWidget*>> tabStops;
    QLabel* namingLabel = nullptr;
    for (const SetupControl& c : setupControls()) {
        QWidget* w = makeControl(window, c);
        w->setObjectName(c.name);
        w->setGeometry(ui::twipsToPixels(c.twips));
        if (c.kind == SetupControlKind::Label) {
            namingLabel = static_cast<QLabel*>(w);
            // A caption a pixel or two wider than its place moves left by that much rather
            // than lose its last letter ("Start Logger Automatically?").
            const QRect place = w->geometry();
            const int over =
                QFontMetrics(window->font()).horizontalAdvance(namingLabel->text()) - place.width();
            if (over > 0 && over <= place.x())
                w->setGeometry(place.adjusted(-over, 0, 0, 0));
        } else
            tabStops.emplace_back(c.tabIndex, w);
        // The label to the left of a box names it, for a screen reader and as its buddy.
        if ((c.kind == SetupControlKind::TextBox || c.kind == SetupControlKind::CheckBox) &&
            namingLabel) {
            w->setAccessibleName(namingLabel->text());
            namingLabel->setBuddy(w);
        }
        c.member.into(controls, w, "Setup", qPrintable(c.name));
    }

    std::sort(tabStops.begin(), tabStops.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t k = 1; k < tabStops.size(); ++k)
        QWidget::setTabOrder(tabStops[k - 1].second, tabStops[k].second);
    tabStops.front().second->setFocus();

    controls.PortDevice = new QLabel(window);
    controls.PortDevice->setObjectName(QStringLiteral("PortDevice"));
    controls.PortDevice->setGeometry(kPortDeviceRect);
    controls.PortDevice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    addDevicePanel(window, controls);
    QWidget::setTabOrder(tabStops.back().second, controls.DeviceList);
    QWidget::setTabOrder(controls.DeviceList, controls.UseDevice);
    return controls;
}

} // namespace config
