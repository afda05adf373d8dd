#pragma once

#include "alarms/alarmconfig.h"
#include "core/appdir.h"

#include <QDialog>
#include <QPointer>
#include <array>
#include <utility>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace alarms {

class Notifier;

// One alarm's row, named after its keys in alarms.cfg ("BattLowOn", "BattLowLevel", ...).
struct AlarmRowControls
{
    QCheckBox* On = nullptr;
    QLineEdit* Level = nullptr;
    QLineEdit* Hysteresis = nullptr;
    QLineEdit* Delay = nullptr;
    QLabel* Unit = nullptr;
};

struct AlarmsControls
{
    std::array<AlarmRowControls, kKindCount> rows;
    QLineEdit* RunawayAmps = nullptr; // Runaway's second level: the charge below which it counts
    QCheckBox* Notify = nullptr;
    QLineEdit* Silence = nullptr;
    QCheckBox* Autostart = nullptr; // "Start with my desktop session"
    QLabel* Status = nullptr;       // whether notifications reach the desktop, and why not
    QPushButton* TestNotification = nullptr;
    QPushButton* Save = nullptr;
    QPushButton* Cancel = nullptr;
};

// The window "Alarms", shown modally by the main window: the values of alarms.cfg and the
// autostart entry. "Save" checks the values, writes alarms.cfg, writes or removes the entry and
// closes; "Cancel" or closing changes nothing. "Test notification" sends one at once.
class Alarms : public QDialog
{
    Q_OBJECT
public:
    Alarms(const core::AppDir& app, QWidget* parent = nullptr);
    ~Alarms() override;

    // The notifier "Test notification" uses; by default one of the window's own on the session
    // bus.
    void setNotifier(Notifier* notifier);

    const AlarmsControls& controls() const { return m_controls; }
    // alarms.cfg as the boxes would write it, each text as typed.
    QByteArray shownText() const;

private:
    void Form_Load();
    void Save_Click();
    void TestNotification_Click();
    void showStatus();
    void refuse(const QString& problem);
    // Each text box with the key of alarms.cfg it stands for.
    std::vector<std::pair<QString, QLineEdit*>> textBoxes() const;

    core::AppDir m_app;
    AlarmsControls m_controls;
    QPointer<Notifier> m_notifier;
    QString m_loadWarning;
    QString m_lastTest;
    quint64 m_testRequest = 0; // the notifier's number for the test not answered yet
};

} // namespace alarms
