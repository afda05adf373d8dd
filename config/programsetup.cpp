#include "config/programsetup.h"

#include "ui/messagebox.h"
#include "ui/windowlook.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace config {
namespace {

const QColor kNotFoundText{255, 255, 0};
constexpr int kDeviceCheckMs = 1000;

} // namespace

ProgramSetup::ProgramSetup(const core::AppDir& app, QWidget* parent, DeviceLister devices)
    : QDialog(parent)
    , m_app(app)
    , m_lister(devices ? std::move(devices) : [] { return core::serialDevicesPresent(); })
{
    setObjectName(QStringLiteral("ProgramSetup"));
    setWindowTitle(QStringLiteral(" Setup"));
    setFixedSize(kSetupClientSize);
    ui::applyWindowLook(this);
    setFont(ui::layoutFont(ui::kDefaultFont));
    m_controls = buildSetupControls(this);
    m_controls.AppFolder->setText(
        QStringLiteral("Files are kept in %1").arg(QDir::toNativeSeparators(app.dir)));
    ui::makeKeyboardFriendly(this);

    connect(m_controls.Command1, &QPushButton::clicked, this, &ProgramSetup::Command1_Click);
    connect(m_controls.PortNumber, &QLineEdit::textChanged, this, &ProgramSetup::PortNumber_Change);
    connect(m_controls.UseDevice, &QPushButton::clicked, this, &ProgramSetup::UseDevice_Click);
    connect(m_controls.DeviceList, &QListWidget::currentRowChanged, this,
            [this](int row) { m_controls.UseDevice->setEnabled(row >= 0); });
    m_deviceCheck.setInterval(kDeviceCheckMs);
    connect(&m_deviceCheck, &QTimer::timeout, this, &ProgramSetup::deviceCheck);
    m_deviceCheck.start();

    Form_Load();
    deviceCheck();
}

void ProgramSetup::Form_Load()
{
    const SetupValues v = setupValues(ReadProgramConfig(m_app));
    const SetupControls& c = m_controls;
    c.PortNumber->setText(v.PortNumber);
    c.Savehtml->setCheckState(checkState(v.Savehtml));
    c.SaveExcel->setCheckState(checkState(v.SaveExcel));
    c.LogDelay->setText(v.LogDelay);
    c.LogOn->setCheckState(checkState(v.LogOn));
    c.DisplayRPM->setCheckState(checkState(v.DisplayRPM));
    c.DisplayWS->setCheckState(checkState(v.DisplayWS));
    c.WSUnits->setText(v.WSUnits);
}

SetupValues ProgramSetup::shownValues() const
{
    const SetupControls& c = m_controls;
    SetupValues v;
    v.PortNumber = c.PortNumber->text();
    v.Savehtml = checkValue(c.Savehtml->checkState());
    v.SaveExcel = checkValue(c.SaveExcel->checkState());
    v.LogDelay = c.LogDelay->text();
    v.LogOn = checkValue(c.LogOn->checkState());
    v.DisplayRPM = checkValue(c.DisplayRPM->checkState());
    v.DisplayWS = checkValue(c.DisplayWS->checkState());
    v.WSUnits = c.WSUnits->text();
    return v;
}

QWidget* ProgramSetup::control(SetupText role) const
{
    switch (role) {
    case SetupText::PortNumber:
        return m_controls.PortNumber;
    case SetupText::LogDelay:
        return m_controls.LogDelay;
    case SetupText::WSUnits:
        return m_controls.WSUnits;
    }
    return nullptr;
}

void ProgramSetup::Command1_Click()
{
    const SetupValues v = shownValues();
    if (const auto refusal = saveRefusal(v)) {
        ui::showMessage(this, refusal->message);
        if (auto* box = qobject_cast<QLineEdit*>(control(refusal->control))) {
            box->setFocus();
            box->selectAll();
        }
        return;
    }
    QString error;
    if (!saveSetupValues(m_app, v, &error)) {
        ui::showMessage(this, saveFailedMessage(m_app, error));
        return;
    }
    accept();
}

void ProgramSetup::deviceCheck()
{
    refreshDevices();
    PortNumber_Change();
}

void ProgramSetup::PortNumber_Change()
{
    QLabel* line = m_controls.PortDevice;
    const PortDeviceNote note = portDeviceNote(m_app, m_controls.PortNumber->text());
    const QFontMetrics metrics(line->font());
    QStringList lines = note.text.split(QLatin1Char('\n'));
    for (QString& text : lines)
        text = metrics.elidedText(text, Qt::ElideMiddle, kPortDeviceRect.width());
    line->setText(lines.join(QLatin1Char('\n')));
    line->setToolTip(note.detail);
    m_controls.DeviceHelp->setText(note.detail);
    for (QLabel* label : {line, m_controls.DeviceHelp}) {
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, note.present ? ui::kWindowText : kNotFoundText);
        label->setPalette(pal);
    }
}

// Rebuilt only when the devices change, so a choice the user is making stays chosen.
void ProgramSetup::refreshDevices()
{
    std::vector<core::SerialDevice> devices = m_lister();
    if (devices == m_devices)
        return;
    QListWidget* list = m_controls.DeviceList;
    const QString chosen =
        list->currentItem() ? list->currentItem()->data(Qt::UserRole).toString() : QString();
    m_devices = std::move(devices);
    list->clear();
    for (const core::SerialDevice& device : *m_devices) {
        auto* item = new QListWidgetItem(deviceListText(device), list);
        item->setData(Qt::UserRole, device.path);
        item->setToolTip(device.path);
        if (device.path == chosen)
            list->setCurrentItem(item);
    }
    m_controls.DeviceListCaption->setText(m_devices->empty()
                                              ? QStringLiteral("No serial device found")
                                              : QStringLiteral("Serial devices present"));
    m_controls.UseDevice->setEnabled(list->currentItem() != nullptr);
}

void ProgramSetup::UseDevice_Click()
{
    const QListWidgetItem* item = m_controls.DeviceList->currentItem();
    if (!item)
        return;
    const DeviceChoice choice =
        useDevice(m_app, m_controls.PortNumber->text(), item->data(Qt::UserRole).toString(),
                  [this](const QString& question) { return ui::askYesNo(this, question); });
    switch (choice.outcome) {
    case DeviceChoice::Outcome::Linked:
    case DeviceChoice::Outcome::AlreadyLinked:
        // The main window rounds the typed number the same way; the plain digits say it.
        if (m_controls.PortNumber->text() != QString::number(choice.port))
            m_controls.PortNumber->setText(QString::number(choice.port));
        break;
    case DeviceChoice::Outcome::Declined:
        break;
    case DeviceChoice::Outcome::Refused:
        ui::showMessage(this, choice.message);
        break;
    }
    deviceCheck();
}

} // namespace config
