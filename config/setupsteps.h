#pragma once

#include "config/configfiles.h"
#include "core/appdir.h"
#include "core/serialdevices.h"

#include <QString>
#include <Qt>
#include <cstdint>
#include <functional>
#include <optional>

namespace config {

inline const QString kBadPortMessage = QStringLiteral(
    "There is a bad number for Port Number. Must be between 1 and 8 ( 1 or 2 most common )");

// What the settings window shows: the three texts as they stand in "prog.cfg" and the five
// check box values (0 unticked, 1 ticked, 2 greyed).
struct SetupValues
{
    QString PortNumber;
    std::int16_t Savehtml = 0;
    std::int16_t SaveExcel = 0;
    QString LogDelay;
    std::int16_t LogOn = 0;
    std::int16_t DisplayRPM = 0;
    std::int16_t DisplayWS = 0;
    QString WSUnits;

    bool operator==(const SetupValues&) const = default;
};

// A flag text as a check box value: the nearest 16-bit integer (halves to even). A text that is
// not a number, or a number no check box can show (outside 0 to 2), starts unticked.
std::int16_t checkValue(const QString& flagText);

Qt::CheckState checkState(std::int16_t value);
std::int16_t checkValue(Qt::CheckState state);

// The load steps: the window's values from the file's.
SetupValues setupValues(const ProgramConfig& config);

// The typed texts a refusal can point at.
enum class SetupText
{
    PortNumber,
    LogDelay,
    WSUnits
};

// Why the values cannot be saved as they stand, and the control to put right.
struct SaveRefusal
{
    SetupText control;
    QString message;
};

// The port text must be a number. Beyond that, a typed text must read back as typed: the file
// holds 8-bit characters only, and a text holding one of its tags would change what is read.
std::optional<SaveRefusal> saveRefusal(const SetupValues& values);

// The values "prog.cfg" gets: the texts as typed, the check box values as their digits.
ProgramConfig savedConfig(const SetupValues& values);

// Writes "prog.cfg" (atomically) from the values; false with the reason in error.
bool saveSetupValues(const core::AppDir& app, const SetupValues& values, QString* error);

QString saveFailedMessage(const core::AppDir& app, const QString& reason);

// What the typed port number would open, for the line beside the port box.
struct PortDeviceNote
{
    QString text;         // two short lines: the device, and whether it can be opened
    QString detail;       // the same as sentences, with what to do when it cannot
    bool present = false; // there, and this account may open it
};

// The device by core::portDevice: the "com<n>" link beside the program and where it points,
// or the platform's n-th serial port; present only when core::deviceAccess allows it.
PortDeviceNote portDeviceNote(const core::AppDir& app, const QString& portText);

// The highest port number a "com<n>" link is made for.
inline constexpr int kMaxLinkPort = 255;

// The port a typed text names when it is a number from 1 to kMaxLinkPort, rounded as the main
// window rounds it (2.4 is port 2); nullopt otherwise.
std::optional<int> linkPort(const QString& portText);

// Two lines for the device list: the device's name, then what the system tells about it.
QString deviceListText(const core::SerialDevice& device);

// What choosing a device in the list did.
struct DeviceChoice
{
    enum class Outcome
    {
        Linked,        // "com<n>" made or replaced
        AlreadyLinked, // it led to the device already and was left alone
        Declined,      // the user kept the link that was there
        Refused        // nothing changed, for the reason in message
    };
    Outcome outcome = Outcome::Refused;
    int port = 0;
    QString message;
};

// Makes "com<n>" beside the program lead to device, n being the port typed in portText. A link
// there that leads elsewhere is replaced only when replace(question) returns true; a file,
// folder or device there is never replaced. Refused, changing nothing, for a port outside 1 to
// kMaxLinkPort, a device that is gone or is not a character device, and a folder the link
// cannot be made in.
DeviceChoice useDevice(const core::AppDir& app, const QString& portText, const QString& device,
                       const std::function<bool(const QString& question)>& replace);

} // namespace config
