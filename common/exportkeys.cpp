#include "exportkeys.h"

const QStringList &ExportKeys::identity()
{
    static const QStringList keys = {
        QStringLiteral("name"),          QStringLiteral("vendor_id"),
        QStringLiteral("device_type"),   QStringLiteral("device_type_name"),
        QStringLiteral("product_code"),  QStringLiteral("revision"),
        QStringLiteral("serial_number"), QStringLiteral("status"),
        QStringLiteral("state"),         QStringLiteral("state_name"),
    };
    return keys;
}
