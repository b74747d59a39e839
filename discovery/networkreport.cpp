#include "networkreport.h"

#include "netaddress.h"

#include <QAbstractSocket>
#include <QCoreApplication>
#include <QHostAddress>
#include <QMetaEnum>
#include <QNetworkInterface>

namespace {

QString tr(const char *text, int n = -1)
{
    return QCoreApplication::translate("NetworkReport", text, nullptr, n);
}

} // namespace

QString SendResult::text() const
{
    if (error == NotSent)
        return QString();
    if (error == Sent)
        return tr("sent");
    const char *name = QMetaEnum::fromType<QAbstractSocket::SocketError>().valueToKey(error);
    return name ? QString::fromLatin1(name) : QString::number(error);
}

QString NetworkRow::status() const
{
    if (!searched())
        return reason;
    if (kind != Remote)
        return noCarrier ? tr("searched (no carrier)") : tr("searched");
    switch (sweep) {
    case Waiting:
        return tr("broadcast sent, sweep waiting");
    case Sweeping:
        return tr("sweeping: %1 of %2 hosts").arg(sweepSent / 2).arg(sweepTotal / 2);
    case Cancelled:
        return tr("sweep cancelled after %1 of %2 hosts").arg(sweepSent / 2).arg(sweepTotal / 2);
    case Swept:
    case NotStarted:
        break;
    }
    return tr("searched");
}

QString NetworkRow::sendText(int probe) const
{
    QString shown = (probe == 0 ? text : listIdentity).text();
    if (kind != Remote || sweepSent == 0)
        return shown;
    if (sweepErrors[probe] > 0)
        return tr("%1; sweep: %2 (%3 failed)").arg(shown, firstSweepError[probe].text()).arg(sweepErrors[probe]);
    return tr("%1; sweep: sent").arg(shown);
}

QString leftOutReason(const QNetworkInterface &itfc, const QNetworkAddressEntry &entry)
{
    const QNetworkInterface::InterfaceFlags flags = itfc.flags();
    if (!flags.testFlag(QNetworkInterface::IsUp))
        return tr("down");
    if (flags.testFlag(QNetworkInterface::IsLoopBack))
        return tr("loopback");
    if (itfc.hardwareAddress() == QLatin1String("00:00:00:00:00:00"))
        return tr("no hardware address");
    if (!entry.ip().toString().contains(QLatin1Char('.')))
        return tr("not IPv4");
    return QString();
}

void RunReport::clear()
{
    rows.clear();
    ran = true;
}

int RunReport::addInterface(const QNetworkInterface &itfc)
{
    const int first = rows.size();
    const QList<QNetworkAddressEntry> entries = itfc.addressEntries();
    if (entries.isEmpty()) {
        NetworkRow row;
        row.kind = NetworkRow::CardWithoutAddress;
        row.card = itfc.humanReadableName();
        row.interfaceIndex = itfc.index();
        row.reason = tr("no IPv4 address");
        rows.append(row);
        return first;
    }
    for (const QNetworkAddressEntry &entry : entries) {
        NetworkRow row;
        row.card = itfc.humanReadableName();
        row.interfaceIndex = itfc.index();
        row.address = QStringLiteral("%1/%2").arg(entry.ip().toString()).arg(entry.prefixLength());
        row.reason = leftOutReason(itfc, entry);
        if (row.searched()) {
            // A link without carrier is searched all the same where the
            // system still calls it up; say so, as nothing will answer.
            row.noCarrier = !itfc.flags().testFlag(QNetworkInterface::IsRunning);
            // Without a known prefix the probe goes to the address's /24.
            const int prefix = entry.prefixLength() < 0 ? 24 : qMin(entry.prefixLength(), 32);
            row.network = Ipv4Subnet{entry.ip().toIPv4Address(), prefix}.networkOnly();
        }
        rows.append(row);
    }
    return first;
}

int RunReport::addRemote(const Ipv4Subnet &network, const QString &reason)
{
    NetworkRow row;
    row.kind = NetworkRow::Remote;
    row.address = network.text();
    row.reason = reason;
    row.network = network;
    row.probes = tr("%1, then each of %2 to %3")
                     .arg(ipv4ToString(network.broadcast()), ipv4ToString(network.firstHost()),
                          ipv4ToString(network.firstHost() + network.hostCount() - 1));
    rows.append(row);
    return rows.size() - 1;
}

void RunReport::countDevices(const QList<quint32> &addresses, const QList<int> &interfaceIndexes)
{
    for (NetworkRow &row : rows)
        row.devices = 0;
    for (int i = 0; i < addresses.size(); ++i) {
        const quint32 address = addresses.at(i);
        const int card = i < interfaceIndexes.size() ? interfaceIndexes.at(i) : 0;
        int best = -1;
        for (int r = 0; r < rows.size(); ++r) {
            const NetworkRow &row = rows.at(r);
            if (!row.searched() || row.network.prefixLength == 0 || !row.network.contains(address))
                continue;
            // The card the reply came in on decides; then the longest
            // prefix.
            const bool onCard = card != 0 && row.interfaceIndex == card;
            const bool bestOnCard = best >= 0 && card != 0 && rows.at(best).interfaceIndex == card;
            if (best < 0 || (onCard && !bestOnCard)
                || (onCard == bestOnCard && row.network.prefixLength > rows.at(best).network.prefixLength))
                best = r;
        }
        if (best >= 0)
            ++rows[best].devices;
    }
}

int RunReport::searchedCount() const
{
    int count = 0;
    for (const NetworkRow &row : rows)
        count += row.searched() ? 1 : 0;
    return count;
}

QString RunReport::labelText(bool searching) const
{
    if (!ran)
        return QString();
    if (searching)
        return tr("Searching\u2026");
    const int searchedRows = searchedCount();
    if (searchedRows == 0)
        return tr("No network to search");
    return tr("Searched %n network(s)", searchedRows);
}

QString RunReport::toolTip() const
{
    QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"1\">");
    for (const NetworkRow &row : rows) {
        const QString name = row.kind == NetworkRow::Remote ? tr("remote") : row.card;
        QString outcome = row.status();
        if (row.searched())
            outcome += tr(", %n device(s)", row.devices);
        html += QStringLiteral("<tr><td>%1</td><td>&nbsp;%2</td><td>&nbsp;%3</td></tr>")
                    .arg(name.toHtmlEscaped(), row.address.toHtmlEscaped(), outcome.toHtmlEscaped());
    }
    html += QStringLiteral("</table>");
    html += QStringLiteral("<p>%1</p>").arg(tr("Click for details and to search another network.").toHtmlEscaped());
    return html;
}
