// screenshot: the real Tessaly main window, offscreen, written to a PNG at build time for the
// software centres' metainfo. It runs in a folder of its own on a pseudo-terminal, shows one
// typical frame of the board, and grabs the window as a user would see it.

#include "monitor/logger.h"
#include "plant/plant.h"
#include "programs/variants.h"
#include "tools/pty.h"
#include "ui/messagebox.h"
#include "ui/windowlook.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <cstdio>

namespace {

const QByteArray kProgCfg =
    "Program Config File\r\n\r\n<Port>1</Port>\r\n<Savehtml>0</Savehtml>\r\n"
    "<SaveExcel>0</SaveExcel>\r\n<LogDelay>60</LogDelay>\r\n"
    "<LogOn>0</LogOn>\r\n<DisplayRPM>1</DisplayRPM>\r\n"
    "<DisplayWS>1</DisplayWS>\r\n<WSUnits>km/h</WSUnits>\r\n\r\n";
const QByteArray kSettingsCfg = "Calibration Settings\r\n\r\n\r\n<VoltDivider>38.46</VoltDivider>"
                                "\r\n<VoltOffset>0.52</VoltOffset>\r\n<AmpDivider>10.3</AmpDivider>"
                                "\r\n<RPMDivider>2</RPMDivider>\r\n<WSDivider>1.6</WSDivider>\r\n";
// A screen large enough for the whole window, so no scroll bar cuts it.
const QByteArray kScreen = R"({"screens": [{"name": "shot", "x": 0, "y": 0, "width": 1280,
  "height": 1024, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
// A fresh breeze charging the battery, with the load on.
const QString kFrame = QStringLiteral("[<V>512</V><I>530</I><R>21</R><M>1</M><S>38</S>]\r\n");

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: screenshot OUT.png\n", stderr);
        return 2;
    }
    QTemporaryDir tmp;
    const QString screen = tmp.filePath(QStringLiteral("screen.json"));
    if (!writeFile(screen, kScreen)) {
        std::fprintf(stderr, "screenshot: cannot write to %s\n", qPrintable(tmp.path()));
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(screen));
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessaly"));
    ui::installFontSubstitutes();
    ui::setMessageHandler([](const QString& text) {
        std::fprintf(stderr, "screenshot: message: %s\n", qPrintable(text));
    });

    const core::AppDir dir{tmp.filePath(QStringLiteral("Tessaly"))};
    QDir().mkdir(dir.dir);
    for (const char* folder : {"logs", "html", "Excel"})
        QDir(dir.dir).mkdir(QString::fromLatin1(folder));
    sim::PseudoTerminal line;
    if (!writeFile(dir.progCfg(), kProgCfg) || !writeFile(dir.settingsCfg(), kSettingsCfg) ||
        !line.isOpen() || !line.linkAt(dir.comLink(1).toStdString())) {
        std::fprintf(stderr, "screenshot: cannot prepare %s: %s\n", qPrintable(dir.dir),
                     line.error().c_str());
        return 1;
    }

    const QDateTime at(QDate(2026, 6, 21), QTime(14, 5, 7));
    plant::Plant plant(dir, core::Clock::fixed(at));
    monitor::Logger window(programs::tessaly(), plant);
    window.show();
    QApplication::processEvents();
    // The frame comes down the line as the board's would; the picture waits for its title.
    line.write(kFrame.toStdString());
    QDeadlineTimer patience(10000);
    while (window.windowTitle().startsWith(u"Logger - No Signal") && !patience.hasExpired())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    QImage picture = window.grab().toImage();
    picture.setDevicePixelRatio(1);
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[1]), "png")) {
        std::fprintf(stderr, "screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
