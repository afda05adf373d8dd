#include "programsetup.h"

#include "messagebox.h"
#include "setupform.h"
#include "windowlook.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <utility>
#include <vector>

namespace config {
namespace {

const QColor kBoxGround{0, 255, 0};
const QColor kNotFoundText{255, 255, 0};
constexpr int kDeviceCheckMs = 1000;

void setGround(QWidget* w, QPalette::ColorRole ground, QPalette::ColorRole text)
{
    QPalette pal = w->palette();
    pal.setColor(ground, kBoxGround);
    pal.setColor(text, Qt::black);
    w->setPalette(pal);
}

} // namespace

ProgramSetup::ProgramSetup(const core::AppDir& app, QWidget* parent)
    : QDialog(parent)
    , m_app(app)
{
    setObjectName(QStringLiteral("ProgramSetup"));
    setWindowTitle(QStringLiteral(" Setup"));
    setFixedSize(kSetupClientSize);
    core::applyWindowLook(this);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    buildControls();

    connect(m_Command1, &QPushButton::clicked, this, &ProgramSetup::Command1_Click);
    connect(m_PortNumber, &QLineEdit::textChanged, this, &ProgramSetup::PortNumber_Change);
    m_deviceCheck.setInterval(kDeviceCheckMs);
    connect(&m_deviceCheck, &QTimer::timeout, this, &ProgramSetup::PortNumber_Change);
    m_deviceCheck.start();

    Form_Load();
    PortNumber_Change();
}

void ProgramSetup::buildControls()
{
    std::vector<std::pair<int, QWidget*>> tabStops;
    QString namingLabel;
    for (const SetupControl& c : setupControls()) {
        QWidget* w = nullptr;
        switch (c.kind) {
        case SetupControlKind::Label:
            w = new QLabel(c.caption, this);
            namingLabel = c.caption;
            break;
        case SetupControlKind::TextBox: {
            auto* box = new QLineEdit(c.caption, this);
            setGround(box, QPalette::Base, QPalette::Text);
            w = box;
            break;
        }
        case SetupControlKind::CheckBox: {
            // Only the box shows; the label to its left names it.
            auto* box = new QCheckBox(c.caption, this);
            setGround(box, QPalette::Window, QPalette::WindowText);
            box->setAutoFillBackground(true);
            // A greyed value from the file shows as such, but the user only ticks and unticks.
            connect(box, &QCheckBox::stateChanged, box, [box](int state) {
                if (state != Qt::PartiallyChecked)
                    box->setTristate(false);
            });
            w = box;
            break;
        }
        case SetupControlKind::Button: {
            auto* button = new QPushButton(c.caption, this);
            setGround(button, QPalette::Button, QPalette::ButtonText);
            button->setDefault(true);
            w = button;
            break;
        }
        }
        w->setObjectName(c.name);
        w->setGeometry(twipsToPixels(c.twips));
        if (c.kind == SetupControlKind::TextBox || c.kind == SetupControlKind::CheckBox)
            w->setAccessibleName(namingLabel);
        if (c.kind != SetupControlKind::Label)
            tabStops.emplace_back(c.tabIndex, w);
    }

    std::sort(tabStops.begin(), tabStops.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t k = 1; k < tabStops.size(); ++k)
        setTabOrder(tabStops[k - 1].second, tabStops[k].second);
    tabStops.front().second->setFocus();

    const auto find = [this]<typename T>(T*& member, const char* name) {
        member = findChild<T*>(QLatin1String(name), Qt::FindDirectChildrenOnly);
        Q_ASSERT(member);
    };
    find(m_PortNumber, "PortNumber");
    find(m_Savehtml, "Savehtml");
    find(m_SaveExcel, "SaveExcel");
    find(m_LogDelay, "LogDelay");
    find(m_LogOn, "LogOn");
    find(m_DisplayRPM, "DisplayRPM");
    find(m_DisplayWS, "DisplayWS");
    find(m_WSUnits, "WSUnits");
    find(m_Command1, "Command1");

    m_PortDevice = new QLabel(this);
    m_PortDevice->setObjectName(QStringLiteral("PortDevice"));
    m_PortDevice->setGeometry(kPortDeviceRect);
    m_PortDevice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void ProgramSetup::Form_Load()
{
    const SetupValues v = setupValues(ReadProgramConfig(m_app));
    m_PortNumber->setText(v.PortNumber);
    m_Savehtml->setCheckState(checkState(v.Savehtml));
    m_SaveExcel->setCheckState(checkState(v.SaveExcel));
    m_LogDelay->setText(v.LogDelay);
    m_LogOn->setCheckState(checkState(v.LogOn));
    m_DisplayRPM->setCheckState(checkState(v.DisplayRPM));
    m_DisplayWS->setCheckState(checkState(v.DisplayWS));
    m_WSUnits->setText(v.WSUnits);
}

SetupValues ProgramSetup::shownValues() const
{
    SetupValues v;
    v.PortNumber = m_PortNumber->text();
    v.Savehtml = checkValue(m_Savehtml->checkState());
    v.SaveExcel = checkValue(m_SaveExcel->checkState());
    v.LogDelay = m_LogDelay->text();
    v.LogOn = checkValue(m_LogOn->checkState());
    v.DisplayRPM = checkValue(m_DisplayRPM->checkState());
    v.DisplayWS = checkValue(m_DisplayWS->checkState());
    v.WSUnits = m_WSUnits->text();
    return v;
}

void ProgramSetup::Command1_Click()
{
    const SetupValues v = shownValues();
    if (const auto refusal = saveRefusal(v)) {
        core::showMessage(this, refusal->message);
        if (auto* box = findChild<QLineEdit*>(refusal->control, Qt::FindDirectChildrenOnly)) {
            box->setFocus();
            box->selectAll();
        }
        return;
    }
    QString error;
    if (!saveSetupValues(m_app, v, &error)) {
        core::showMessage(this, saveFailedMessage(m_app, error));
        return;
    }
    accept();
}

void ProgramSetup::PortNumber_Change()
{
    const PortDeviceNote note = portDeviceNote(m_app, m_PortNumber->text());
    const QFontMetrics metrics(m_PortDevice->font());
    QStringList lines = note.text.split(QLatin1Char('\n'));
    for (QString& line : lines)
        line = metrics.elidedText(line, Qt::ElideMiddle, kPortDeviceRect.width());
    m_PortDevice->setText(lines.join(QLatin1Char('\n')));
    m_PortDevice->setToolTip(note.detail);
    QPalette pal = m_PortDevice->palette();
    pal.setColor(QPalette::WindowText, note.present ? core::kWindowText : kNotFoundText);
    m_PortDevice->setPalette(pal);
}

} // namespace config
