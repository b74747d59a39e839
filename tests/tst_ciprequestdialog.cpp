// The CIP request dialog against a device played in-process on loopback
// (in a network namespace of its own): the fields' checks, what is sent and
// what is shown of the answer, the questions before anything but a Get,
// the history, Copy, and one dialog per device and route.

#include "ciprequestdialog.h"
#include "devicedetailsdialog.h"
#include "devicesupport.h"
#include "fakedevice.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

using namespace TestSupport;

namespace {

// The fields in the form's order: service, class, instance, attribute,
// data, route.
const char *const FieldNames[] = {"comboBox_service",   "lineEdit_class", "lineEdit_instance",
                                  "lineEdit_attribute", "lineEdit_data",  "lineEdit_route"};

void fill(CipRequestDialog &dialog, const QStringList &fields)
{
    dialog.findChild<QComboBox *>(FieldNames[0])->setEditText(fields.at(0));
    for (int i = 1; i < 6; ++i)
        dialog.findChild<QLineEdit *>(FieldNames[i])->setText(fields.value(i));
}

// The object names of the fields marked as not parsing.
QStringList markedFields(const CipRequestDialog &dialog)
{
    QStringList marked;
    for (const char *name : FieldNames) {
        const QWidget *field = dialog.findChild<QWidget *>(name);
        if (field->property("invalid").toBool()) {
            marked << name;
            // The reason is at hand on the field itself.
            if (field->toolTip().isEmpty())
                marked << "(no reason)";
        }
    }
    return marked;
}

// What the device took on SendRRData: "6f SERVICE PATH", then "+ DATA"
// when the request carried data.
QStringList taken(const FakeDevice &device)
{
    QStringList requests = device.requests.filter(QRegularExpression("^6f "));
    for (int i = 0; i < requests.size(); ++i) {
        if (!device.requestData.value(i).isEmpty())
            requests[i] += " + " + QString::fromLatin1(device.requestData.value(i).toHex());
    }
    return requests;
}

QStringList tableTexts(const QTableWidget *table, const QString &separator)
{
    QStringList rows;
    for (int r = 0; r < table->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < table->columnCount(); ++c)
            cells << table->item(r, c)->text();
        rows << cells.join(separator);
    }
    return rows;
}

// Answers the questions the dialog asks, one click for each ("Cancel",
// "Send", "Reset", or "Enter" for the default button), and returns each
// question's text with its default button's text.
QStringList answerQuestions(CipRequestDialog &dialog, const QStringList &clicks)
{
    QStringList asked;
    QList<QMessageBox *> done;
    for (const QString &click : clicks) {
        QMessageBox *box = nullptr;
        const bool shown = QTest::qWaitFor(
            [&]() {
                for (QMessageBox *candidate : dialog.findChildren<QMessageBox *>()) {
                    if (candidate->isVisible() && !done.contains(candidate))
                        box = candidate;
                }
                return box != nullptr;
            },
            2000);
        if (!shown) {
            asked << "(no question)";
            return asked;
        }
        done << box;
        asked << box->text() + " [" + box->defaultButton()->text() + "]";
        if (click == "Enter") {
            QTest::keyClick(box, Qt::Key_Return);
            continue;
        }
        for (QAbstractButton *button : box->buttons()) {
            if (button->text() == click)
                button->click();
        }
    }
    // No further question comes.
    QTest::qWait(50);
    for (QMessageBox *candidate : dialog.findChildren<QMessageBox *>()) {
        if (candidate->isVisible() && !done.contains(candidate))
            asked << "(unexpected) " + candidate->text();
    }
    return asked;
}

void click(CipRequestDialog &dialog, const char *button)
{
    QPushButton *pushButton = dialog.findChild<QPushButton *>(button);
    QVERIFY(pushButton->isEnabled());
    pushButton->click();
}

} // namespace

class tst_CipRequestDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void fields_data();
    void fields();
    void answer_data();
    void answer();
    void copy();
    void confirmation_data();
    void confirmation();
    void onePerDevice();
};

void tst_CipRequestDialog::initTestCase()
{
    recordMessages();
}

void tst_CipRequestDialog::cleanup()
{
    verifyNoFormWarnings();
}

