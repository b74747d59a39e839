#include "ciprequestdialog.h"
#include "ui_ciprequestdialog.h"

#include "cipreadings.h"
#include "ciprequesttext.h"
#include "resetquestion.h"

#include <QClipboard>
#include <QColor>
#include <QComboBox>
#include <QEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHash>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QTableWidgetItem>

namespace {

enum HistoryColumn { ServiceColumn, PathColumn, StatusColumn, TimeColumn };

// How a field that does not parse looks; the reason is its tooltip and
// stands under the fields.
const char InvalidStyle[] = "QLineEdit, QComboBox { border: 1px solid #F44; background-color: #4A2020; }";

// The open dialogs, one per device (address and port) and route.
QHash<QString, QPointer<CipRequestDialog>> &openDialogs()
{
    static QHash<QString, QPointer<CipRequestDialog>> dialogs;
    return dialogs;
}

QString dialogKey(const QHostAddress &address, const CIP::CipRoute &route, quint16 port)
{
    return QStringLiteral("%1:%2 %3").arg(address.toString()).arg(port).arg(route.toText());
}

void markField(QWidget *field, const QString &reason)
{
    // The field's own sheet, kept from before the first mark.
    if (!field->property("baseStyleSheet").isValid())
        field->setProperty("baseStyleSheet", field->styleSheet());
    const QString base = field->property("baseStyleSheet").toString();
    field->setProperty("invalid", !reason.isEmpty());
    field->setStyleSheet(reason.isEmpty() ? base : base + QLatin1Char('\n') + QLatin1String(InvalidStyle));
    field->setToolTip(reason);
}

} // namespace

CipRequestDialog *CipRequestDialog::open(QWidget *parent, const QHostAddress &address, const CIP::CipRoute &route,
                                         quint16 port)
{
    QPointer<CipRequestDialog> &dialog = openDialogs()[dialogKey(address, route, port)];
    if (!dialog) {
        // A dialog's parent is the window it was asked from; the request
        // dialog outlives a details dialog that is closed.
        QWidget *owner = parent;
        while (owner && owner->parentWidget())
            owner = owner->parentWidget();
        dialog = new CipRequestDialog(owner, address, route, port);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    return dialog;
}

CipRequestDialog *CipRequestDialog::find(const QHostAddress &address, const CIP::CipRoute &route, quint16 port)
{
    return openDialogs().value(dialogKey(address, route, port)).data();
}

CipRequestDialog::CipRequestDialog(QWidget *parent, const QHostAddress &address, const CIP::CipRoute &route,
                                   quint16 port)
    : QDialog(parent)
    , ui(new Ui_CipRequestDialog)
    , address(address)
    , openedRoute(route)
    , port(port)
{
    ui->setupUi(this);
    setWindowTitle(route.isEmpty() ? tr("CIP request - %1").arg(address.toString())
                                   : tr("CIP request - %1, route %2").arg(address.toString(), route.toText()));

    for (const quint8 service : CIP::namedServices())
        ui->comboBox_service->addItem(CIP::serviceText(service), service);
    ui->comboBox_service->setCurrentIndex(CIP::namedServices().indexOf(CIP::GetAttributeSingle));
    ui->lineEdit_class->setText(QStringLiteral("0x01"));
    ui->lineEdit_instance->setText(QStringLiteral("1"));
    ui->lineEdit_attribute->setText(QStringLiteral("1"));
    ui->lineEdit_route->setText(route.toText());

    // The window's dark sheet draws typed text white, and an example in a
    // field with it, as if typed: the example is gray here, also after the
    // sheet sets the field's palette again (on focus).
    for (QLineEdit *edit :
         {ui->lineEdit_class, ui->lineEdit_instance, ui->lineEdit_attribute, ui->lineEdit_data, ui->lineEdit_route}) {
        edit->installEventFilter(this);
        priv_grayPlaceholder(edit);
    }
    ui->label_problem->hide();

    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    ui->plainTextEdit_data->setFont(fixed);
    ui->tableWidget_readings->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    QHeaderView *historyHeader = ui->tableWidget_history->horizontalHeader();
    historyHeader->setSectionResizeMode(ServiceColumn, QHeaderView::ResizeToContents);
    historyHeader->setSectionResizeMode(PathColumn, QHeaderView::Stretch);
    historyHeader->setSectionResizeMode(StatusColumn, QHeaderView::ResizeToContents);
    historyHeader->setSectionResizeMode(TimeColumn, QHeaderView::ResizeToContents);
    historyHeader->setStretchLastSection(false);
    for (QTableWidget *table : {ui->tableWidget_readings, ui->tableWidget_history})
        table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    ui->splitter->setStretchFactor(0, 3);
    ui->splitter->setStretchFactor(1, 2);

    connect(ui->comboBox_service, &QComboBox::currentTextChanged, this, [this]() {
        priv_updateAttribute();
        if (checkAsTyped)
            priv_check(nullptr, nullptr);
    });
    for (QLineEdit *edit :
         {ui->lineEdit_class, ui->lineEdit_instance, ui->lineEdit_attribute, ui->lineEdit_data, ui->lineEdit_route}) {
        connect(edit, &QLineEdit::textChanged, this, [this]() {
            if (checkAsTyped)
                priv_check(nullptr, nullptr);
        });
    }
    connect(ui->tableWidget_history, &QTableWidget::currentCellChanged, this,
            [this](int row) { priv_showResult(row); });
    connect(ui->tableWidget_history, &QTableWidget::cellDoubleClicked, this,
            [this]() { on_pushButton_resend_clicked(); });
    priv_updateAttribute();
    priv_setBusy(false);
    priv_showResult(-1);
}

void CipRequestDialog::priv_grayPlaceholder(QWidget *edit)
{
    const QColor gray(0x88, 0x88, 0x88);
    if (edit->palette().color(QPalette::PlaceholderText) == gray)
        return;
    QPalette palette = edit->palette();
    palette.setColor(QPalette::PlaceholderText, gray);
    edit->setPalette(palette);
}

bool CipRequestDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::Polish) {
        if (auto *edit = qobject_cast<QLineEdit *>(watched))
            priv_grayPlaceholder(edit);
    }
    return QDialog::eventFilter(watched, event);
}

