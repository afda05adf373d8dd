// The one version everywhere it is shown, and Home Assistant's discovery as its current release
// accepts it: the units each device class allows, and where the config says what sent it.

#include "config/programsetup.h"
#include "config/setupform.h"
#include "core/version.h"
#include "publish/messages.h"
#include "tests/fixture.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <map>
#include <set>
#include <string>

namespace {

QJsonObject json(const QByteArray& bytes)
{
    return QJsonDocument::fromJson(bytes).object();
}

// The units Home Assistant's sensor documentation lists for the device classes the plant uses.
const std::map<std::string, std::set<std::string>> kHaUnits{
    {"voltage", {"V", "mV", "µV", "kV", "MV"}},
    {"current", {"A", "mA"}},
    {"power", {"mW", "W", "kW", "MW", "GW", "TW", "BTU/h"}},
    {"energy",
     {"J", "kJ", "MJ", "GJ", "mWh", "Wh", "kWh", "MWh", "GWh", "TWh", "cal", "kcal", "Mcal",
      "Gcal"}},
    {"wind_speed", {"Beaufort", "ft/s", "km/h", "kn", "m/s", "mph"}},
};

TEST(Release, TheChangelogsNewestEntryIsOfTheVersion)
{
    QFile changelog(QStringLiteral(TESSALY_SOURCE_DIR "/packaging/changelog"));
    ASSERT_TRUE(changelog.open(QIODevice::ReadOnly));
    const QString first = QString::fromUtf8(changelog.readLine()).trimmed();
    EXPECT_EQ(first.toStdString(),
              std::string("tessaly (") + core::kVersion + ") unstable; urgency=medium");
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+\\.\\d+(\\.\\d+)?$"))
                    .match(QLatin1String(core::kVersion))
                    .hasMatch())
        << core::kVersion;
}

TEST(Discovery, EveryConfigSaysWhatSentItAndItsVersion)
{
    for (const char* program : {"Tessaly", "Corvenna"}) {
        const auto configs = publish::discoveryMessages({"tessaly", "Plant 1", "km/h", program});
        ASSERT_EQ(configs.size(), 7u);
        for (const publish::Message& m : configs) {
            SCOPED_TRACE(m.topic.toStdString());
            const QJsonObject config = json(m.payload);
            const QJsonObject origin = config.value(QStringLiteral("origin")).toObject();
            EXPECT_EQ(origin.value(QStringLiteral("name")).toString(), QLatin1String(program));
            EXPECT_EQ(origin.value(QStringLiteral("sw_version")).toString(),
                      QLatin1String(core::kVersion));
            // The project has no support site to name.
            EXPECT_FALSE(origin.contains(QStringLiteral("support_url")));
            const QJsonObject device = config.value(QStringLiteral("device")).toObject();
            EXPECT_EQ(device.value(QStringLiteral("sw_version")).toString(),
                      QLatin1String(core::kVersion));
            // Home Assistant marks the entities unavailable by the broker's last will.
            EXPECT_EQ(
                config.value(QStringLiteral("availability_topic")).toString().toUtf8(),
                publish::topicsFor(QStringLiteral("tessaly"), QStringLiteral("Plant 1")).status);
            EXPECT_TRUE(m.retain);
        }
    }
}

TEST(Discovery, UnitsAreThoseTheirDeviceClassAccepts)
{
    struct Case
    {
        const char* wsUnits;
        const char* windUnit; // what the wind sensor is given; nullptr: none
        bool windClass;
    } cases[] = {{"km/h", "km/h", true},
                 {"KPH", "km/h", true},
                 {"m/s", "m/s", true},
                 {"mph", "mph", true},
                 {"knots", "kn", true},
                 {"ft/s", "ft/s", true},
                 {"furlongs", "furlongs", false},
                 {"", nullptr, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wsUnits);
        std::map<std::string, QJsonObject> byId;
        for (const publish::Message& m :
             publish::discoveryMessages({"tessaly", "p", QLatin1String(c.wsUnits), "Tessaly"})) {
            const QJsonObject config = json(m.payload);
            const QString id = config.value(QStringLiteral("unique_id")).toString();
            byId[id.section(QLatin1Char('_'), 2).toStdString()] = config;
            const QString deviceClass = config.value(QStringLiteral("device_class")).toString();
            if (deviceClass.isEmpty() || m.topic.contains("binary_sensor"))
                continue;
            const std::string unit =
                config.value(QStringLiteral("unit_of_measurement")).toString().toStdString();
            ASSERT_TRUE(kHaUnits.count(deviceClass.toStdString())) << deviceClass.toStdString();
            EXPECT_TRUE(kHaUnits.at(deviceClass.toStdString()).count(unit))
                << deviceClass.toStdString() << " in " << unit;
        }
        const auto unitOf = [&](const char* id) {
            return byId[id].value(QStringLiteral("unit_of_measurement")).toString();
        };
        EXPECT_EQ(unitOf("volts"), QStringLiteral("V"));
        EXPECT_EQ(unitOf("amps"), QStringLiteral("A"));
        EXPECT_EQ(unitOf("watts"), QStringLiteral("W"));
        EXPECT_EQ(unitOf("watt_hours"), QStringLiteral("Wh"));
        EXPECT_EQ(unitOf("rpm"), QStringLiteral("rpm"));
        EXPECT_FALSE(byId["rpm"].contains(QStringLiteral("device_class")));
        EXPECT_EQ(byId["watt_hours"].value(QStringLiteral("state_class")).toString(),
                  QStringLiteral("total_increasing"));
        const QJsonObject wind = byId["wind_speed"];
        EXPECT_EQ(wind.contains(QStringLiteral("device_class")), c.windClass);
        EXPECT_EQ(wind.value(QStringLiteral("unit_of_measurement")).toString(),
                  c.windUnit ? QLatin1String(c.windUnit) : QString());
    }
}

class About : public AppDirTest
{};

TEST_F(About, SetupNamesTheProgramsAndTheVersionBeyondTheDesignedPart)
{
    config::ProgramSetup window(m_app, nullptr);
    window.show();
    const auto* about = child<QLabel>(window, "About");
    EXPECT_EQ(about->text(),
              QStringLiteral("Tessaly and Corvenna ") + QLatin1String(core::kVersion));
    const QRect place = about->geometry();
    EXPECT_FALSE(place.intersects(QRect(QPoint(0, 0), config::kSetupDesignedSize)));
    EXPECT_TRUE(QRect(QPoint(0, 0), config::kSetupClientSize).contains(place));
    EXPECT_LE(about->fontMetrics().horizontalAdvance(about->text()), place.width());
    for (const QWidget* other : window.findChildren<QWidget*>()) {
        if (other != about && other->parent() == &window && other->isVisible()) {
            EXPECT_FALSE(place.intersects(other->geometry())) << other->objectName().toStdString();
        }
    }
}

} // namespace