void tst_CipRequestDialog::fields_data()
{
    // service, class, instance, attribute, data, route as typed.
    QTest::addColumn<QStringList>("fields");
    // The fields marked, and the reasons shown under them; what a Get
    // that parses sends instead.
    QTest::addColumn<QStringList>("marked");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("sent");

    const QString none;
    QTest::newRow("service name of another case")
        << QStringList{"get_attribute_single", "0xF5", "1", "6", ""} << QStringList() << none << "6f 0e 20f524013006";
    QTest::newRow("offered entry, decimal and hex numbers")
        << QStringList{"0x0E Get_Attribute_Single", "245", "0x1", "0x06", ""} << QStringList() << none
        << "6f 0e 20f524013006";
    // Each number in the smallest segment that holds it.
    QTest::newRow("16-bit class and attribute, 32-bit instance")
        << QStringList{"0x0e", "0x300", "0x12345", "0x100", ""} << QStringList() << none
        << "6f 0e 2100000326004523010031000001";
    QTest::newRow("Get_Attribute_List with data")
        << QStringList{"Get_Attribute_List", "1", "1", "", "02 00 01 00\t07 00"} << QStringList() << none
        << "6f 03 20012401 + 020001000700";
    // Get_Attributes_All takes no attribute: the field is off, and what it
    // holds is neither checked nor sent.
    QTest::newRow("attribute of Get_Attributes_All ignored")
        << QStringList{"0x01 Get_Attributes_All", "1", "1", "junk", ""} << QStringList() << none << "6f 01 20012401";

    QTest::newRow("unknown service name")
        << QStringList{"Get_Everything", "1", "1", "1", ""} << QStringList{"comboBox_service"}
        << "The service must be one of the names offered or a number from 0x00 to "
           "0x7F."
        << none;
    QTest::newRow("service code above 0x7F")
        << QStringList{"0x80", "1", "1", "1", ""} << QStringList{"comboBox_service"}
        << "The service must be one of the names offered or a number from 0x00 to 0x7F." << none;
    QTest::newRow("class above 16 bits") << QStringList{"0x0E", "0x10000", "1", "1", ""}
                                         << QStringList{"lineEdit_class"} << "The class must be at most 0xFFFF (65535)."
                                         << none;
    QTest::newRow("instance missing") << QStringList{"0x0E", "1", " ", "1", ""} << QStringList{"lineEdit_instance"}
                                      << "The instance is missing." << none;
    QTest::newRow("instance not a number")
        << QStringList{"0x0E", "1", "1a", "1", ""} << QStringList{"lineEdit_instance"}
        << "The instance must be a decimal number or a hexadecimal one with 0x in front." << none;
    QTest::newRow("attribute missing where the service needs one")
        << QStringList{"Get_Attribute_Single", "1", "1", "", ""} << QStringList{"lineEdit_attribute"}
        << "The service 0x0E Get_Attribute_Single needs an attribute." << none;
    QTest::newRow("attribute above 16 bits")
        << QStringList{"0x0E", "1", "1", "65536", ""} << QStringList{"lineEdit_attribute"}
        << "The attribute must be at most 0xFFFF (65535)." << none;
    QTest::newRow("odd number of data digits")
        << QStringList{"0x0E", "1", "1", "1", "01 2"} << QStringList{"lineEdit_data"}
        << "The data must be pairs of hexadecimal digits, such as 01 02 0a." << none;
    QTest::newRow("route with a port and no link")
        << QStringList{"0x0E", "1", "1", "1", "", "1"} << QStringList{"lineEdit_route"} << "" << none;
    QTest::newRow("route through port 0")
        << QStringList{"0x0E", "1", "1", "1", "", "0,3"} << QStringList{"lineEdit_route"} << "" << none;
    // Every wrong field at once, each with its reason.
    QTest::newRow("three fields wrong") << QStringList{"0x0E", "x", "1", "", "zz"}
                                        << QStringList{"lineEdit_class", "lineEdit_attribute", "lineEdit_data"}
                                        << "The class must be a decimal number or a hexadecimal one with 0x in front.\n"
                                           "The service 0x0E Get_Attribute_Single needs an attribute.\n"
                                           "The data must be pairs of hexadecimal digits, such as 01 02 0a."
                                        << none;
}