CipRequestDialog::~CipRequestDialog()
{
    delete ui;
}

bool CipRequestDialog::isBusy() const
{
    return requester && requester->isBusy();
}

void CipRequestDialog::setTimeout(int ms)
{
    timeoutMs = ms;
    if (requester && ms > 0)
        requester->setTimeout(ms);
}

QString CipRequestDialog::priv_serviceText() const
{
    // An offered entry as it is shown ("0x0E Get_Attribute_Single") is its
    // code; anything else is a name or a code as typed.
    QString text = ui->comboBox_service->currentText().trimmed();
    const int index = ui->comboBox_service->findText(text, Qt::MatchFixedString);
    if (index >= 0)
        return QStringLiteral("0x") + QString::number(ui->comboBox_service->itemData(index).toUInt(), 16);
    return text;
}

void CipRequestDialog::priv_updateAttribute()
{
    // The named services that take no attribute have none; a service
    // without a name here may take one, and gets it when it is given.
    quint8 service = 0;
    const bool known = CIP::parseService(priv_serviceText(), &service);
    const bool takesNone = known && CIP::namedServices().contains(service) && !CIP::serviceNeedsAttribute(service);
    ui->lineEdit_attribute->setEnabled(!takesNone);
    ui->label_attribute->setEnabled(!takesNone);
}

