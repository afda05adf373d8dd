#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace calibration {

// The raw values of the last frame, as the calibration window shows them.
struct RawReadings
{
    double RawVolts = 0; // V; 0 when absent or not a number
    double RawShunt = 0; // I; likewise
    // R and S: the received text when it is a number, "0" when the tag holds anything else,
    // empty when the tag is absent.
    QString R;
    QString S;

    bool operator==(const RawReadings&) const = default;
};

// V, I, R and S of a frame; a tag counts only when both its tags occur, the closing one after
// the opening one. Every other tag is ignored.
RawReadings readRawValues(QStringView frame);

// The number a pulse text stands for; empty counts as 0.
double pulseNumber(const QString& text);

} // namespace calibration
