#include "config/configfiles.h"

#include "core/files.h"
#include "core/numbers.h"
#include "core/tags.h"

#include <span>

namespace config {
namespace {

// How one file is laid out around its keys, and where it lives.
template <typename Values> struct ConfigFile
{
    QString name;
    QString (core::AppDir::*path)() const;
    QByteArray head; // the title line and the empty lines under it
    QByteArray tail; // after the last key
    std::span<const ConfigKey<Values>> keys;
};

// "prog.cfg" ends with an empty line; "settings.cfg" has two under its title and none at the end.
const ConfigFile<ProgramConfig> kProgFile{QStringLiteral("prog.cfg"), &core::AppDir::progCfg,
                                          "Program Config File\r\n\r\n", "\r\n",
                                          kProgramConfigKeys};
const ConfigFile<CalibrationSettings> kSettingsFile{
    QStringLiteral("settings.cfg"), &core::AppDir::settingsCfg, "Calibration Settings\r\n\r\n\r\n",
    "", kCalibrationSettingsKeys};

// The files are 8-bit text; Latin-1 keeps every byte as it was on the way in and out.
QString fromFile(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes);
}

QByteArray toFile(const QString& text)
{
    return text.toLatin1();
}

template <typename Values>
Values parse(const ConfigFile<Values>& file, QStringView text, ReadProblems& problems)
{
    Values values;
    for (const ConfigKey<Values>& key : file.keys) {
        const QString name = QString::fromLatin1(key.name);
        if (const auto value = core::tagValue(text, name))
            values.*key.value = *value;
        else
            problems.missingKeys << name;
    }
    return values;
}

template <typename Values>
Values read(const ConfigFile<Values>& file, const core::AppDir& app, ReadProblems& problems)
{
    QString reason;
    const auto bytes = core::readWholeFile((app.*file.path)(), &reason);
    if (!bytes) {
        problems.unreadable = reason;
        return Values{};
    }
    return parse(file, fromFile(*bytes), problems);
}

// The general wording, for the windows that do not word their own.
template <typename Values>
void addWarnings(const ConfigFile<Values>& file, const QString& path, const Values& values,
                 const ReadProblems& problems, QStringList* warnings)
{
    if (!warnings)
        return;
    if (problems.unreadable) {
        *warnings << QStringLiteral("Cannot read %1 (%2): %3; using the defaults")
                         .arg(file.name, path, *problems.unreadable);
    }
    for (const ConfigKey<Values>& key : file.keys) {
        const QString name = QString::fromLatin1(key.name);
        if (!problems.missingKeys.contains(name))
            continue;
        const QString& value = values.*key.value;
        *warnings << (value.isEmpty() ? QStringLiteral("%1 has no <%2> value").arg(file.name, name)
                                      : QStringLiteral("%1 has no <%2> value; using \"%3\"")
                                            .arg(file.name, name, value));
    }
}

template <typename Values>
Values parseWithWarnings(const ConfigFile<Values>& file, QStringView text, QStringList* warnings)
{
    ReadProblems problems;
    const Values values = parse(file, text, problems);
    addWarnings(file, QString(), values, problems, warnings);
    return values;
}

template <typename Values>
Values readWithWarnings(const ConfigFile<Values>& file, const core::AppDir& app,
                        QStringList* warnings)
{
    ReadProblems problems;
    const Values values = read(file, app, problems);
    addWarnings(file, (app.*file.path)(), values, problems, warnings);
    return values;
}

template <typename Values> QByteArray fileText(const ConfigFile<Values>& file, const Values& values)
{
    QByteArray out = file.head;
    for (const ConfigKey<Values>& key : file.keys) {
        const QByteArray name(key.name);
        out += '<' + name + '>' + toFile(values.*key.value) + "</" + name + '>' + "\r\n";
    }
    return out + file.tail;
}

} // namespace

bool flagOn(const QString& text)
{
    const auto value = core::numericValue(text);
    return value && *value == 1.0;
}

ProgramConfig parseProgramConfig(QStringView text, QStringList* warnings)
{
    return parseWithWarnings(kProgFile, text, warnings);
}

CalibrationSettings parseCalibrationSettings(QStringView text, QStringList* warnings)
{
    return parseWithWarnings(kSettingsFile, text, warnings);
}

ProgramConfig ReadProgramConfig(const core::AppDir& app, QStringList* warnings)
{
    return readWithWarnings(kProgFile, app, warnings);
}

ProgramConfig ReadProgramConfig(const core::AppDir& app, ReadProblems& problems)
{
    return read(kProgFile, app, problems);
}

CalibrationSettings ReadCalibrationSettings(const core::AppDir& app, QStringList* warnings)
{
    return readWithWarnings(kSettingsFile, app, warnings);
}

QByteArray programConfigText(const ProgramConfig& values)
{
    return fileText(kProgFile, values);
}

QByteArray calibrationSettingsText(const CalibrationSettings& values)
{
    return fileText(kSettingsFile, values);
}

bool SaveProgramConfig(const core::AppDir& app, const ProgramConfig& values, QString* error)
{
    return core::replaceFile(app.progCfg(), programConfigText(values), error);
}

bool SaveCalibrationSettings(const core::AppDir& app, const CalibrationSettings& values,
                             QString* error)
{
    return core::replaceFile(app.settingsCfg(), calibrationSettingsText(values), error);
}

} // namespace config
