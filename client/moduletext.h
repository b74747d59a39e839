#ifndef MODULETEXT_H
#define MODULETEXT_H

#include "devicedetailstext.h"
#include "modulelist.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QJsonObject>
#include <QList>

// A module list as the details dialog and the command line show it.
namespace ModuleListText {
// One heading row per port, then one indented row per slot read.
QList<DetailsRow> rows(const ModuleList &list);
// {"address":..., "ports":[...], "modules":[...]}: the modules flat, one
// object per slot with its port's number, type and name.
QJsonObject json(const ModuleList &list);
// One line per slot (with its port), the same keys as the JSON's modules.
QByteArray csv(const ModuleList &list);
// The row of one slot: its route and what answered there.
DetailsRow slotRow(const ModuleSlot &slot);
// The row of one port: its number, type and name.
DetailsRow portRow(const BridgePort &port);
// "module", "bridge", "no module", "did not answer in time", ... for
// people.
QString resultText(ModuleSlot::Result result);
} // namespace ModuleListText

#endif // MODULETEXT_H
