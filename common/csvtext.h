#ifndef CSVTEXT_H
#define CSVTEXT_H

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <QVector>

// CSV cells as the program writes and reads them (RFC 4180). A cell a
// spreadsheet would run as a formula is written behind an apostrophe, and
// reading takes that apostrophe off again.
class CsvText
{
    Q_DECLARE_TR_FUNCTIONS(CsvText)

public:
    // One cell: a leading apostrophe for text a spreadsheet would run (it
    // begins with =, +, -, @, a tab or a carriage return), and for text that
    // begins with an apostrophe followed by one of those or by another
    // apostrophe, so that unguarded() gives the text back unchanged; then
    // quoted where it holds a comma, a quote or a line break, quotes doubled.
    static QString field(const QString &text);
    // A cell's text without the apostrophe field() put before it.
    static QString unguarded(const QString &cell);

    // A record of a CSV file: the line it starts on (from 1) and its cells,
    // unquoted and unguarded.
    struct Row
    {
        int line = 0;
        QStringList cells;
    };
    struct Limits
    {
        int rows = 0;
        int cells = 0; // per row
        int cellLength = 0; // characters
    };
    // Reads UTF-8 CSV with or without a byte-order mark, CRLF or LF line
    // ends, quoted cells with line breaks. Blank lines are skipped. False,
    // with the line in *error, for an unterminated quote, text after a
    // closing quote, or a file beyond the limits.
    static bool parse(const QByteArray &data, const Limits &limits, QVector<Row> *rows, QString *error);
};

#endif // CSVTEXT_H