void tst_CipRequestDialog::fields()
{
    QFETCH(QStringList, fields);
    QFETCH(QStringList, marked);
    QFETCH(QString, problem);
    QFETCH(QString, sent);

    FakeDevice device;
    QVERIFY(device.listen());
    CipRequestDialog dialog(nullptr, QHostAddress::LocalHost, CIP::CipRoute(), device.port());
    dialog.show();
    auto *label = dialog.findChild<QLabel *>("label_problem");
    fill(dialog, fields);
    click(dialog, "pushButton_send");

    if (marked.isEmpty()) {
        QTRY_COMPARE(dialog.history().size(), 1);
        QCOMPARE(taken(device), QStringList{sent});
        QCOMPARE(markedFields(dialog), QStringList());
        QVERIFY(label->isHidden());
        return;
    }
    QCOMPARE(markedFields(dialog), marked);
    QVERIFY(label->isVisibleTo(&dialog));
    // The route's reasons are CipRoute's own; that one is given is enough.
    if (problem.isEmpty())
        QVERIFY(label->text().startsWith("Route: "));
    else
        QCOMPARE(label->text(), problem);
    QTest::qWait(100);
    QCOMPARE(device.connections, 0);
    QVERIFY(dialog.history().isEmpty());

    // Once refused, the fields are checked as they are typed: set right,
    // no mark stays.
    fill(dialog, {"0x0E", "1", "1", "1", "", ""});
    QCOMPARE(markedFields(dialog), QStringList());
    QVERIFY(label->isHidden());
}

void tst_CipRequestDialog::answer_data()
{
    // The device's answer: general status, additional status words, data.
    QTest::addColumn<int>("status");
    QTest::addColumn<QVector<quint16>>("additional");
    QTest::addColumn<QByteArray>("data");
    // The answer as shown: status lines, data size, hex dump, readings
    // ("LABEL = value") and the history's row.
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("dump");
    QTest::addColumn<QStringList>("readings");
    QTest::addColumn<QString>("history");

    const QVector<quint16> none;
    const QString path = "0x0E Get_Attribute_Single | class 0x01 instance 0x01 attribute 0x07 | ";
    QTest::newRow("no data") << 0 << none << QByteArray()
                             << QStringList{"Status: 0x00 Success", "Additional status: none", "Data: none"} << ""
                             << QStringList() << path + "0x00 Success";
    // A length byte that runs past the data: no SHORT_STRING.
    QTest::newRow("one byte") << 0 << none << QByteArray::fromHex("07")
                              << QStringList{"Status: 0x00 Success", "Additional status: none", "Data: 1 byte(s)"}
                              << "0000  07                                               .\n"
                              << QStringList{"USINT = 7 (0x07)"} << path + "0x00 Success";
    QTest::newRow("three bytes") << 0 << none << QByteArray::fromHex("02417f")
                                 << QStringList{"Status: 0x00 Success", "Additional status: none", "Data: 3 byte(s)"}
                                 << "0000  02 41 7f                                         .A.\n"
                                 << QStringList{"USINT = 2 (0x02)", "UINT = 16642 (0x4102)", "INT = 16642",
                                                "SHORT_STRING = \"A\\x7f\""}
                                 << path + "0x00 Success";
    // Every reading: 1.0 as a REAL, empty strings of both kinds.
    QTest::newRow("four bytes, every reading")
        << 0 << none << QByteArray::fromHex("0000803f")
        << QStringList{"Status: 0x00 Success", "Additional status: none", "Data: 4 byte(s)"}
        << "0000  00 00 80 3f                                      ...?\n"
        << QStringList{"USINT = 0 (0x00)",
                       "UINT = 0 (0x0000)",
                       "UDINT = 1065353216 (0x3F800000)",
                       "INT = 0",
                       "DINT = 1065353216",
                       "REAL = 1",
                       "SHORT_STRING = \"\"",
                       "STRING = \"\""}
        << path + "0x00 Success";
    QTest::newRow("STRING over two lines of the dump")
        << 0 << none << QByteArray::fromHex("1100") + "Drive controller!"
        << QStringList{"Status: 0x00 Success", "Additional status: none", "Data: 19 byte(s)"}
        << "0000  11 00 44 72 69 76 65 20 63 6f 6e 74 72 6f 6c 6c  ..Drive controll\n"
           "0010  65 72 21                                         er!\n"
        << QStringList{"USINT = 17 (0x11)",
                       "UINT = 17 (0x0011)",
                       "UDINT = 1917059089 (0x72440011)",
                       "INT = 17",
                       "DINT = 1917059089",
                       "REAL = 3.882185e+30",
                       "SHORT_STRING = \"\\x00Drive controller\"",
                       "STRING = \"Drive controller!\""}
        << path + "0x00 Success";
    QTest::newRow("refused, no additional status")
        << 0x14 << none << QByteArray()
        << QStringList{"Status: 0x14 Attribute not supported", "Additional status: none", "Data: none"} << ""
        << QStringList() << path + "0x14 Attribute not supported";
    QTest::newRow("refused with additional status and data")
        << 0x1F << QVector<quint16>{0x1234, 0x0001} << QByteArray::fromHex("ff")
        << QStringList{"Status: 0x1F Vendor specific error", "Additional status: 0x1234 0x0001", "Data: 1 byte(s)"}
        << "0000  ff                                               .\n"
        << QStringList{"USINT = 255 (0xFF)"} << path + "0x1F Vendor specific error";
    // The session comes up, the answer never does.
    QTest::newRow("no answer") << -1 << none << QByteArray()
                               << QStringList{"No answer: No answer from 127.0.0.1 on TCP port %1 within 0.5 s", "", ""}
                               << "" << QStringList() << path + "No answer";
}

