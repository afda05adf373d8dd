#include "messagebox.h"

#include <QApplication>
#include <QMessageBox>

namespace core {
namespace {

std::function<void(const QString&)>& handlerSlot()
{
    static std::function<void(const QString&)> handler;
    return handler;
}

std::function<bool(const QString&)>& questionSlot()
{
    static std::function<bool(const QString&)> handler;
    return handler;
}

} // namespace

void showMessage(QWidget* parent, const QString& text)
{
    if (const auto& handler = handlerSlot()) {
        handler(text);
        return;
    }
    QMessageBox::information(parent, QApplication::applicationName(), text, QMessageBox::Ok);
}

void setMessageHandler(std::function<void(const QString&)> handler)
{
    handlerSlot() = std::move(handler);
}

bool askYesNo(QWidget* parent, const QString& text)
{
    if (const auto& handler = questionSlot())
        return handler(text);
    return QMessageBox::question(parent, QApplication::applicationName(), text,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void setQuestionHandler(std::function<bool(const QString&)> handler)
{
    questionSlot() = std::move(handler);
}

} // namespace core
