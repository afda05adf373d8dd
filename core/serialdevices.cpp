#include "core/serialdevices.h"

#include "core/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace core {
namespace {

// The group every Debian and Ubuntu system gives its serial devices.
const QString kSerialGroup = QStringLiteral("dialout");

bool isCharacterDevice(const QString& path)
{
    struct stat st = {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISCHR(st.st_mode);
}

QString errorText(int errorNumber)
{
    return qt_error_string(errorNumber);
}

// The name of a group or account, or its number when the system has no name for it.
QString groupName(gid_t gid)
{
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->gr_name);
    return QString::number(gid);
}

QString userName(uid_t uid)
{
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return QString::number(uid);
}

QString noPermissionMessage(const QString& device, const struct stat& st, const QString& group)
{
    constexpr mode_t kReadWrite = S_IRGRP | S_IWGRP;
    if ((st.st_mode & kReadWrite) == kReadWrite) {
        return QStringLiteral("Your account does not have the right to open %1: that takes "
                              "membership of the group \"%2\". On Debian or Ubuntu, run\n"
                              "sudo usermod -aG %2 $USER\n"
                              "in a terminal, then log out and log in again.")
            .arg(device, group);
    }
    return QStringLiteral("Your account does not have the right to open %1: only its owner, %2, "
                          "may read and write it. Ask whoever looks after this computer to give "
                          "the group \"%3\" read and write access to it, then join that group.")
        .arg(device, userName(st.st_uid), kSerialGroup);
}

// Sorts ttyS2 before ttyS10: runs of digits compare as numbers.
bool byNumberedName(QStringView a, QStringView b)
{
    const auto digitsFrom = [](QStringView s, qsizetype from) {
        qsizetype end = from;
        while (end < s.size() && s[end].isDigit())
            ++end;
        return s.sliced(from, end - from);
    };
    const auto withoutLeadingZeros = [](QStringView digits) {
        while (digits.size() > 1 && digits.front() == QLatin1Char('0'))
            digits = digits.sliced(1);
        return digits;
    };
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const QStringView da = digitsFrom(a, i);
            const QStringView db = digitsFrom(b, j);
            const QStringView na = withoutLeadingZeros(da);
            const QStringView nb = withoutLeadingZeros(db);
            if (na.size() != nb.size())
                return na.size() < nb.size();
            if (const int c = na.compare(nb); c != 0)
                return c < 0;
            i += da.size();
            j += db.size();
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

std::atomic<unsigned> gLinkCounter{0};

} // namespace

std::vector<SerialPortFacts> systemSerialPorts()
{
    std::vector<SerialPortFacts> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports.push_back(
            {info.systemLocation(), info.description(), info.manufacturer(), info.serialNumber()});
    return ports;
}

std::vector<SerialDevice> listSerialDevices(const std::vector<SerialPortFacts>& ports,
                                            const QString& byIdFolder)
{
    // Device to its by-id link; the first name wins where one device has two.
    std::map<QString, QString> byId;
    const QFileInfoList links =
        QDir(byIdFolder)
            .entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& link : links) {
        if (!link.isSymLink())
            continue;
        const QString location = link.canonicalFilePath();
        if (!location.isEmpty() && isCharacterDevice(location))
            byId.try_emplace(location, link.absoluteFilePath());
    }

    std::vector<SerialDevice> named;
    std::vector<SerialDevice> plain;
    std::set<QString> seen;
    for (const SerialPortFacts& port : ports) {
        const QString location = QFileInfo(port.location).canonicalFilePath();
        if (location.isEmpty() || !isCharacterDevice(location) || !seen.insert(location).second)
            continue;
        const auto link = byId.find(location);
        const bool hasLink = link != byId.end();
        (hasLink ? named : plain)
            .push_back({hasLink ? link->second : location, location, port.description, port.maker,
                        port.serialNumber});
    }
    for (const auto& [location, path] : byId) {
        if (!seen.contains(location))
            named.push_back({path, location, {}, {}, {}});
    }

    std::sort(named.begin(), named.end(),
              [](const SerialDevice& a, const SerialDevice& b) { return a.path < b.path; });
    std::sort(plain.begin(), plain.end(), [](const SerialDevice& a, const SerialDevice& b) {
        return byNumberedName(a.location, b.location);
    });
    named.insert(named.end(), plain.begin(), plain.end());
    return named;
}

std::vector<SerialDevice> serialDevicesPresent(const QString& byIdFolder)
{
    return listSerialDevices(systemSerialPorts(), byIdFolder);
}