void tst_CipRequestDialog::answer()
{
    QFETCH(int, status);
    QFETCH(QVector<quint16>, additional);
    QFETCH(QByteArray, data);
    QFETCH(QStringList, shown);
    QFETCH(QString, dump);
    QFETCH(QStringList, readings);
    QFETCH(QString, history);

    FakeDevice device;
    device.hold = status < 0;
    device.generalStatus = quint8(qMax(status, 0));
    device.additionalStatus = additional;
    device.answerData = data;
    device.dataSize = 0;
    device.answerDelayMs = 200;
    QVERIFY(device.listen());
    CipRequestDialog dialog(nullptr, QHostAddress::LocalHost, CIP::CipRoute(), device.port());
    dialog.setTimeout(500);
    dialog.show();
    fill(dialog, {"Get_Attribute_Single", "1", "1", "7", ""});
    auto *send = dialog.findChild<QPushButton *>("pushButton_send");
    auto *statusLabel = dialog.findChild<QLabel *>("label_status");
    click(dialog, "pushButton_send");

    // Nothing more goes out while the request is under way.
    QVERIFY(!send->isEnabled());
    QVERIFY(!dialog.findChild<QPushButton *>("pushButton_resend")->isEnabled());
    QCOMPARE(statusLabel->text(),
             QString::fromUtf8("Sending 0x0E Get_Attribute_Single class 0x01 instance 0x01 "
                               "attribute 0x07\u2026"));
    QTRY_VERIFY_WITH_TIMEOUT(send->isEnabled(), 3000);
    QCOMPARE(taken(device), QStringList{"6f 0e 2001240130" + QString("07")});

    const QString port = QString::number(device.port());
    QCOMPARE((QStringList{statusLabel->text(), dialog.findChild<QLabel *>("label_additional")->text(),
                          dialog.findChild<QLabel *>("label_dataSize")->text()}),
             shown.replaceInStrings("%1", port));
    QCOMPARE(dialog.findChild<QPlainTextEdit *>("plainTextEdit_data")->toPlainText() + (dump.isEmpty() ? "" : "\n"),
             dump);
    QCOMPARE(tableTexts(dialog.findChild<QTableWidget *>("tableWidget_readings"), " = "), readings);
    // The history: service, path, status, and the time it went out.
    auto *table = dialog.findChild<QTableWidget *>("tableWidget_history");
    QCOMPARE(table->rowCount(), 1);
    const QStringList row = tableTexts(table, " | ").first().split(" | ");
    QCOMPARE(row.mid(0, 3).join(" | "), history);
    QCOMPARE(row.at(3), dialog.history().first().sentAt.toString("HH:mm:ss"));
    QVERIFY(dialog.findChild<QPushButton *>("pushButton_copy")->isEnabled());
}

