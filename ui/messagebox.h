#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace ui {

// A message box with the text and a single OK button, owned by parent; returns when the user
// has closed it.
void showMessage(QWidget* parent, const QString& text);

// Routes every showMessage to handler instead of a real box (for tests); an empty handler
// restores the real boxes.
void setMessageHandler(std::function<void(const QString&)> handler);

// A question with Yes and No buttons, owned by parent, No the default; true when the user
// chose Yes. Closing the box counts as No.
bool askYesNo(QWidget* parent, const QString& text);

// Routes every askYesNo to handler, whose result is the answer, instead of a real box (for
// tests); an empty handler restores the real boxes.
void setQuestionHandler(std::function<bool(const QString&)> handler);

// A file dialog asking where to save, starting at suggestedPath and showing the files that match
// filter; the path chosen, or empty when the user cancelled.
QString askSaveFile(QWidget* parent, const QString& caption, const QString& suggestedPath,
                    const QString& filter);

// Routes every askSaveFile to handler, which gets the suggested path and returns the answer,
// instead of a real dialog (for tests); an empty handler restores the real dialogs.
void setSaveFileHandler(std::function<QString(const QString&)> handler);

} // namespace ui
