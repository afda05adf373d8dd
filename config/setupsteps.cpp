#include "config/setupsteps.h"

#include "core/numbers.h"
#include "core/serialline.h"

#include <QFileInfo>

namespace config {
namespace {

// The first character the 8-bit file cannot hold, or empty.
QString unstorableCharacter(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].unicode() > 0xFF)
            return text[i].isHighSurrogate() ? text.mid(i, 2) : text.mid(i, 1);
    }
    return {};
}

// The first tag of "prog.cfg" the text contains, or empty.
QString containedTag(const QString& text)
{
    for (const auto& key : kProgramConfigKeys) {
        for (const char* open : {"<", "</"}) {
            const QString tag = QLatin1String(open) + QLatin1String(key.name) + QLatin1Char('>');
            if (text.contains(tag))
                return tag;
        }
    }
    return {};
}

std::optional<SaveRefusal> textRefusal(SetupText control, const QString& caption,
                                       const QString& text)
{
    if (const QString c = unstorableCharacter(text); !c.isEmpty()) {
        return SaveRefusal{control, QStringLiteral("The %1 text has a character that prog.cfg "
                                                   "cannot hold: %2\nPlease type it another way.")
                                        .arg(caption, c)};
    }
    if (const QString tag = containedTag(text); !tag.isEmpty()) {
        return SaveRefusal{control,
                           QStringLiteral("The %1 text contains %2, which would change what is "
                                          "read back from prog.cfg.\nPlease remove it.")
                               .arg(caption, tag)};
    }
    return std::nullopt;
}

} // namespace

std::int16_t checkValue(const QString& flagText)
{
    const auto number = core::numericValue(flagText);
    if (!number)
        return 0;
    const std::int16_t value = core::toInt16(*number);
    return value >= 0 && value <= 2 ? value : 0;
}

Qt::CheckState checkState(std::int16_t value)
{
    switch (value) {
    case 1:
        return Qt::Checked;
    case 2:
        return Qt::PartiallyChecked;
    default:
        return Qt::Unchecked;
    }
}

std::int16_t checkValue(Qt::CheckState state)
{
    switch (state) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}

SetupValues setupValues(const ProgramConfig& config)
{
    SetupValues v;
    v.PortNumber = config.Port;
    v.Savehtml = checkValue(config.Savehtml);
    v.SaveExcel = checkValue(config.SaveExcel);
    v.LogDelay = config.LogDelay;
    v.LogOn = checkValue(config.LogOn);
    v.DisplayRPM = checkValue(config.DisplayRPM);
    v.DisplayWS = checkValue(config.DisplayWS);
    v.WSUnits = config.WSUnits;
    return v;
}

std::optional<SaveRefusal> saveRefusal(const SetupValues& values)
{
    if (!core::isNumeric(values.PortNumber))
        return SaveRefusal{SetupText::PortNumber, kBadPortMessage};
    if (auto r = textRefusal(SetupText::LogDelay, QStringLiteral("Default Logging Interval"),
                             values.LogDelay))
        return r;
    return textRefusal(SetupText::WSUnits, QStringLiteral("Wind Speed Units"), values.WSUnits);
}

ProgramConfig savedConfig(const SetupValues& values)
{
    const auto digits = [](std::int16_t check) {
        return QString::number(check);
    };
    return {.Port = values.PortNumber,
            .Savehtml = digits(values.Savehtml),
            .SaveExcel = digits(values.SaveExcel),
            .LogDelay = values.LogDelay,
            .LogOn = digits(values.LogOn),
            .DisplayRPM = digits(values.DisplayRPM),
            .DisplayWS = digits(values.DisplayWS),
            .WSUnits = values.WSUnits};
}

bool saveSetupValues(const core::AppDir& app, const SetupValues& values, QString* error)
{
    return SaveProgramConfig(app, savedConfig(values), error);
}

QString saveFailedMessage(const core::AppDir& app, const QString& reason)
{
    return QStringLiteral("The settings could not be saved to %1:\n%2\nThe file is unchanged and "
                          "the window stays open with your entries.")
        .arg(app.progCfg(), reason);
}

namespace {

// The second line of the device line: a word or two on what opening it would give.
QString accessWord(core::DeviceAccess::State state)
{
    using State = core::DeviceAccess::State;
    switch (state) {
    case State::Ok:
        return QStringLiteral("present");
    case State::Missing:
        return QStringLiteral("not found");
    case State::NoPermission:
        return QStringLiteral("no access");
    case State::NotACharacterDevice:
        return QStringLiteral("not a device");
    case State::Failed:
        break;
    }
    return QStringLiteral("cannot open");
}

QString accessSentence(const core::DeviceAccess& access)
{
    using State = core::DeviceAccess::State;
    switch (access.state) {
    case State::Ok:
        return QStringLiteral("the device is there and your account may open it.");
    case State::Missing:
        return QStringLiteral("the device does not exist now.");
    default:
        return access.message;
    }
}

} // namespace