void tst_CipRequestDialog::copy()
{
    FakeDevice device;
    device.generalStatus = 0x14;
    device.additionalStatus = {0x0002};
    device.answerData = QByteArray::fromHex("0000803f");
    QVERIFY(device.listen());
    CipRequestDialog dialog(nullptr, QHostAddress::LocalHost, CIP::CipRoute(), device.port());
    dialog.show();
    // Nothing to copy before an answer.
    QVERIFY(!dialog.findChild<QPushButton *>("pushButton_copy")->isEnabled());
    fill(dialog, {"Get_Attribute_List", "0xF5", "1", "", "01 00 06 00"});
    click(dialog, "pushButton_send");
    QTRY_COMPARE(dialog.history().size(), 1);
    fill(dialog, {"Get_Attributes_All", "0x01", "1", "", ""});
    device.generalStatus = 0;
    device.additionalStatus.clear();
    device.answerData = "AB";
    click(dialog, "pushButton_send");
    QTRY_COMPARE(dialog.history().size(), 2);

    // The answer shown is copied: the new one, or one chosen in the history.
    const QString second = "Request: 0x01 Get_Attributes_All class 0x01 instance 0x01\n"
                           "To: 127.0.0.1, the device itself\n"
                           "Bytes: 01 02 20 01 24 01\n"
                           "Status: 0x00 Success\n"
                           "Additional status: none\n"
                           "Data: 2 byte(s)\n"
                           "0000  41 42                                            AB\n"
                           "USINT: 65 (0x41)\n"
                           "UINT: 16961 (0x4241)\n"
                           "INT: 16961\n";
    QApplication::clipboard()->setText("untouched");
    click(dialog, "pushButton_copy");
    QCOMPARE(QApplication::clipboard()->text(), second);
    dialog.findChild<QTableWidget *>("tableWidget_history")->setCurrentCell(0, 1);
    QCOMPARE(dialog.findChild<QLabel *>("label_status")->text(), QString("Status: 0x14 Attribute not supported"));
    click(dialog, "pushButton_copy");
    QCOMPARE(QApplication::clipboard()->text(),
             QString("Request: 0x03 Get_Attribute_List class 0xF5 instance 0x01\n"
                     "To: 127.0.0.1, the device itself\n"
                     "Data: 01 00 06 00\n"
                     "Bytes: 03 02 20 f5 24 01 01 00 06 00\n"
                     "Status: 0x14 Attribute not supported\n"
                     "Additional status: 0x0002\n"
                     "Data: 4 byte(s)\n"
                     "0000  00 00 80 3f                                      ...?\n"
                     "USINT: 0 (0x00)\n"
                     "UINT: 0 (0x0000)\n"
                     "UDINT: 1065353216 (0x3F800000)\n"
                     "INT: 0\n"
                     "DINT: 1065353216\n"
                     "REAL: 1\n"
                     "SHORT_STRING: \"\"\n"
                     "STRING: \"\"\n"));
}

