#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <vector>

namespace history {

// Where one control of the history window stands, in pixels of the client area.
struct GraphPlace
{
    QString name;
    QRect rect;
};

// The window laid out for a client width: 758 pixels for the standard window, 974 for the wide
// one, whose controls sit further apart to follow the wider chart. Other widths fall between or
// beyond the two in proportion.
QSize graphClientSize(int width);
std::vector<GraphPlace> graphPlaces(int width);
QRect graphPlace(int width, const QString& name);

} // namespace history
