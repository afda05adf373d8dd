#pragma once

// A plant serving its web view on 127.0.0.1 for the web tests: web.cfg written first, the
// plant built as the programs build it, and the server's port once it listens.

#include "core/clock.h"
#include "fixture.h"
#include "freeport.h"
#include "plant/plant.h"
#include "stationprobe.h"
#include "web/webconfig.h"
#include "webclient.h"

#include <QTcpServer>

inline const QString kWebToken = QStringLiteral("00112233445566778899aabbccddeeff0011223344556677");

// The plant's day: its clock starts at noon of it and runs on with the real monotonic count, so
// the timers, the frames' age and the server's pace are real while a run across midnight still
// logs to this day.
inline const QDate kWebDay(2024, 6, 12);

inline core::Clock webPlantClock()
{
    const core::Clock real = core::Clock::system();
    const qint64 startMs = real.elapsedMs();
    const QDateTime noon(kWebDay, QTime(12, 0));
    return core::Clock{[real, startMs, noon] { return noon.addMSecs(real.elapsedMs() - startMs); },
                       real.monotonicMs};
}

class WebPlantTest : public AppDirTest
{
protected:
    static quint16 freePort(const QString& address)
    {
        return ::freePort(address == QLatin1String("0.0.0.0") ? QHostAddress(QHostAddress::Any)
                                                              : QHostAddress(address));
    }

    // network: every device (0.0.0.0, with kWebToken); otherwise this computer only.
    void startPlant(bool network = false, quint16 port = 0)
    {
        web::WebConfig config;
        config.WebOn = QStringLiteral("1");
        config.Address = network ? QStringLiteral("0.0.0.0") : QStringLiteral("127.0.0.1");
        config.Token = network ? kWebToken : QString();
        startPlant(config, port);
    }

    // With no port given, a free one is picked; another program on this machine may take it
    // before the plant listens (the suite runs in parallel), and then another is picked.
    void startPlant(web::WebConfig config, quint16 port)
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            config.Port = QString::number(port ? port : freePort(config.Address));
            ASSERT_TRUE(web::saveWebConfig(m_app, config));
            m_plant = std::make_unique<plant::Plant>(m_app, webPlantClock());
            ASSERT_TRUE(waitFor(
                [this] { return m_plant->web().state().kind != web::WebState::Kind::Off; }));
            m_port = m_plant->web().state().port;
            if (port || m_plant->web().state().kind != web::WebState::Kind::PortTaken)
                return;
            m_plant->close();
            m_plant.reset();
        }
        FAIL() << "every port picked was taken before the plant listened";
    }

    void TearDown() override
    {
        if (m_plant)
            m_plant->close();
        m_plant.reset();
        AppDirTest::TearDown();
    }

    // A frame as the board sends it, through the station's own handler.
    void frame(const std::string& text = kFrame)
    {
        station::StationProbe::onComm(m_plant->station(), QString::fromStdString(text).trimmed());
    }

    QByteArray token() const { return kWebToken.toLatin1(); }

    std::unique_ptr<plant::Plant> m_plant;
    quint16 m_port = 0;
};