void tst_CipRequestDialog::confirmation_data()
{
    // service, class, instance, attribute, data, route as typed.
    QTest::addColumn<QStringList>("fields");
    // Sent once, with every question answered yes, then again from the
    // history with these answers.
    QTest::addColumn<bool>("fromHistory");
    QTest::addColumn<QStringList>("clicks");
    // Each question and its default button; what the device took.
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<QStringList>("sent");

    const QStringList set = {"Set_Attribute_Single", "0xF5", "1", "6", "04 00 69 6f"};
    const QString setQuestion = "Send 0x10 Set_Attribute_Single to class 0xF5 instance 0x01 attribute 0x06 of the "
                                "device at 127.0.0.1? The data: 04 00 69 6f. This service does not only read: it "
                                "may change the device's settings or restart it. [Cancel]";
    const QStringList setSent = {"6f 10 20f524013006 + 0400696f"};
    const QStringList reset = {"Reset", "1", "1", "", ""};
    const QString resetQuestion = "Send 0x05 Reset to class 0x01 instance 0x01 of the device at 127.0.0.1? No data "
                                  "goes with it. This service does not only read: it may change the device's "
                                  "settings or restart it. [Cancel]";
    const QString resetAgain = "Reset 127.0.0.1 now? [Cancel]";

    QTest::newRow("Get: no question") << QStringList{"Get_Attribute_Single", "1", "1", "7", ""} << false
                                      << QStringList() << QStringList()
                                      << QStringList{"6f 0e 2001240130" + QString("07")};
    QTest::newRow("Set, Cancel") << set << false << QStringList{"Cancel"} << QStringList{setQuestion} << QStringList();
    QTest::newRow("Set, Enter takes Cancel")
        << set << false << QStringList{"Enter"} << QStringList{setQuestion} << QStringList();
    QTest::newRow("Set, Send") << set << false << QStringList{"Send"} << QStringList{setQuestion} << setSent;
    QTest::newRow("service without a name, Send")
        << QStringList{"0x4B", "0x64", "1", "", ""} << false << QStringList{"Send"}
        << QStringList{"Send 0x4B to class 0x64 instance 0x01 of the device at 127.0.0.1? No data goes with it. This "
                       "service does not only read: it may change the device's settings or restart it. [Cancel]"}
        << QStringList{"6f 4b 20642401"};
    QTest::newRow("Reset, Cancel first") << reset << false << QStringList{"Cancel"} << QStringList{resetQuestion}
                                         << QStringList();
    QTest::newRow("Reset, Send then Cancel")
        << reset << false << QStringList{"Send", "Cancel"} << QStringList{resetQuestion, resetAgain} << QStringList();
    QTest::newRow("Reset, Send then Enter")
        << reset << false << QStringList{"Send", "Enter"} << QStringList{resetQuestion, resetAgain} << QStringList();
    QTest::newRow("Reset, Send then Reset") << reset << false << QStringList{"Send", "Reset"}
                                            << QStringList{resetQuestion, resetAgain} << QStringList{"6f 05 20012401"};
    QTest::newRow("Reset behind a bridge, Send then Cancel")
        << QStringList{"Reset", "1", "1", "", "", "1,3"} << false << QStringList{"Send", "Cancel"}
        << QStringList{"Send 0x05 Reset to class 0x01 instance 0x01 of the module at route 1,3 behind the device at "
                       "127.0.0.1? No data goes with it. This service does not only read: it may change the device's "
                       "settings or restart it. [Cancel]",
                       "Reset the module at route 1,3 behind 127.0.0.1 now? [Cancel]"}
        << QStringList();
    QTest::newRow("history: Get again, no question")
        << QStringList{"Get_Attribute_Single", "1", "1", "7", ""} << true << QStringList() << QStringList()
        << QStringList{"6f 0e 2001240130" + QString("07")};
    QTest::newRow("history: Set again, Cancel")
        << set << true << QStringList{"Cancel"} << QStringList{setQuestion} << QStringList();
    QTest::newRow("history: Set again, Send")
        << set << true << QStringList{"Send"} << QStringList{setQuestion} << setSent;
    QTest::newRow("history: Reset again, Send then Cancel")
        << reset << true << QStringList{"Send", "Cancel"} << QStringList{resetQuestion, resetAgain} << QStringList();
}

void tst_CipRequestDialog::confirmation()
{
    QFETCH(QStringList, fields);
    QFETCH(bool, fromHistory);
    QFETCH(QStringList, clicks);
    QFETCH(QStringList, asked);
    QFETCH(QStringList, sent);

    FakeDevice device;
    device.dataSize = 0;
    QVERIFY(device.listen());
    CipRequestDialog dialog(nullptr, QHostAddress::LocalHost, CIP::CipRoute(), device.port());
    dialog.show();
    fill(dialog, fields);
    auto *send = dialog.findChild<QPushButton *>("pushButton_send");
    if (fromHistory) {
        click(dialog, "pushButton_send");
        answerQuestions(dialog, asked.isEmpty() ? QStringList() : QStringList{"Send", "Reset"}.mid(0, asked.size()));
        QTRY_COMPARE(dialog.history().size(), 1);
        QTRY_VERIFY(send->isEnabled());
        device.requests.clear();
        device.requestData.clear();
        // Other fields typed since: the history sends what it lists.
        fill(dialog, {"Get_Attributes_All", "2", "2", "", ""});
        dialog.findChild<QTableWidget *>("tableWidget_history")->setCurrentCell(0, 0);
        click(dialog, "pushButton_resend");
    } else {
        click(dialog, "pushButton_send");
    }
    // While asked, nothing else can go out.
    if (!clicks.isEmpty())
        QVERIFY(!send->isEnabled());
    QCOMPARE(answerQuestions(dialog, clicks), asked);
    if (!sent.isEmpty())
        QTRY_COMPARE(dialog.history().size(), fromHistory ? 2 : 1);
    QTest::qWait(100);
    QCOMPARE(taken(device), sent);
    QTRY_VERIFY(send->isEnabled());
}

