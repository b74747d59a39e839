#include "devicelistevents.h"

#include "cipnames.h"
#include "devicedetailstext.h"
#include "devicefinder.h"
#include "deviceplace.h"
#include "deviceprotocol.h"
#include "devicerecord.h"
#include "netaddress.h"

#include <QContextMenuEvent>
#include <QDateTime>
#include <QHelpEvent>
#include <QHostAddress>
#include <QKeyEvent>
#include <QKeySequence>
#include <QListWidget>
#include <QPair>
#include <QScopedValueRollback>
#include <QToolTip>

#include <utility>

namespace {

// A text reply is shown up to this many characters, in lines of at most
// LineLength characters so that the tooltip stays narrower than a screen.
constexpr int MaxReplyCharacters = 512;
constexpr int LineLength = 64;

bool isInvisible(uint codePoint)
{
    switch (QChar::category(codePoint)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

QString hexEscape(const char *prefix, uint value, int digits)
{
    return QLatin1String(prefix) + QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

// Decodes one UTF-8 sequence at bytes[i]. Returns its length, or 0 when the
// byte there does not start a valid, shortest-form sequence of a code point
// that text may hold (no surrogates, nothing above U+10FFFF).
int decodeUtf8(const QByteArray &bytes, int i, uint *codePoint)
{
    const auto lead = uchar(bytes.at(i));
    int length = 0;
    uint value = 0;
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    for (int k = 1; k < length; ++k) {
        const auto next = uchar(bytes.at(i + k));
        if ((next & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (next & 0x3F);
    }
    if ((length == 3 && (value < 0x800 || (value >= 0xD800 && value <= 0xDFFF)))
        || (length == 4 && (value < 0x10000 || value > 0x10FFFF)))
        return 0;
    *codePoint = value;
    return length;
}

// The reply as readable plain text, in lines: UTF-8 decoded; a byte that is
// not valid UTF-8 shown as \xNN, control and other invisible characters as
// \xNN (ASCII) or \uNNNN, a backslash as \\ so that an escape is never
// mistaken for what the device sent. Cut after MaxReplyCharacters
// characters, with an ellipsis.
QStringList replyLines(const QByteArray &bytes)
{
    QStringList lines;
    QString line;
    int characters = 0;
    for (int i = 0; i < bytes.size();) {
        if (characters == MaxReplyCharacters) {
            line += QChar(0x2026);
            break;
        }
        if (characters > 0 && characters % LineLength == 0)
            lines.append(std::exchange(line, QString()));
        ++characters;

        uint codePoint = 0;
        const int length = decodeUtf8(bytes, i, &codePoint);
        if (length == 0) {
            line += hexEscape("\\x", uchar(bytes.at(i)), 2);
            ++i;
            continue;
        }
        i += length;
        if (codePoint == '\\')
            line += QLatin1String("\\\\");
        else if (codePoint < 0x80 && isInvisible(codePoint))
            line += hexEscape("\\x", codePoint, 2);
        else if (isInvisible(codePoint))
            line += codePoint > 0xFFFF ? hexEscape("\\U", codePoint, 8) : hexEscape("\\u", codePoint, 4);
        else if (QChar::requiresSurrogates(codePoint))
            line.append(QChar(QChar::highSurrogate(codePoint))).append(QChar(QChar::lowSurrogate(codePoint)));
        else
            line += QChar(codePoint);
    }
    lines.append(line);
    return lines;
}

// Rows of label and value, each value a list of lines; device text is
// escaped here.
QString table(const QList<QPair<QString, QStringList>> &rows)
{
    QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"1\">");
    for (const auto &row : rows) {
        QStringList lines;
        for (const QString &line : row.second)
            lines.append(line.toHtmlEscaped());
        html += QStringLiteral("<tr style=\"white-space: pre\"><td>%1</td><td style=\"padding-left: 8px\">%2</td></tr>")
                    .arg(row.first.toHtmlEscaped(), lines.join(QLatin1String("<br>")));
    }
    return html + QLatin1String("</table>");
}

} // namespace

DeviceListEvents::DeviceListEvents(QListWidget *list, const DeviceFinder *finder, QWidget *window)
    : QObject(window)
    , list(list)
    , finder(finder)
    , viewport(list->viewport())
{
    list->installEventFilter(this);
    viewport->installEventFilter(this);
    // Details are worth showing while another window is active too, and
    // without a window manager this one may never be. Qt looks for this on
    // the window, not on the widget under the pointer.
    window->setAttribute(Qt::WA_AlwaysShowToolTips);
    window->installEventFilter(this);
}

const DeviceRecord *DeviceListEvents::record(const DeviceFinder &finder, const QListWidgetItem *item)
{
    if (!item)
        return nullptr;
    bool ok = false;
    const quint32 address = QHostAddress(item->data(AddressRole).toString()).toIPv4Address(&ok);
    const int index = ok ? finder.indexOf(address) : -1;
    return index >= 0 ? &finder.record(index) : nullptr;
}

QString DeviceListEvents::toolTip(const DeviceRecord &record, const DevicePlace &place)
{
    QList<QPair<QString, QStringList>> rows;
    if (record.protocol == DeviceProtocol::ListIdentity) {
        const QStringList faults = CIP::majorFaults(record.identity().identity);
        if (!faults.isEmpty())
            rows.append({tr("Fault"), faults});
    }
    if (record.hasConflict()) {
        // Every identity that answered, as the line shows the entry's own.
        QStringList identities;
        for (const ENIP::ListIdentityItem &item : record.identities) {
            const CIP::CipIdentityObject &identity = item.identity;
            identities.append(tr("\"%1\" S/N: %2, product code %3, vendor ID %4")
                                  .arg(replyLines(identity.productName.toString().toUtf8()).join(QString()),
                                       CIP::serialNumberText(identity.serialNumber),
                                       QString::number(identity.productCode), QString::number(identity.vendorId)));
        }
        if (record.unkeptIdentities > 0)
            identities.append(tr("%n more reply(s) with another identity", "", record.unkeptIdentities));
        rows.append({tr("IP address conflict"), identities});
    }

    if (record.protocol == DeviceProtocol::Text) {
        rows.append({tr("Reply"), replyLines(record.reply)});
    } else {
        const ENIP::ListIdentityItem &item = record.identity();
        const CIP::CipIdentityObject &identity = item.identity;
        for (const quint16 attribute : DeviceDetailsText::identityOrder())
            rows.append(DeviceDetailsText::identityRow(attribute, identity));
        rows += QList<QPair<QString, QStringList>>{
            {tr("Socket address"),
             {QStringLiteral("%1:%2").arg(ipv4ToString(item.sockaddr.sinAddr),
                                          QString::number(item.sockaddr.sinPort))}},
        };
        if (record.reportsOtherAddress())
            rows.append({tr("Reported address"),
                         {tr("%1 is not %2, the address the reply came from")
                              .arg(ipv4ToString(item.sockaddr.sinAddr), record.addressText())}});
        rows.append({tr("Encapsulation version"), {QString::number(item.encapVersion)}});
    }

    // What watching the network saw of the device.
    const auto localTime = [](qint64 msecs) {
        return QDateTime::fromMSecsSinceEpoch(msecs).toString(QStringLiteral("HH:mm:ss"));
    };
    if (record.offline) {
        rows.append({tr("Offline since"), {localTime(record.offlineSince)}});
        rows.append({tr("Last seen"), {localTime(record.lastSeen)}});
    } else if (record.backSince > 0) {
        rows.append({tr("Back since"), {localTime(record.backSince)}});
    }
    if (record.changedAt > 0)
        rows.append({tr("Changed"), {tr("%1: %2").arg(localTime(record.changedAt), record.changes)}});

    rows.append({tr("Network card"), {place.cardName.isEmpty() ? tr("Unknown") : place.cardText()}});
    if (place.neighboursRead) {
        QString mac = place.hardwareAddressText();
        if (!place.onLocalSubnet)
            mac = tr("Not known: the device is not on a subnet of this computer");
        else if (mac.isEmpty())
            mac = tr("Not in this computer's neighbour table");
        rows.append({tr("MAC address"), {mac}});
    }
    return table(rows);
}

bool DeviceListEvents::eventFilter(QObject *watched, QEvent *event)
{
    // Only pointers are compared here: the filter also sees the events of a
    // list that is being destroyed.
    const bool onList = watched == list;
    const bool onViewport = watched == viewport;
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Keeps any window-wide Copy shortcut from taking the list's key.
        if (onList && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
            event->accept();
            return true;
        }
        break;
    case QEvent::KeyPress: {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->matches(QKeySequence::Refresh)) {
            emit refreshPressed();
            return true;
        }
        if (key->matches(QKeySequence::Save)) {
            emit savePressed();
            return true;
        }
        if (!onList)
            break;
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if (key->matches(QKeySequence::Copy)) {
            emit copyPressed();
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && modifiers == Qt::AltModifier) {
            emit detailsPressed(list->currentItem());
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
            emit openPressed(list->currentItem());
            return true;
        }
        if ((key->key() == Qt::Key_Menu && modifiers == Qt::NoModifier)
            || (key->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier)) {
            requestKeyboardMenu();
            return true;
        }
        break;
    }
    case QEvent::ContextMenu: {
        const auto *menuEvent = static_cast<QContextMenuEvent *>(event);
        if (onList && menuEvent->reason() == QContextMenuEvent::Keyboard) {
            requestKeyboardMenu();
            return true;
        }
        if (onList || onViewport) {
            const QPoint pos = onList ? viewport->mapFrom(list, menuEvent->pos()) : menuEvent->pos();
            requestMenu(list->itemAt(pos), menuEvent->globalPos());
            return true;
        }
        break;
    }
    case QEvent::ToolTip:
        if (onViewport) {
            const auto *help = static_cast<QHelpEvent *>(event);
            QListWidgetItem *item = list->itemAt(help->pos());
            const DeviceRecord *shown = record(*finder, item);
            QString text;
            // The interface list and the neighbour table as they are now.
            if (shown)
                text = toolTip(*shown, DeviceLocator(SystemNeighbourTable()).place(*shown));
            if (text.isEmpty())
                QToolTip::hideText();
            else
                QToolTip::showText(help->globalPos(), text, viewport, list->visualItemRect(item));
            return true;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void DeviceListEvents::requestMenu(QListWidgetItem *item, const QPoint &globalPos)
{
    if (menuOpen)
        return;
    const QScopedValueRollback<bool> open(menuOpen, true);
    emit menuRequested(item, globalPos);
}

void DeviceListEvents::requestKeyboardMenu()
{
    // At the current entry, brought into view; at the list's top-left
    // corner when there is none.
    QListWidgetItem *item = list->currentItem();
    QPoint pos;
    if (item) {
        list->scrollToItem(item);
        const QRect rect = list->visualItemRect(item);
        pos = QPoint(rect.left() + rect.height() / 2, rect.center().y());
    }
    requestMenu(item, viewport->mapToGlobal(pos));
}