bool CipRequestDialog::priv_check(CIP::GenericRequest *request, CIP::CipRoute *route)
{
    const QString service = priv_serviceText();
    const QString classId = ui->lineEdit_class->text();
    const QString instance = ui->lineEdit_instance->text();
    const QString attribute = ui->lineEdit_attribute->isEnabled() ? ui->lineEdit_attribute->text() : QString();
    const QString data = ui->lineEdit_data->text();

    // Each field on its own (the others as values known to parse), so that
    // every wrong one is marked, each with the parser's reason; the
    // attribute with the service typed, which decides whether it is needed.
    quint8 serviceCode = 0;
    const QString attributeService = CIP::parseService(service, &serviceCode) ? service : QStringLiteral("0x4B");
    const QString one = QStringLiteral("1");
    const struct
    {
        QWidget *field;
        QString service, classId, instance, attribute, data;
    } alone[] = {
        {ui->comboBox_service, service, one, one, one, QString()},
        {ui->lineEdit_class, QStringLiteral("0x01"), classId, one, QString(), QString()},
        {ui->lineEdit_instance, QStringLiteral("0x01"), one, instance, QString(), QString()},
        {ui->lineEdit_attribute, attributeService, one, one, attribute, QString()},
        {ui->lineEdit_data, QStringLiteral("0x01"), one, one, QString(), data},
    };
    QStringList reasons;
    for (const auto &field : alone) {
        CIP::GenericRequest ignored;
        QString reason;
        if (CIP::GenericRequest::parse(field.service, field.classId, field.instance, field.attribute, field.data,
                                       &ignored, &reason)
            == CIP::GenericRequest::NoField)
            reason.clear();
        markField(field.field, reason);
        if (!reason.isEmpty())
            reasons << reason;
    }

    CIP::CipRoute readRoute;
    QString routeReason;
    const QString routeText = ui->lineEdit_route->text();
    if (!routeText.trimmed().isEmpty() && !CIP::CipRoute::fromText(routeText, &readRoute, &routeReason)) {
        if (routeReason.isEmpty())
            routeReason = tr("The route is not one of PORT,LINK pairs such as 1,3.");
        else
            routeReason = tr("Route: %1").arg(routeReason);
    } else {
        routeReason.clear();
    }
    markField(ui->lineEdit_route, routeReason);
    if (!routeReason.isEmpty())
        reasons << routeReason;

    CIP::GenericRequest read;
    QString reason;
    const CIP::GenericRequest::Field wrong =
        CIP::GenericRequest::parse(service, classId, instance, attribute, data, &read, &reason);
    // Fields that each parse make a request that parses; should they not,
    // the reason still stands and nothing goes out.
    if (wrong != CIP::GenericRequest::NoField && reasons.isEmpty())
        reasons << reason;
    ui->label_problem->setText(reasons.join(QLatin1Char('\n')));
    ui->label_problem->setVisible(!reasons.isEmpty());
    if (!reasons.isEmpty())
        return false;
    if (request)
        *request = read;
    if (route)
        *route = readRoute;
    return true;
}

void CipRequestDialog::on_pushButton_send_clicked()
{
    if (isBusy() || asking)
        return;
    CIP::GenericRequest request;
    CIP::CipRoute route;
    if (!priv_check(&request, &route)) {
        checkAsTyped = true;
        return;
    }
    priv_confirmAndSend(request, route);
}

void CipRequestDialog::on_pushButton_resend_clicked()
{
    const int row = ui->tableWidget_history->currentRow();
    if (isBusy() || asking || row < 0 || row >= results.size())
        return;
    priv_confirmAndSend(results.at(row).request, results.at(row).route);
}

void CipRequestDialog::priv_confirmAndSend(const CIP::GenericRequest &request, const CIP::CipRoute &route)
{
    if (CIP::isGetService(request.service)) {
        priv_send(request, route);
        return;
    }
    asking = true;
    priv_setBusy(false);
    auto *box = new QMessageBox(QMessageBox::Warning, tr("Send CIP request"),
                                CipRequestText::confirmationText(address, route, request), QMessageBox::Cancel, this);
    box->setObjectName(QStringLiteral("messageBox_confirm"));
    QPushButton *sendButton = box->addButton(tr("Send"), QMessageBox::AcceptRole);
    box->setDefaultButton(QMessageBox::Cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this, box, sendButton, request, route]() {
        if (box->clickedButton() != sendButton) {
            asking = false;
            priv_setBusy(false);
            return;
        }
        if (request.service != CIP::ResetService) {
            asking = false;
            priv_send(request, route);
            return;
        }
        // A Reset restarts the device (or module): asked once more, as
        // Reset device… asks.
        const QString target = route.isEmpty()
            ? address.toString()
            : tr("the module at route %1 behind %2").arg(route.toText(), address.toString());
        QMessageBox *second = ResetQuestion::ask(this, target, [this, request, route]() {
            asking = false;
            priv_send(request, route);
        });
        connect(second, &QMessageBox::finished, this, [this]() {
            // After the Reset button's own handler: a Cancel ends the
            // question here.
            if (asking) {
                asking = false;
                priv_setBusy(false);
            }
        });
    });
    box->open();
}

