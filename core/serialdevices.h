#pragma once

#include "core/serialline.h"

#include <QString>
#include <vector>

namespace core {

// Where udev names each serial adapter after its maker, model and serial number. Those names
// stay the same whichever USB socket the adapter is in and whatever else is plugged in, so a
// link to one keeps finding the logger board where "/dev/ttyUSB0" may not.
inline const QString kSerialByIdFolder = QStringLiteral("/dev/serial/by-id");

// A serial port as the system reports it, as plain text so the listing can be tried without
// the hardware.
struct SerialPortFacts
{
    QString location; // "/dev/ttyUSB0"
    QString description;
    QString maker;
    QString serialNumber;
};

// One device of the list a user picks from.
struct SerialDevice
{
    // What a link should lead to: the by-id name when the device has one, else location.
    QString path;
    // The device itself, symbolic links resolved.
    QString location;
    QString description;
    QString maker;
    QString serialNumber;

    bool hasByIdName() const { return path != location; }
    bool operator==(const SerialDevice&) const = default;
};

// The ports Qt's serial port info finds now.
std::vector<SerialPortFacts> systemSerialPorts();

// The character devices among ports and among the targets of the links in byIdFolder, each
// once: those with a by-id name first (by that name), then the others by location. A link in
// byIdFolder whose device the port list lacks still counts; a port or link that leads nowhere,
// or to something that is not a character device, does not.
std::vector<SerialDevice> listSerialDevices(const std::vector<SerialPortFacts>& ports,
                                            const QString& byIdFolder = kSerialByIdFolder);

// The serial devices present now.
std::vector<SerialDevice> serialDevicesPresent(const QString& byIdFolder = kSerialByIdFolder);

// Whether this account may open a device for reading and writing, checked without opening it
// (opening a serial device can reset the board on the other end).
struct DeviceAccess
{
    enum class State
    {
        Ok,
        Missing,             // nothing there, or a link that leads nowhere
        NotACharacterDevice, // a plain file, a folder, ...
        NoPermission,        // there, but this account lacks the right to open it
        Failed               // any other reason, kept in message
    };
    State state = State::Missing;
    QString device; // the path checked, links resolved where they could be
    QString group;  // the device's group, for NoPermission
    QString message;

    bool ok() const { return state == State::Ok; }
};

// The access of this process to path (a device or a link to one). message is empty when
// access is fine, and otherwise a sentence a user can act on: for a permission problem the
// group to join and the command that does it on Debian or Ubuntu.
DeviceAccess deviceAccess(const QString& path);

// What stands at the place of a "com<n>" link.
struct ExistingLink
{
    enum class Kind
    {
        None,       // nothing: a link can be made
        SameDevice, // a link that already leads to the device
        OtherLink,  // a link that leads elsewhere, or nowhere
        NotALink,   // a file, folder or device of the user's: never replaced
        Unreadable  // cannot be looked at; the reason in error
    };
    Kind kind = Kind::None;
    QString target; // where a link points, as written in it
    QString error;
};

ExistingLink existingLink(const QString& linkPath, const QString& device);

// Makes linkPath a symbolic link to target. Nothing there: the link is made in one step. A link
// there is replaced only when replaceLink is true, by a new link under a temporary name in the
// same folder renamed over it, so at no moment is there no link or half a link. Anything that
// is not a link is never replaced. False with the reason in error, and nothing changed.
bool makeDeviceLink(const QString& linkPath, const QString& target, bool replaceLink,
                    QString* error);

// What to tell the user after a port would not open: when the device is there but this account
// may not open it (or it is no serial device at all), how to put that right; otherwise fallback.
// accessProblem (when given) says which it was.
QString openFailedAdvice(const LineStatus& status, const QString& fallback,
                         bool* accessProblem = nullptr);

} // namespace core
