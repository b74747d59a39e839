#ifndef CIPREQUESTDIALOG_H
#define CIPREQUESTDIALOG_H

#include "ciprequest.h"
#include "ciprequester.h"
#include "ciproute.h"

#include <QDialog>
#include <QHostAddress>
#include <QList>
#include <QString>

class Ui_CipRequestDialog;
QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

// Where the user sends any Message Router request to a device, or through a
// route to a module behind it, and sees the answer as it came: status,
// additional status, the data as a hex dump and read as each elementary
// type. Not modal, one per device and route (open() raises the one that is
// open), and it never waits: the request goes out through CipRequester.
//
// Only a Get goes out at once. Every other service asks first, each time,
// naming device, route, service and path, with Cancel as the default; a
// Reset asks a second time as Reset device… does. A field that does not
// parse is marked, with the reason, and nothing is sent.
class CipRequestDialog : public QDialog
{
    Q_OBJECT

public:
    // The dialog for the device at address and the route (empty: the device
    // itself): the one open already, raised, or a new one, shown. It belongs
    // to parent's top-level window, so that closing the dialog it was asked
    // from does not close it.
    static CipRequestDialog *open(QWidget *parent, const QHostAddress &address,
                                  const CIP::CipRoute &route = CIP::CipRoute(), quint16 port = 44818);
    // The dialog open for the device and route; nullptr for none.
    static CipRequestDialog *find(const QHostAddress &address, const CIP::CipRoute &route = CIP::CipRoute(),
                                  quint16 port = 44818);

    CipRequestDialog(QWidget *parent, const QHostAddress &address, const CIP::CipRoute &route = CIP::CipRoute(),
                     quint16 port = 44818);
    ~CipRequestDialog() override;

    QHostAddress deviceAddress() const { return address; }
    // The route the dialog was opened for; the route field may name another.
    CIP::CipRoute route() const { return openedRoute; }
    bool isBusy() const;
    // How long each step of a request may take (CipRequester's).
    void setTimeout(int ms);
    // The requests sent and their results, oldest first, as the history
    // lists them.
    QList<CipRequestResult> history() const { return results; }
    // The request and answer shown, as Copy puts them on the clipboard;
    // empty before the first answer.
    QString copyText() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void on_pushButton_send_clicked();
    void on_pushButton_copy_clicked();
    void on_pushButton_resend_clicked();
    void on_pushButton_close_clicked();

private:
    // The fields as a request and a route, each field that does not parse
    // marked with its reason; false when any does not.
    bool priv_check(CIP::GenericRequest *request, CIP::CipRoute *route);
    // The service field's text as GenericRequest::parse takes it.
    QString priv_serviceText() const;
    void priv_updateAttribute();
    // Asks as the service needs (nothing for a Get, once for most, twice
    // for Reset), then sends.
    void priv_confirmAndSend(const CIP::GenericRequest &request, const CIP::CipRoute &route);
    void priv_send(const CIP::GenericRequest &request, const CIP::CipRoute &route);
    void priv_onFinished(const CipRequestResult &result);
    void priv_showResult(int index);
    void priv_setBusy(bool busy);
    void priv_grayPlaceholder(QWidget *edit);

    Ui_CipRequestDialog *ui;
    QHostAddress address;
    CIP::CipRoute openedRoute;
    quint16 port;
    // 0: CipRequester's own.
    int timeoutMs = 0;
    // The requester for the route of the request under way or the last one.
    CipRequester *requester = nullptr;
    QList<CipRequestResult> results;
    // The result shown: an index into results, -1 for none.
    int shown = -1;
    // After a Send refused for a field, the fields are checked as typed.
    bool checkAsTyped = false;
    // A question about a request is open.
    bool asking = false;
};

#endif // CIPREQUESTDIALOG_H
