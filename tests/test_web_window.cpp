// The Web window through its real widgets, offscreen: the choice of who may look, the token, the
// address with its QR code, and web.cfg as Save writes it.

#include "fixture.h"
#include "web/webwindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <sys/stat.h>

namespace {

using WebWindow = AppDirTest;

TEST_F(WebWindow, EveryDeviceGetsATokenAndItsQrCode)
{
    web::Web window(m_app, {});
    const web::WebControls& c = window.controls();
    EXPECT_FALSE(c.WebOn->isChecked());
    EXPECT_TRUE(c.ThisComputer->isChecked());
    EXPECT_TRUE(c.Address->text().contains(QStringLiteral("http://127.0.0.1:8470/")));
    EXPECT_TRUE(c.QrCode->pixmap().isNull());

    c.WebOn->setChecked(true);
    c.EveryDevice->setChecked(true);
    const QString token = window.shownValues().Token;
    EXPECT_EQ(token.size() * 4, web::kTokenBits);
    EXPECT_TRUE(c.Address->text().contains(QStringLiteral("?token=") + token));
    EXPECT_FALSE(c.QrCode->pixmap().isNull());

    c.NewToken->click();
    EXPECT_NE(window.shownValues().Token, token);
    c.Save->click();
    const web::WebLoad load = web::readWebConfig(m_app);
    EXPECT_TRUE(load.warning.isEmpty()) << load.warning.toStdString();
    EXPECT_TRUE(load.settings.on);
    EXPECT_TRUE(load.settings.everyDevice());
    EXPECT_EQ(load.config.Token, window.shownValues().Token);
    struct stat info
    {};
    ASSERT_EQ(::stat(QFile::encodeName(web::webCfgPath(m_app)).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(WebWindow, ABadPortIsRefusedAndNothingIsWritten)
{
    web::Web window(m_app, {});
    window.controls().Port->setText(QStringLiteral("99999"));
    window.controls().Save->click();
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages.front().contains(QStringLiteral("Port")));
    EXPECT_FALSE(QFile::exists(web::webCfgPath(m_app)));
}

} // namespace
