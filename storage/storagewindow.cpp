#include "storage/storagewindow.h"

#include "core/files.h"
#include "core/numbers.h"
#include "ui/controltable.h"
#include "ui/messagebox.h"
#include "ui/windowlook.h"

#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <vector>

namespace storage {
namespace {

enum class Kind
{
    Label,
    TextBox,
    Button
};

// One control: what it is, its object name, design text and place, and the member it fills.
struct Control
{
    Kind kind;
    const char* name;
    const char* caption;
    QRect place; // pixels
    ui::Fills<StorageControls> member{};
};

template <auto Member> constexpr auto to = ui::fills<Member>();
using S = StorageControls;

constexpr QSize kClientSize{420, 178};

// In tab order; each box follows the label that names it.
const std::vector<Control>& storageControls()
{
    static const std::vector<Control> controls{
        {Kind::Label, "SyncSecondsLabel", "Write the records every (seconds)", {12, 12, 250, 22}},
        {Kind::TextBox, "SyncSeconds", "0, or 60 to 3600", {270, 10, 138, 24}, to<&S::SyncSeconds>},
        {Kind::Label, "SyncBelowVoltsLabel", "At once below (volts)", {12, 42, 250, 22}},
        {Kind::TextBox,
         "SyncBelowVolts",
         "BattLow's level",
         {270, 40, 138, 24},
         to<&S::SyncBelowVolts>},
        {Kind::Label, "Cost", "", {12, 72, 396, 58}, to<&S::Cost>},
        {Kind::Button, "Save", "Save", {238, 142, 80, 26}, to<&S::Save>},
        {Kind::Button, "Cancel", "Cancel", {328, 142, 80, 26}, to<&S::Cancel>},
    };
    return controls;
}

QWidget* makeControl(QWidget* window, const Control& c)
{
    const QString caption = QString::fromLatin1(c.caption);
    switch (c.kind) {
    case Kind::Label: {
        auto* label = new QLabel(caption, window);
        label->setWordWrap(true);
        return label;
    }
    case Kind::TextBox: {
        auto* box = new QLineEdit(window);
        ui::paintBox(box, QPalette::Base, QPalette::Text);
        box->setPlaceholderText(caption);
        return box;
    }
    case Kind::Button: {
        auto* button = new QPushButton(caption, window);
        ui::paintBox(button, QPalette::Button, QPalette::ButtonText);
        button->setAutoDefault(false);
        return button;
    }
    }
    return nullptr;
}

StorageControls buildControls(QWidget* window)
{
    StorageControls c;
    for (const Control& row : storageControls()) {
        QWidget* w = makeControl(window, row);
        w->setObjectName(QString::fromLatin1(row.name));
        w->setGeometry(row.place);
        row.member.into(c, w, "Storage", row.name);
    }
    c.Save->setDefault(true);
    return c;
}

// The file's text with the values as typed, so that the file's own reader judges them.
QString typedText(const StorageControls& c)
{
    QString text = QStringLiteral("Storage Settings\r\n\r\n<SyncSeconds>%1</SyncSeconds>\r\n")
                       .arg(c.SyncSeconds->text().trimmed());
    if (const QString volts = c.SyncBelowVolts->text().trimmed(); !volts.isEmpty())
        text += QStringLiteral("<SyncBelowVolts>%1</SyncBelowVolts>\r\n").arg(volts);
    return text;
}

} // namespace

Storage::Storage(const core::AppDir& app, QWidget* parent)
    : QDialog(parent)
    , m_app(app)
{
    setObjectName(QStringLiteral("Storage"));
    setWindowTitle(QStringLiteral("Storage"));
    setFixedSize(kClientSize);
    ui::applyWindowLook(this);
    m_controls = buildControls(this);
    connect(m_controls.Save, &QPushButton::clicked, this, &Storage::Save_Click);
    connect(m_controls.Cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_controls.SyncSeconds, &QLineEdit::textChanged, this, &Storage::showCost);
    Form_Load();
}

// The file as it is read at start; a damaged one shows the default, with what was wrong.
void Storage::Form_Load()
{
    QString warning;
    const StorageConfig config = readStorageConfig(m_app, &warning);
    m_controls.SyncSeconds->setText(QString::number(config.syncSeconds));
    if (config.syncBelowVolts)
        m_controls.SyncBelowVolts->setText(core::numberText(*config.syncBelowVolts, QLocale::c()));
    if (!warning.isEmpty())
        m_controls.Cost->setText(warning);
}

void Storage::showCost()
{
    QStringList problems;
    const StorageConfig config = parseStorageConfig(typedText(m_controls), &problems);
    m_controls.Cost->setText(problems.isEmpty() ? costText(config) : QString());
}

void Storage::Save_Click()
{
    QStringList problems;
    const StorageConfig config = parseStorageConfig(typedText(m_controls), &problems);
    if (!problems.isEmpty()) {
        const QString text =
            problems.join(QStringLiteral("; ")) + QStringLiteral(". Nothing was saved.");
        m_controls.Cost->setText(text);
        ui::showMessage(this, text);
        return;
    }
    QString error;
    if (!core::replaceFile(storageCfgPath(m_app), storageConfigText(config), &error)) {
        const QString text =
            QStringLiteral("%1 cannot be written: %2").arg(storageCfgPath(m_app), error);
        m_controls.Cost->setText(text);
        ui::showMessage(this, text);
        return;
    }
    accept();
}

} // namespace storage
