#include "web/webwindow.h"

#include "ui/controltable.h"
#include "ui/messagebox.h"
#include "ui/windowlook.h"

#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <vector>

namespace web {
namespace {

enum class Kind
{
    Label,
    TextBox,
    CheckBox,
    Radio,
    Button
};

struct Control
{
    Kind kind;
    const char* name;
    const char* caption;
    QRect place;
    ui::Fills<WebControls> member{};
};

template <auto Member> constexpr auto to = ui::fills<Member>();
using W = WebControls;

constexpr QSize kClientSize{400, 420};

const std::vector<Control>& webControls()
{
    static const std::vector<Control> controls{
        {Kind::CheckBox, "WebOn", "Serve the web view", {12, 10, 376, 22}, to<&W::WebOn>},
        {Kind::Radio,
         "ThisComputer",
         "This computer only",
         {12, 38, 376, 22},
         to<&W::ThisComputer>},
        {Kind::Radio,
         "EveryDevice",
         "Every device on my network",
         {12, 62, 376, 22},
         to<&W::EveryDevice>},
        {Kind::Label, "PortLabel", "Port", {12, 92, 60, 22}},
        {Kind::TextBox, "Port", "", {80, 90, 80, 24}, to<&W::Port>},
        {Kind::Button, "NewToken", "New token", {268, 90, 120, 26}, to<&W::NewToken>},
        {Kind::Label, "Address", "", {12, 122, 376, 44}, to<&W::Address>},
        {Kind::Label, "QrCode", "", {112, 170, 176, 176}, to<&W::QrCode>},
        {Kind::Label, "State", "", {12, 350, 376, 30}, to<&W::State>},
        {Kind::Button, "Save", "Save", {218, 386, 80, 26}, to<&W::Save>},
        {Kind::Button, "Cancel", "Cancel", {308, 386, 80, 26}, to<&W::Cancel>},
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
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return label;
    }
    case Kind::TextBox: {
        auto* box = new QLineEdit(window);
        ui::paintBox(box, QPalette::Base, QPalette::Text);
        return box;
    }
    case Kind::CheckBox:
        return new QCheckBox(caption, window);
    case Kind::Radio:
        return new QRadioButton(caption, window);
    case Kind::Button: {
        auto* button = new QPushButton(caption, window);
        ui::paintBox(button, QPalette::Button, QPalette::ButtonText);
        button->setAutoDefault(false);
        return button;
    }
    }
    return nullptr;
}

WebControls buildControls(QWidget* window)
{
    WebControls c;
    for (const Control& row : webControls()) {
        QWidget* w = makeControl(window, row);
        w->setObjectName(QString::fromLatin1(row.name));
        w->setGeometry(row.place);
        row.member.into(c, w, "Web", row.name);
    }
    c.QrCode->setAlignment(Qt::AlignCenter);
    c.Save->setDefault(true);
    return c;
}

// The QR code of a text, a module per pixel with the quiet zone around it; null when it cannot
// be made.
QImage qrImage(const QByteArray& text)
{
    const QrModules code = qrModules(text);
    if (code.width == 0)
        return {};
    const int quiet = 4;
    const int size = code.width + 2 * quiet;
    QImage image(size, size, QImage::Format_Mono);
    image.fill(0);
    for (int y = 0; y < code.width; ++y) {
        for (int x = 0; x < code.width; ++x) {
            if (code.at(x, y))
                image.setPixel(x + quiet, y + quiet, 1);
        }
    }
    image.setColor(0, qRgb(255, 255, 255));
    image.setColor(1, qRgb(0, 0, 0));
    return image;
}

} // namespace

Web::Web(const core::AppDir& app, const WebState& state, QWidget* parent)
    : QDialog(parent)
    , m_app(app)
{
    setObjectName(QStringLiteral("Web"));
    setWindowTitle(QStringLiteral("Web"));
    setFixedSize(kClientSize);
    ui::applyWindowLook(this);
    m_controls = buildControls(this);
    const WebLoad load = readWebConfig(app);
    m_controls.WebOn->setChecked(load.config.WebOn == QLatin1String("1"));
    const bool network = !QHostAddress(load.config.Address).isLoopback() &&
                         !QHostAddress(load.config.Address).isNull();
    m_controls.EveryDevice->setChecked(network);
    m_controls.ThisComputer->setChecked(!network);
    m_controls.Port->setText(load.config.Port);
    m_token = load.config.Token;
    m_controls.State->setText(load.warning.isEmpty() ? webStateText(state) : load.warning);
    connect(m_controls.Save, &QPushButton::clicked, this, &Web::Save_Click);
    connect(m_controls.Cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_controls.NewToken, &QPushButton::clicked, this, &Web::NewToken_Click);
    connect(m_controls.EveryDevice, &QRadioButton::toggled, this, &Web::showAddress);
    connect(m_controls.Port, &QLineEdit::textChanged, this, &Web::showAddress);
    showAddress();
}

WebConfig Web::shownValues() const
{
    WebConfig values;
    values.WebOn = m_controls.WebOn->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    values.Address = m_controls.EveryDevice->isChecked() ? QStringLiteral("0.0.0.0")
                                                         : QStringLiteral("127.0.0.1");
    values.Port = m_controls.Port->text();
    values.Token = m_token;
    return values;
}

void Web::showAddress()
{
    const bool network = m_controls.EveryDevice->isChecked();
    // The network needs a token before anyone may look: one is made as soon as it is chosen.
    if (network)
        m_token = networkToken(m_token);
    m_controls.NewToken->setEnabled(network);
    const QString host = networkAddress();
    const QString address = viewAddress(shownValues(), host);
    m_controls.Address->setText(addressSentence(shownValues(), host));
    const QImage code = network ? qrImage(address.toUtf8()) : QImage();
    m_controls.QrCode->setPixmap(code.isNull() ? QPixmap()
                                               : QPixmap::fromImage(code.scaled(
                                                     m_controls.QrCode->size(), Qt::KeepAspectRatio,
                                                     Qt::FastTransformation)));
}

void Web::NewToken_Click()
{
    m_token = newToken();
    showAddress();
}

void Web::Save_Click()
{
    const WebConfig values = shownValues();
    if (const QString problem = webConfigProblem(values); !problem.isEmpty()) {
        ui::showMessage(this, problem);
        return;
    }
    QString error;
    if (!saveWebConfig(m_app, values, &error)) {
        ui::showMessage(this, QStringLiteral("web.cfg cannot be saved: %1").arg(error));
        return;
    }
    accept();
}

} // namespace web