DeviceAccess deviceAccess(const QString& path)
{
    using State = DeviceAccess::State;
    DeviceAccess a;
    a.device = path;
    const std::unique_ptr<char, decltype(&std::free)> real(
        ::realpath(QFile::encodeName(path).constData(), nullptr), &std::free);
    if (!real) {
        const int e = errno;
        if (e == ENOENT || e == ENOTDIR) {
            a.state = State::Missing;
            a.message = QStringLiteral("%1 does not exist.").arg(path);
        } else {
            a.state = State::Failed;
            a.message = QStringLiteral("%1 cannot be reached: %2.").arg(path, errorText(e));
        }
        return a;
    }
    a.device = QFile::decodeName(real.get());

    struct stat st = {};
    if (::stat(real.get(), &st) != 0) {
        const int e = errno;
        a.state = e == ENOENT ? State::Missing : State::Failed;
        a.message = QStringLiteral("%1 cannot be reached: %2.").arg(a.device, errorText(e));
        return a;
    }
    if (!S_ISCHR(st.st_mode)) {
        a.state = State::NotACharacterDevice;
        a.message =
            QStringLiteral("%1 is not a serial device (not a character device).").arg(a.device);
        return a;
    }
    if (::access(real.get(), R_OK | W_OK) == 0) {
        a.state = State::Ok;
        return a;
    }
    const int e = errno;
    if (e != EACCES && e != EPERM) {
        a.state = State::Failed;
        a.message = QStringLiteral("%1 cannot be opened: %2.").arg(a.device, errorText(e));
        return a;
    }
    a.state = State::NoPermission;
    a.group = groupName(st.st_gid);
    a.message = noPermissionMessage(a.device, st, a.group);
    return a;
}

ExistingLink existingLink(const QString& linkPath, const QString& device)
{
    using Kind = ExistingLink::Kind;
    ExistingLink link;
    struct stat st = {};
    if (::lstat(QFile::encodeName(linkPath).constData(), &st) != 0) {
        const int e = errno;
        if (e != ENOENT) {
            link.kind = Kind::Unreadable;
            link.error = errorText(e);
        }
        return link;
    }
    if (!S_ISLNK(st.st_mode)) {
        link.kind = Kind::NotALink;
        return link;
    }
    const QFileInfo info(linkPath);
    std::vector<char> written(PATH_MAX + 1);
    const ssize_t n =
        ::readlink(QFile::encodeName(linkPath).constData(), written.data(), written.size() - 1);
    if (n > 0)
        link.target = QFile::decodeName(QByteArray(written.data(), n));
    const QString leadsTo = info.canonicalFilePath();
    link.kind = !leadsTo.isEmpty() && leadsTo == QFileInfo(device).canonicalFilePath()
                    ? Kind::SameDevice
                    : Kind::OtherLink;
    return link;
}

bool makeDeviceLink(const QString& linkPath, const QString& target, bool replaceLink,
                    QString* error)
{
    const auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    const QByteArray link = QFile::encodeName(linkPath);
    const QByteArray to = QFile::encodeName(target);
    const QString folder = QFileInfo(linkPath).absolutePath();

    struct stat st = {};
    if (::lstat(link.constData(), &st) != 0) {
        if (errno != ENOENT)
            return fail(errorText(errno));
        // symlink() makes it in one step, and fails rather than overwrite anything that
        // appeared there meanwhile.
        if (::symlink(to.constData(), link.constData()) != 0)
            return fail(errorText(errno));
        syncFolder(folder);
        return true;
    }
    if (!S_ISLNK(st.st_mode))
        return fail(QStringLiteral("%1 is not a link").arg(linkPath));
    if (!replaceLink)
        return fail(QStringLiteral("%1 is there already").arg(linkPath));

    const QByteArray temporary =
        link + ".new-" + QByteArray::number(::getpid()) + '-' + QByteArray::number(gLinkCounter++);
    if (::symlink(to.constData(), temporary.constData()) != 0)
        return fail(errorText(errno));
    if (::rename(temporary.constData(), link.constData()) != 0) {
        const int e = errno;
        ::unlink(temporary.constData());
        return fail(errorText(e));
    }
    syncFolder(folder);
    return true;
}

QString openFailedAdvice(const LineStatus& status, const QString& fallback, bool* accessProblem)
{
    bool problem = false;
    QString advice = fallback;
    if (status.state == LineStatus::State::OpenFailed) {
        const DeviceAccess access = deviceAccess(status.device);
        problem = access.state == DeviceAccess::State::NoPermission ||
                  access.state == DeviceAccess::State::NotACharacterDevice;
        if (problem)
            advice = access.message;
    }
    if (accessProblem)
        *accessProblem = problem;
    return advice;
}

} // namespace core
