#include "setupsteps.h"

#include "numbers.h"
#include "serialline.h"

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

std::optional<SaveRefusal> textRefusal(SetupRole control, const QString& caption,
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
        return SaveRefusal{SetupRole::PortNumber, kBadPortMessage};
    if (auto r = textRefusal(SetupRole::LogDelay, QStringLiteral("Default Logging Interval"),
                             values.LogDelay))
        return r;
    return textRefusal(SetupRole::WSUnits, QStringLiteral("Wind Speed Units"), values.WSUnits);
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
    const QFileInfo link(app.comLink(port));
    if (link.isSymLink()) {
        const bool present = link.exists();
        const QString target = present ? device : link.symLinkTarget();
        return {QStringLiteral("com%1 \u2192 %2\n%3")
                    .arg(port)
                    .arg(target, present ? QStringLiteral("present") : QStringLiteral("not found")),
                QStringLiteral("Port %1 opens %2 through the link com%1 beside the program; %3.")
                    .arg(port)
                    .arg(target, present ? QStringLiteral("the device is there now")
                                         : QStringLiteral("the device does not exist now")),
                present};
    }
    const bool present = QFileInfo::exists(device);
    return {QStringLiteral("%1\n%2").arg(device, present ? QStringLiteral("present")
                                                         : QStringLiteral("not found")),
            QStringLiteral("Port %1 opens %2; %3.")
                .arg(port)
                .arg(device, present ? QStringLiteral("the device is there now")
                                     : QStringLiteral("the device does not exist now")),
            present};
}

} // namespace config
