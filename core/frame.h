#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>

namespace core {

// The raw values of one frame; a missing, empty or non-numeric tag gives 0. A tag counts only
// when both its tags occur, the closing one after the opening one.
struct RawValues
{
    double v = 0, i = 0, r = 0, s = 0;
    std::int16_t mode = 0;
};

RawValues decodeFrame(QStringView frame);

// The raw values of a frame as the calibration window shows them. V and I are the numbers of
// decodeFrame. R and S keep the text the board sent: when fitting a divider the user compares
// what came with what it gives, so "0" stands for a tag that held anything but a number and an
// empty text for a tag that was not there. The mode plays no part in calibrating.
struct RawReadings
{
    double RawVolts = 0; // V; 0 when absent or not a number
    double RawShunt = 0; // I; likewise
    QString R;
    QString S;

    bool operator==(const RawReadings&) const = default;
};

RawReadings readRawValues(QStringView frame);

// The number a pulse text stands for; empty counts as 0.
double pulseNumber(const QString& text);

} // namespace core
