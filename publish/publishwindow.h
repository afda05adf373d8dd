#pragma once

#include "core/appdir.h"
#include "publish/mqttlink.h"
#include "publish/publishconfig.h"

#include <QDialog>
#include <QTimer>
#include <memory>

class QCheckBox;
class QHostInfo;
class QLabel;
class QLineEdit;
class QPushButton;

namespace publish {

// The window's controls, named as the keys of publish.cfg they edit.
struct PublishControls
{
    QCheckBox* Enabled = nullptr;
    QLineEdit* Host = nullptr;
    QLineEdit* Port = nullptr;
    QLineEdit* User = nullptr;
    QLineEdit* Password = nullptr;
    QCheckBox* TLS = nullptr;
    QLineEdit* CAFile = nullptr;
    QLineEdit* BaseTopic = nullptr;
    QLineEdit* Name = nullptr;
    QCheckBox* Discovery = nullptr;
    QLabel* TestResult = nullptr; // what the last test or check found
    QPushButton* TestConnection = nullptr;
    QPushButton* Save = nullptr;
    QPushButton* Cancel = nullptr;
};

// The window "Publish", shown modally by the main window: the values of publish.cfg. "Save"
// checks them (the host is looked up off the user interface thread when publishing is on),
// writes the file and closes; "Cancel" or closing writes nothing. "Test connection" connects to
// the broker with the values shown, without saving, and says what happened. Nothing here waits:
// lookups and tests report back when they end.
class Publish : public QDialog
{
    Q_OBJECT
public:
    // A lookup or test that has not ended after this long is reported as no answer.
    static constexpr int kLookupMs = 10000;
    static constexpr int kTestMs = 15000;

    Publish(const core::AppDir& app, QWidget* parent = nullptr);
    ~Publish() override;

    const PublishControls& controls() const { return m_controls; }
    PublishConfig shownValues() const;

    void done(int result) override;

private:
    void Form_Load();
    void Save_Click();
    void TestConnection_Click();
    void hostLookedUp(const QHostInfo& info);
    void testStatus();
    void finishTest(const QString& text);
    void refuse(const ConfigProblem& problem);
    void setBusy(const QString& text);
    void endLookup();
    void write(const PublishConfig& values);

    core::AppDir m_app;
    PublishControls m_controls;
    int m_lookupId = -1;
    PublishConfig m_checking; // the values whose host is being looked up
    QTimer m_deadline;
    std::unique_ptr<MqttLink> m_test;
};

} // namespace publish
