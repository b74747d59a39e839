#ifndef CIPREQUESTTEXT_H
#define CIPREQUESTTEXT_H

#include "cipreadings.h"
#include "ciprequest.h"
#include "ciprequester.h"
#include "ciproute.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>

// A request of CipRequester and its result, as --request prints them and
// the request dialog shows, copies and asks about them. Texts are
// translated in the context "CipRequestText".
namespace CipRequestText {

// Three lines (four with data), each ending with '\n':
//   Request: 0x0E Get_Attribute_Single class 0x01 instance 0x01 attribute 0x07
//   To: 10.0.0.5, the device itself        (or "10.0.0.5, route 1,3")
//   Data: 01 02                            (only with data)
//   Bytes: 0e 03 20 01 24 01 30 07
// The bytes are the Message Router request as the device (or the module
// at the route's end) gets it.
QString requestText(const QHostAddress &address, const CIP::CipRoute &route, const CIP::GenericRequest &request);
// The question asked before a request that is not a Get goes out, naming
// the device, the route, the service, the path and the data, and warning
// that it may change the device (for a Get, which only reads, without
// that warning).
QString confirmationText(const QHostAddress &address, const CIP::CipRoute &route, const CIP::GenericRequest &request);
// "0x00 Success", "0x14 Attribute not supported".
QString statusText(quint8 generalStatus);
// The additional status words in hexadecimal, "0x0204 0x0001"; "none".
QString additionalStatusText(const QVector<quint16> &additionalStatus);
// The result as --request prints it, each line ending with '\n': for an
// answer a "Status:" line, an "Additional status:" line, "Data: N bytes"
// with the hex dump (CIP::hexDump) or "Data: none", then one line per
// reading present ("USINT: 7"); a routing failure first says that the
// bridge did not deliver the request. Without an answer one line,
// "No answer: " and why.
QString resultText(const CipRequestResult &result);
// The --request JSON object, indented, ending with '\n'. Keys: address,
// route (null for the device itself), service, class, instance, attribute
// (null when none), request_hex, general_status, general_status_name,
// additional_status (numbers), data_hex, readings {usint, uint, udint, int,
// dint, real, short_string, string} (each null when the data is too short;
// real null too when it is NaN or infinite), real_text (the REAL as text,
// also "NaN" and "Infinity"; null without a REAL), routing_failed, and
// error (null for a success, else the refusal or fault in words). Without
// an answer general_status, general_status_name, data_hex, readings and
// real_text are null and additional_status is empty.
QByteArray resultJson(const CipRequestResult &result);
// Labelled readings for display, only those present: ("USINT", "7"),
// ("UINT", "513 (0x0201)"), ("REAL", "0.1"), ("STRING", "\"abc\""), ...
// Strings are quoted, with control characters, backslashes and quotes
// escaped, so that a device's bytes cannot steer a terminal.
QList<QPair<QString, QString>> readingRows(const CIP::Readings &readings);

} // namespace CipRequestText

#endif // CIPREQUESTTEXT_H
