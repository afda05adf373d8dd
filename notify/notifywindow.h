#pragma once

#include "core/appdir.h"
#include "notify/notifyconfig.h"

#include <QDialog>
#include <array>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace notify {

class NotifyService;

// The window's controls, named as the keys of notify.cfg they edit.
struct NotifyControls
{
    QCheckBox* PushOn = nullptr;
    QLineEdit* PushUrl = nullptr;
    QLineEdit* PushToken = nullptr;
    QCheckBox* HookOn = nullptr;
    QLineEdit* HookUrl = nullptr;
    QLineEdit* HookToken = nullptr;
    QCheckBox* MailOn = nullptr;
    QLineEdit* SmtpUrl = nullptr;
    QLineEdit* SmtpUser = nullptr;
    QLineEdit* SmtpPassword = nullptr;
    QLineEdit* MailFrom = nullptr;
    QLineEdit* MailTo = nullptr;
    QLineEdit* CaFile = nullptr;
    QCheckBox* ReportOn = nullptr;
    QSpinBox* ReportHour = nullptr;
    // "Send a test" of each way, in the order of kWays, and the server's answer beside it.
    std::array<QPushButton*, 3> Test{};
    std::array<QLabel*, 3> Answer{};
    QPushButton* Save = nullptr;
    QPushButton* Cancel = nullptr;
};

// The window "Notify", shown modally by the main window: the values of notify.cfg. "Send a
// test" sends a test by its way with the values shown, not saved yet, through the plant's
// sending thread, and shows the server's answer when it comes; nothing here waits. "Save"
// checks the ways that are ticked, writes the file (owner-only) and closes.
class Notify : public QDialog
{
    Q_OBJECT
public:
    Notify(const core::AppDir& app, NotifyService& service, QWidget* parent = nullptr);

    const NotifyControls& controls() const { return m_controls; }
    NotifyConfig shownValues() const;

private:
    void showValues(const NotifyConfig& config);
    void save();

    core::AppDir m_app;
    NotifyService& m_service;
    NotifyControls m_controls;
};

} // namespace notify
