#include "logging/csvexport.h"

#include <QBuffer>
#include <QLocale>
#include <QStringList>
#include <QTime>
#include <gtest/gtest.h>
#include <vector>

namespace {

double dayTime(int minutes)
{
    return minutes / 1440.0;
}

// RFC 4180 rows, quoted fields included.
std::vector<QStringList> parseCsv(const QString& text)
{
    std::vector<QStringList> rows;
    QStringList row;
    QString fieldText;
    bool quoted = false;
    for (qsizetype k = 0; k < text.size(); ++k) {
        const QChar c = text[k];
        if (quoted) {
            if (c == '"' && k + 1 < text.size() && text[k + 1] == '"')
                fieldText += text[++k];
            else if (c == '"')
                quoted = false;
            else
                fieldText += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row << fieldText;
            fieldText.clear();
        } else if (c == '\r' && k + 1 < text.size() && text[k + 1] == '\n') {
            row << fieldText;
            fieldText.clear();
            rows.push_back(row);
            row.clear();
            ++k;
        } else {
            fieldText += c;
        }
    }
    EXPECT_TRUE(row.isEmpty() && fieldText.isEmpty()) << "the last row ends in CR LF";
    return rows;
}

class CsvExport : public ::testing::TestWithParam<const char*>
{};

TEST_P(CsvExport, RoundTripsTheRecords)
{
    QLocale::setDefault(QLocale(QString::fromLatin1(GetParam())));
    if (QLatin1String(GetParam()) == QLatin1String("de_DE")) {
        ASSERT_EQ(QLocale().toString(1.5), "1,5");
    }
    const std::vector<logging::CsvRecord> records{
        {dayTime(14 * 60 + 5), {13.62, 4.15, 56.52, 0, 412.5, 18.3}, 1},
        {dayTime(14 * 60 + 6), {-0.25, -1234.5, 0.00001, 0, 0, 1e15}, 0},
        {dayTime(0), {0, 0, 0, 0, 0, 0}, -3},
    };
    QByteArray text;
    QBuffer buffer(&text);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
    ASSERT_TRUE(logging::writeCsv(buffer, QDate(2024, 3, 7), "k,m/h \"x\"", records));
    const std::vector<QStringList> rows = parseCsv(QString::fromUtf8(text));
    ASSERT_EQ(rows.size(), records.size() + 1);
    EXPECT_EQ(rows[0], (QStringList{"date", "time", "mode", "volts", "amps", "watts", "rpm",
                                    "wind_speed (k,m/h \"x\")"}));
    for (std::size_t r = 0; r < records.size(); ++r) {
        const QStringList& row = rows[r + 1];
        ASSERT_EQ(row.size(), 8);
        EXPECT_EQ(row[0], "2024-03-07");
        EXPECT_EQ(QTime::fromString(row[1], "HH:mm"),
                  QTime(0, 0).addSecs(qRound(records[r].dayTime * 86400)));
        EXPECT_EQ(row[2].toInt(), records[r].mode);
        int column = 3;
        for (const core::Quantity q : core::kLogged) {
            bool ok = false;
            EXPECT_EQ(QLocale::c().toDouble(row[column], &ok), records[r].values[q])
                << row[column].toStdString();
            EXPECT_TRUE(ok && !row[column].contains('E')) << row[column].toStdString();
            ++column;
        }
    }
    EXPECT_EQ(logging::csvFileName(QDate(2024, 3, 7)), "2024-03-07.csv");
    QLocale::setDefault(QLocale::c());
}

INSTANTIATE_TEST_SUITE_P(Locales, CsvExport, ::testing::Values("C", "de_DE", "fr_FR"));

// A device that takes nothing (opened for reading only) is told apart from one that took it all.
TEST(CsvExportDevice, SaysWhenTheDeviceTookLessThanAll)
{
    const std::vector<logging::CsvRecord> records{{dayTime(60), {12, 1, 12, 0, 3, 4}, 1}};
    QByteArray text;
    QBuffer readOnly(&text);
    ASSERT_TRUE(readOnly.open(QIODevice::ReadOnly));
    EXPECT_FALSE(logging::writeCsv(readOnly, QDate(2024, 3, 7), {}, records));
    EXPECT_TRUE(text.isEmpty());

    QBuffer buffer(&text);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
    ASSERT_TRUE(logging::writeCsv(buffer, QDate(2024, 3, 7), {}, records));
    EXPECT_EQ(text, "date,time,mode,volts,amps,watts,rpm,wind_speed\r\n"
                    "2024-03-07,01:00,1,12,1,12,3,4\r\n");
}

} // namespace
