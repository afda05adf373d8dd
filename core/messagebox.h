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

} // namespace core
