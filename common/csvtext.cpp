#include "csvtext.h"

namespace {

bool formulaStart(QChar c)
{
    switch (c.unicode()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r':
        return true;
    default:
        return false;
    }
}

// The apostrophe that field() puts before a cell: before a formula's first
// character, or before an apostrophe that would look like one.
bool guarded(const QString &text)
{
    return text.size() >= 2 && text.at(0) == QLatin1Char('\'')
        && (formulaStart(text.at(1)) || text.at(1) == QLatin1Char('\''));
}

} // namespace

QString CsvText::field(const QString &text)
{
    QString field = text;
    if (!field.isEmpty() && (formulaStart(field.at(0)) || guarded(field)))
        field.prepend(QLatin1Char('\''));
    if (field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"')) || field.contains(QLatin1Char('\r'))
        || field.contains(QLatin1Char('\n')))
        field = QLatin1Char('"') + field.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
    return field;
}

QString CsvText::unguarded(const QString &cell)
{
    return guarded(cell) ? cell.mid(1) : cell;
}

bool CsvText::parse(const QByteArray &data, const Limits &limits, QVector<Row> *rows, QString *error)
{
    rows->clear();
    // With its size: Qt 5 would stop at a zero byte.
    QString text = QString::fromUtf8(data.constData(), data.size());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);

    int line = 1;
    int i = 0;
    const int size = text.size();
    auto refuse = [&](const QString &why) {
        *error = tr("Line %1: %2").arg(line).arg(why);
        rows->clear();
        return false;
    };
    while (i < size) {
        // A blank line, LF or CRLF, is no record.
        if (text.at(i) == QLatin1Char('\n')) {
            ++line;
            ++i;
            continue;
        }
        if (text.at(i) == QLatin1Char('\r') && i + 1 < size && text.at(i + 1) == QLatin1Char('\n')) {
            ++line;
            i += 2;
            continue;
        }
        if (limits.rows > 0 && rows->size() >= limits.rows)
            return refuse(tr("more than %n row(s).", "", limits.rows));
        Row row;
        row.line = line;
        bool endOfRow = false;
        while (!endOfRow) {
            QString cell;
            if (i < size && text.at(i) == QLatin1Char('"')) {
                const int openedOn = line;
                ++i;
                for (;;) {
                    if (i >= size) {
                        line = openedOn;
                        return refuse(tr("a quoted cell does not end."));
                    }
                    const QChar c = text.at(i++);
                    if (c == QLatin1Char('"')) {
                        if (i < size && text.at(i) == QLatin1Char('"')) {
                            cell += c;
                            ++i;
                            continue;
                        }
                        break;
                    }
                    if (c == QLatin1Char('\n'))
                        ++line;
                    cell += c;
                    if (limits.cellLength > 0 && cell.size() > limits.cellLength)
                        return refuse(tr("a cell is longer than %n character(s).", "", limits.cellLength));
                }
                if (i < size && text.at(i) != QLatin1Char(',') && text.at(i) != QLatin1Char('\n')
                    && !(text.at(i) == QLatin1Char('\r') && i + 1 < size && text.at(i + 1) == QLatin1Char('\n')))
                    return refuse(tr("text after a quoted cell."));
            } else {
                const int start = i;
                while (i < size && text.at(i) != QLatin1Char(',') && text.at(i) != QLatin1Char('\n')
                       && !(text.at(i) == QLatin1Char('\r') && i + 1 < size && text.at(i + 1) == QLatin1Char('\n'))) {
                    if (text.at(i) == QLatin1Char('"'))
                        return refuse(tr("a quote inside an unquoted cell."));
                    ++i;
                }
                if (limits.cellLength > 0 && i - start > limits.cellLength)
                    return refuse(tr("a cell is longer than %n character(s).", "", limits.cellLength));
                cell = text.mid(start, i - start);
            }
            if (limits.cells > 0 && row.cells.size() >= limits.cells)
                return refuse(tr("more than %n cell(s) in a row.", "", limits.cells));
            row.cells.append(unguarded(cell));
            if (i >= size) {
                endOfRow = true;
            } else if (text.at(i) == QLatin1Char(',')) {
                ++i;
            } else {
                // LF or CRLF ends the record.
                i += text.at(i) == QLatin1Char('\r') ? 2 : 1;
                ++line;
                endOfRow = true;
            }
        }
        rows->append(row);
    }
    return true;
}