void tst_CipRequestDialog::onePerDevice()
{
    const QHostAddress device("10.0.0.5");
    const CIP::CipRoute slot3({CIP::CipRouteHop(1, 3)});
    QWidget window;
    auto *inner = new QWidget(&window);

    // The same device and route: the one dialog, raised; it belongs to the
    // top-level window it was asked from.
    CipRequestDialog *first = CipRequestDialog::open(inner, device);
    QCOMPARE(first->parentWidget(), &window);
    QVERIFY(first->isVisible());
    QVERIFY(!first->isModal());
    QCOMPARE(first->windowTitle(), QString("CIP request - 10.0.0.5"));
    QCOMPARE(first->findChild<QLineEdit *>("lineEdit_route")->text(), QString());
    QCOMPARE(CipRequestDialog::open(&window, device), first);
    QCOMPARE(CipRequestDialog::find(device), first);
    // Another route, device or port: a dialog of its own.
    CipRequestDialog *module = CipRequestDialog::open(&window, device, slot3);
    QVERIFY(module != first);
    QCOMPARE(module->windowTitle(), QString("CIP request - 10.0.0.5, route 1,3"));
    QCOMPARE(module->findChild<QLineEdit *>("lineEdit_route")->text(), QString("1,3"));
    QVERIFY(CipRequestDialog::open(&window, QHostAddress("10.0.0.6")) != first);
    QVERIFY(CipRequestDialog::open(&window, device, CIP::CipRoute(), 2222) != first);
    QCOMPARE(window.findChildren<CipRequestDialog *>().size(), 4);

    // Closed, it is gone; asked again, a new one comes.
    first->close();
    QTRY_VERIFY(!CipRequestDialog::find(device));
    QCOMPARE(window.findChildren<CipRequestDialog *>().size(), 3);
    QVERIFY(CipRequestDialog::open(&window, device));

    // The details dialog's button: its device, or the module of a module's
    // dialog; the request dialog stays when the details dialog goes.
    FakeDevice fake;
    fake.behaviour = "silent";
    QVERIFY(fake.listen());
    const QHostAddress local(QHostAddress::LocalHost);
    auto *details = new DeviceDetailsDialog(
        &window,
        DeviceRecord::listIdentityDevice(1, local.toIPv4Address(), 44818,
                                         DeviceSupport::identityItem({1, 12, 4, 1, 0, 0, 0, "Drive"}), 0),
        0, {}, fake.port());
    details->findChild<QPushButton *>("pushButton_request")->click();
    CipRequestDialog *fromDetails = CipRequestDialog::find(local, CIP::CipRoute(), fake.port());
    QVERIFY(fromDetails);
    QCOMPARE(fromDetails->parentWidget(), &window);
    auto *moduleDetails = new DeviceDetailsDialog(details, local, slot3, "IO module", fake.port());
    moduleDetails->findChild<QPushButton *>("pushButton_request")->click();
    QVERIFY(CipRequestDialog::find(local, slot3, fake.port()));
    delete details;
    QCOMPARE(CipRequestDialog::find(local, CIP::CipRoute(), fake.port()), fromDetails);
    QVERIFY(CipRequestDialog::find(local, slot3, fake.port()));
}

QTEST_MAIN(tst_CipRequestDialog)

#include "tst_ciprequestdialog.moc"