void CipRequestDialog::priv_send(const CIP::GenericRequest &request, const CIP::CipRoute &route)
{
    if (isBusy())
        return;
    if (!requester || requester->route() != route) {
        delete requester;
        requester = new CipRequester(address, route, port, this);
        connect(requester, &CipRequester::finished, this, &CipRequestDialog::priv_onFinished);
    }
    if (timeoutMs > 0)
        requester->setTimeout(timeoutMs);
    if (!requester->send(request))
        return;
    ui->label_status->setText(tr("Sending %1 %2\u2026").arg(CIP::serviceText(request.service), request.pathText()));
    ui->label_additional->clear();
    ui->label_dataSize->clear();
    priv_setBusy(true);
}

void CipRequestDialog::priv_onFinished(const CipRequestResult &result)
{
    results.append(result);
    const int row = ui->tableWidget_history->rowCount();
    ui->tableWidget_history->insertRow(row);
    QString path = result.request.pathText();
    if (!result.route.isEmpty())
        path += QStringLiteral(", ") + tr("route %1").arg(result.route.toText());
    QString status = result.answered() ? CipRequestText::statusText(result.generalStatus) : tr("No answer");
    if (result.routingFailed)
        status = tr("%1 (bridge)").arg(status);
    const QStringList cells = {CIP::serviceText(result.request.service), path, status,
                               result.sentAt.toString(QStringLiteral("HH:mm:ss"))};
    for (int column = 0; column < cells.size(); ++column) {
        auto *item = new QTableWidgetItem(cells.at(column));
        item->setToolTip(column == StatusColumn && !result.succeeded() ? result.errorString : cells.at(column));
        ui->tableWidget_history->setItem(row, column, item);
    }
    priv_setBusy(false);
    // The new answer is the one shown.
    ui->tableWidget_history->setCurrentCell(row, 0);
    ui->tableWidget_history->scrollToItem(ui->tableWidget_history->item(row, 0));
    priv_showResult(row);
}

void CipRequestDialog::priv_showResult(int index)
{
    shown = index >= 0 && index < results.size() ? index : -1;
    ui->tableWidget_readings->setRowCount(0);
    ui->plainTextEdit_data->clear();
    ui->pushButton_copy->setEnabled(shown >= 0);
    if (shown < 0) {
        ui->label_status->setText(tr("Nothing sent yet."));
        ui->label_additional->clear();
        ui->label_dataSize->clear();
        return;
    }
    const CipRequestResult &result = results.at(shown);
    if (!result.answered()) {
        ui->label_status->setText(tr("No answer: %1").arg(result.errorString));
        ui->label_additional->clear();
        ui->label_dataSize->clear();
        return;
    }
    QString status = tr("Status: %1").arg(CipRequestText::statusText(result.generalStatus));
    if (result.routingFailed)
        status += QLatin1Char('\n') + tr("Not delivered by the bridge: %1").arg(result.errorString);
    ui->label_status->setText(status);
    ui->label_additional->setText(
        tr("Additional status: %1").arg(CipRequestText::additionalStatusText(result.additionalStatus)));
    ui->label_dataSize->setText(result.data.isEmpty() ? tr("Data: none")
                                                      : tr("Data: %n byte(s)", nullptr, result.data.size()));
    // Without the last line's break, which would show as an empty line.
    ui->plainTextEdit_data->setPlainText(CIP::hexDump(result.data).chopped(result.data.isEmpty() ? 0 : 1));
    const QList<QPair<QString, QString>> rows = CipRequestText::readingRows(CIP::readings(result.data));
    ui->tableWidget_readings->setRowCount(rows.size());
    for (int r = 0; r < rows.size(); ++r) {
        ui->tableWidget_readings->setItem(r, 0, new QTableWidgetItem(rows.at(r).first));
        auto *value = new QTableWidgetItem(rows.at(r).second);
        value->setToolTip(rows.at(r).second);
        ui->tableWidget_readings->setItem(r, 1, value);
    }
}

void CipRequestDialog::priv_setBusy(bool busy)
{
    // Nothing new goes out while a request is under way or asked about.
    const bool idle = !busy && !asking;
    ui->pushButton_send->setEnabled(idle);
    ui->pushButton_resend->setEnabled(idle && ui->tableWidget_history->rowCount() > 0);
}

QString CipRequestDialog::copyText() const
{
    if (shown < 0)
        return QString();
    const CipRequestResult &result = results.at(shown);
    return CipRequestText::requestText(result.address, result.route, result.request)
        + CipRequestText::resultText(result);
}

void CipRequestDialog::on_pushButton_copy_clicked()
{
    const QString text = copyText();
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

void CipRequestDialog::on_pushButton_close_clicked()
{
    close();
}