PortDeviceNote portDeviceNote(const core::AppDir& app, const QString& portText)
{
    const auto number = core::numericValue(portText);
    if (!number) {
        return {QStringLiteral("No port number"),
                QStringLiteral("\"%1\" is not a port number.").arg(portText), false};
    }
    const int port = core::toInt16(*number);
    if (port < 1) {
        return {QStringLiteral("No port %1\nports start at 1").arg(port),
                QStringLiteral("Port numbers start at 1; port %1 cannot be opened.").arg(port),
                false};
    }
    const QString device = core::portDevice(app, port);
    const core::DeviceAccess access = core::deviceAccess(device);
    const QFileInfo link(app.comLink(port));
    const QString word = accessWord(access.state);
    const QString sentence = accessSentence(access);
    // A problem is told in sentences of its own, which name the device.
    const QString join = access.ok() || access.state == core::DeviceAccess::State::Missing
                             ? QStringLiteral("; ")
                             : QStringLiteral(". ");
    if (link.isSymLink()) {
        const QString target = link.exists() ? device : link.symLinkTarget();
        return {QStringLiteral("com%1 \u2192 %2\n%3").arg(port).arg(target, word),
                QStringLiteral("Port %1 opens %2 through the link com%1 beside the program")
                        .arg(port)
                        .arg(target) +
                    join + sentence,
                access.ok()};
    }
    return {QStringLiteral("%1\n%2").arg(device, word),
            QStringLiteral("Port %1 opens %2").arg(port).arg(device) + join + sentence,
            access.ok()};
}

std::optional<int> linkPort(const QString& portText)
{
    const auto number = core::numericValue(portText);
    if (!number)
        return std::nullopt;
    const int port = core::toInt16(*number);
    if (port < 1 || port > kMaxLinkPort)
        return std::nullopt;
    return port;
}

QString deviceListText(const core::SerialDevice& device)
{
    QStringList about;
    if (device.hasByIdName())
        about << device.location;
    for (const QString& fact : {device.description, device.maker})
        if (!fact.isEmpty())
            about << fact;
    if (!device.serialNumber.isEmpty())
        about << QStringLiteral("serial %1").arg(device.serialNumber);
    const QString name = device.hasByIdName() ? QFileInfo(device.path).fileName() : device.location;
    return name + QLatin1Char('\n') + about.join(QStringLiteral(", "));
}

namespace {

// Why a port text cannot name a link, and what to do.
QString notAPortMessage(const QString& portText)
{
    const QString typed = portText.trimmed().isEmpty()
                              ? QStringLiteral("The Com port box is empty")
                              : QStringLiteral("The Com port box holds \"%1\"").arg(portText);
    return QStringLiteral("%1, not a port number from 1 to %2, so no link was made.\nType the port "
                          "number to use (1 if unsure), then choose the device again.")
        .arg(typed)
        .arg(kMaxLinkPort);
}

} // namespace

DeviceChoice useDevice(const core::AppDir& app, const QString& portText, const QString& device,
                       const std::function<bool(const QString& question)>& replace)
{
    using Outcome = DeviceChoice::Outcome;
    const auto refused = [](int port, const QString& message) {
        return DeviceChoice{Outcome::Refused, port, message};
    };

    const auto port = linkPort(portText);
    if (!port)
        return refused(0, notAPortMessage(portText));

    using State = core::DeviceAccess::State;
    const core::DeviceAccess access = core::deviceAccess(device);
    if (access.state == State::Missing) {
        return refused(*port, QStringLiteral("%1 is no longer there: the device was unplugged or "
                                             "renamed. Nothing was changed.\nPlug it in again, or "
                                             "choose another device from the list.")
                                  .arg(device));
    }
    if (access.state == State::NotACharacterDevice) {
        return refused(
            *port, QStringLiteral("%1\ncom%2 was left as it was.").arg(access.message).arg(*port));
    }

    const QString linkPath = app.comLink(*port);
    const core::ExistingLink there = core::existingLink(linkPath, device);
    bool replaceLink = false;
    switch (there.kind) {
    case core::ExistingLink::Kind::None:
        break;
    case core::ExistingLink::Kind::SameDevice:
        return {Outcome::AlreadyLinked, *port, {}};
    case core::ExistingLink::Kind::NotALink:
        return refused(*port, QStringLiteral("%1 is a file of its own, not a link, so it was left "
                                             "as it is and no link was made.\nMove or rename it, "
                                             "or type another port number.")
                                  .arg(linkPath));
    case core::ExistingLink::Kind::Unreadable:
        return refused(*port, QStringLiteral("%1 cannot be looked at: %2.\nNothing was changed.")
                                  .arg(linkPath, there.error));
    case core::ExistingLink::Kind::OtherLink:
        if (!replace(QStringLiteral("com%1 beside the program leads to %2.\nReplace it with a "
                                    "link to %3?")
                         .arg(*port)
                         .arg(there.target, device)))
            return {Outcome::Declined, *port, {}};
        replaceLink = true;
        break;
    }

    QString error;
    if (!core::makeDeviceLink(linkPath, device, replaceLink, &error)) {
        return refused(*port, QStringLiteral("The link com%1 could not be made in %2: %3.\n"
                                             "Nothing was changed. Your account needs the right "
                                             "to write in that folder.")
                                  .arg(*port)
                                  .arg(app.dir, error));
    }
    return {Outcome::Linked, *port, {}};
}

} // namespace config
