#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace core {

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

} // namespace core
