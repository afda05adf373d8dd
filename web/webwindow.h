#pragma once

#include "core/appdir.h"
#include "web/webaddress.h"
#include "web/webconfig.h"
#include "web/webstate.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace web {

// The window's controls, each filled by its row of the control table.
struct WebControls
{
    QCheckBox* WebOn = nullptr;
    QRadioButton* ThisComputer = nullptr;
    QRadioButton* EveryDevice = nullptr;
    QLineEdit* Port = nullptr;
    QLabel* Address = nullptr; // the address to type, with the token on the network
    QLabel* QrCode = nullptr;  // the same address as a QR code, for a phone's camera
    QLabel* State = nullptr;   // what the server does now
    QPushButton* NewToken = nullptr;
    QPushButton* Save = nullptr;
    QPushButton* Cancel = nullptr;
};

// The window "Web", shown modally by the main window: web.cfg. "Every device on my network"
// makes a token when there is none; "New token" makes another, so the old one no longer opens
// the view. Save checks and writes the file (owner-only); the plant reloads it after the window.
class Web : public QDialog
{
    Q_OBJECT
public:
    Web(const core::AppDir& app, const WebState& state, QWidget* parent = nullptr);

    const WebControls& controls() const { return m_controls; }
    WebConfig shownValues() const;

private:
    void Save_Click();
    void NewToken_Click();
    void showAddress();

    core::AppDir m_app;
    WebControls m_controls;
    QString m_token;
};

} // namespace web
