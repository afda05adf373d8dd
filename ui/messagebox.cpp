#include "ui/messagebox.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace ui {
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

std::function<QString(const QString&)>& saveFileSlot()
{
    static std::function<QString(const QString&)> handler;
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

QString askSaveFile(QWidget* parent, const QString& caption, const QString& suggestedPath,
                    const QString& filter)
{
    if (const auto& handler = saveFileSlot())
        return handler(suggestedPath);
    return QFileDialog::getSaveFileName(parent, caption, suggestedPath, filter);
}

void setSaveFileHandler(std::function<QString(const QString&)> handler)
{
    saveFileSlot() = std::move(handler);
}

} // namespace ui
