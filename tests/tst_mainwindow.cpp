#include "aboutdialog.h"
#include "addressserver.h"
#include "addressserverdialog.h"
#include "assignaddressdialog.h"
#include "ciprequestdialog.h"
#include "commandline.h"
#include "devicedetailsdialog.h"
#include "deviceexport.h"
#include "devicefinder.h"
#include "devicelistevents.h"
#include "deviceplace.h"
#include "deviceprotocol.h"
#include "devicerecord.h"
#include "devicesupport.h"
#include "ipsettingsdialog.h"
#include "ipsettingsrows.h"
#include "localetext.h"
#include "mainwindow.h"
#include "projectinfo.h"
#include "savelist.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QNetworkInterface>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QVBoxLayout>
#include <QtTest>

#include <functional>

// Runs inside a network namespace that holds only loopback (the window
// starts a discovery run one second after it is built), so a discovery run
// here finds no usable address, sends nothing and lists nothing.

using namespace TestSupport;

Q_DECLARE_METATYPE(DevicePlace)
Q_DECLARE_METATYPE(Rig::Identity)

namespace {

// What the status bar says after a run here, where nothing can be sent.
const QString NoNetwork = QStringLiteral("No usable network connection: nothing was sent");

// A list entry as the discovery readers make it.
QListWidgetItem *addEntry(QListWidget *list, const QString &text, const QString &address, const QVariant &config)
{
    auto *item = new QListWidgetItem(text);
    item->setData(AddressRole, address);
    if (config.isValid())
        item->setData(ConfigRole, config);
    list->addItem(item);
    return item;
}

// An entry as the window makes it from a record: the record goes to the
// finder of the list's window, whose entries are made, and read, from the
// finder's records. Null when the entry did not come.
QListWidgetItem *addEntry(QListWidget *list, const DeviceRecord &record)
{
    auto *finder = list->window()->findChild<DeviceFinder *>();
    const int rows = list->count();
    if (!finder || !finder->listRecord(record) || !QTest::qWaitFor([&]() { return list->count() > rows; }))
        return nullptr;
    return list->item(list->count() - 1);
}

DeviceRecord textRecord(quint32 number, const char *address, quint16 port, const QByteArray &reply)
{
    return DeviceRecord::textDevice(number, Rig::ipv4(address), port, reply, 0);
}

DeviceRecord identityRecord(quint32 number, const char *address, const Rig::Identity &identity, quint32 sockaddrIp = 0)
{
    return DeviceRecord::listIdentityDevice(number, Rig::ipv4(address), 44818,
                                            DeviceSupport::identityItem(identity, sockaddrIp), 0);
}

} // namespace

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void slotTable();
    void creationOrder_data();
    void creationOrder();
    void layout();
    void windowProperties();
    void styleSheets();
    void texts_data();
    void texts();
    void menus();
    void listFont();
    void startState();
    void automaticRun();
    void closingEarlyStartsNoRun();
    void findClearsTheList();
    void watch();
    void listedAddressesFollowTheList();
    void selection_data();
    void selection();
    void selectionSlotNeedsTheList();
    void copy_data();
    void copy();
    void openConfig();
    void listActions_data();
    void listActions();
    void contextMenu_data();
    void contextMenu();
    void statusMessageKept_data();
    void statusMessageKept();
    void actionsWithoutCurrentEntry();
    void detailsDialog();
    void ipSettingsCheck_data();
    void ipSettingsCheck();
    void networksDialog();
    void assignDialog();
    void addressServerDialog();
    void helpWebsite();
    void helpAbout();
    void toolTip_data();
    void toolTip();
    void identityComparison_data();
    void identityComparison();
    void devicePlace_data();
    void devicePlace();
    void localeText_data();
    void localeText();
    void exportFields_data();
    void exportFields();
    void csvFields_data();
    void csvFields();
    void saveList_data();
    void saveList();
    void programEntry_data();
    void programEntry();

private:
    // Waits for the run that starts one second after construction, so a
    // test's own entries are not cleared under it.
    void waitForAutomaticRun(MainWindow &window);
    template<typename T> T *child(MainWindow &window, const char *name);
};

void tst_MainWindow::initTestCase()
{
    // As the program's entry does: an 11-pixel application font.
    QFont font = QApplication::font();
    font.setPixelSize(11);
    QApplication::setFont(font);
    recordMessages();
}

void tst_MainWindow::cleanup()
{
    verifyNoFormWarnings();
}

void tst_MainWindow::slotTable()
{
    // Private slots only, these six first and in this order: the order is
    // that of the method table, index 0 first. Slots added later follow them.
    // The readers are the engine's.
    QCOMPARE(MainWindow::staticMetaObject.superClass(), &QMainWindow::staticMetaObject);
    const QStringList methods = ownMethods(MainWindow::staticMetaObject);
    QVERIFY2(methods.filter("not a private slot").isEmpty(), qPrintable(methods.join(", ")));
    QCOMPARE(methods.mid(0, 6),
             (QStringList{"on_pushButton_find_clicked()", "on_pushButton_copy_clicked()",
                          "on_pushButton_config_clicked()", "on_listWidget_itemSelectionChanged()",
                          "on_menubar_triggered(QAction*)", "on_menuHelp_triggered(QAction*)"}));
    QVERIFY(methods.contains("on_pushButton_watch_toggled(bool)"));
    QVERIFY(methods.contains("on_menuTools_triggered(QAction*)"));
    QCOMPARE(MainWindow::staticMetaObject.propertyCount(), MainWindow::staticMetaObject.propertyOffset());
    QCOMPARE(MainWindow::staticMetaObject.enumeratorCount(), MainWindow::staticMetaObject.enumeratorOffset());
    QCOMPARE(DeviceFinder::staticMetaObject.indexOfSlot("readyRead()") >= 0
                 && DeviceFinder::staticMetaObject.indexOfSlot("readyRead_opener()") >= 0,
             true);
}

template<typename T> T *tst_MainWindow::child(MainWindow &window, const char *name)
{
    T *object = window.findChild<T *>(QString::fromLatin1(name));
    if (!object)
        qWarning("no %s named %s", T::staticMetaObject.className(), name);
    return object;
}

void tst_MainWindow::waitForAutomaticRun(MainWindow &window)
{
    auto *list = child<QListWidget>(window, "listWidget");
    QVERIFY(list);
    addEntry(list, "1.  192.0.2.1:55555 | before the first run", "192.0.2.1", true);
    QTRY_COMPARE_WITH_TIMEOUT(list->count(), 0, 5000);
}

void tst_MainWindow::creationOrder_data()
{
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QStringList>("children");

    QTest::newRow("window") << "MainWindow" << QStringList{"actionAbout",     "actionWebsite", "actionAddressServer",
                                                           "actionInventory", "actionTest",    "centralwidget",
                                                           "menubar",         "statusbar"};
    QTest::newRow("centralwidget") << "centralwidget" << QStringList{"verticalLayout", "listWidget", "widget"};
    QTest::newRow("widget") << "widget"
                            << QStringList{"horizontalLayout", "pushButton_find", "pushButton_watch", "pushButton_copy",
                                           "pushButton_config"};
    QTest::newRow("menubar") << "menubar" << QStringList{"menuTools", "menuHelp"};
    // Added by the window after its form, at the right of the status bar.
    QTest::newRow("statusbar") << "statusbar"
                               << QStringList{"progressBar_sweep", "pushButton_cancelSweep", "label_networks",
                                              "label_addressServer"};
}

void tst_MainWindow::creationOrder()
{
    QFETCH(QString, parent);
    QFETCH(QStringList, children);

    MainWindow window;
    QCOMPARE(window.objectName(), QString("MainWindow"));
    QObject *object = parent == "MainWindow" ? &window : window.findChild<QObject *>(parent);
    QVERIFY(object);
    QCOMPARE(namedChildren(object), children);
}

void tst_MainWindow::layout()
{
    MainWindow window;
    auto *central = child<QWidget>(window, "centralwidget");
    QCOMPARE(window.centralWidget(), central);
    QCOMPARE(window.menuBar(), child<QMenuBar>(window, "menubar"));
    QCOMPARE(window.statusBar(), child<QStatusBar>(window, "statusbar"));

    auto *vertical = child<QVBoxLayout>(window, "verticalLayout");
    QVERIFY(vertical);
    QCOMPARE(central->layout(), vertical);
    QCOMPARE(itemNames(vertical), (QStringList{"listWidget", "widget"}));

    // The spacer pushes the four buttons to the right edge.
    auto *row = child<QHBoxLayout>(window, "horizontalLayout");
    QVERIFY(row);
    QCOMPARE(itemNames(row),
             (QStringList{"", "pushButton_find", "pushButton_watch", "pushButton_copy", "pushButton_config"}));
    QSpacerItem *spacer = row->itemAt(0)->spacerItem();
    QVERIFY(spacer);
    QCOMPARE(spacer->sizeHint(), QSize(40, 20));
    QCOMPARE(spacer->sizePolicy(), QSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum));
    // Qt's default margins, not the zero margins of a Designer layout widget.
    QCOMPARE(row->contentsMargins(), vertical->contentsMargins());
    for (int i = 1; i < 5; ++i) {
        const QSizePolicy policy = row->itemAt(i)->widget()->sizePolicy();
        QCOMPARE(policy.horizontalPolicy(), QSizePolicy::Minimum);
        QCOMPARE(policy.verticalPolicy(), QSizePolicy::Minimum);
    }

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const int right = child<QWidget>(window, "widget")->width();
    QVERIFY(child<QPushButton>(window, "pushButton_config")->geometry().right() > right - 20);
    QVERIFY(child<QPushButton>(window, "pushButton_find")->geometry().left() > right / 3);
}

void tst_MainWindow::windowProperties()
{
    MainWindow window;
    QVERIFY(window.windowIcon().availableSizes().contains(QSize(256, 256)));
    QVERIFY(!child<QStatusBar>(window, "statusbar")->isSizeGripEnabled());

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.size(), QSize(550, 450));
    window.resize(100, 100);
    QCOMPARE(window.size(), QSize(500, 300));
}

void tst_MainWindow::styleSheets()
{
    MainWindow window;
    // The whole text, byte for byte (1543 bytes, tabs before declarations,
    // no line feed after the last brace): any changed colour, tab or
    // comment shows here.
    QCOMPARE(QCryptographicHash::hash(window.styleSheet().toUtf8(), QCryptographicHash::Sha256).toHex(),
             QByteArray("cb4abb88f9c649b9635d9f58f796bc8f5c8b54f1b70966e1b0d5322ead990fa4"));

    QCOMPARE(child<QListWidget>(window, "listWidget")->styleSheet(),
             QString("QListWidget {\n\tbackground-color: #222;\n}\n\n"
                     "QListWidget:item {\n\tcolor: white;\n}\n\n"
                     "QListWidget:item::hover {\n\tbackground-color: #333;\n}\n\n"
                     "QListWidget:item::selected {\n\tbackground-color: #008000;\n}"));
    QCOMPARE(child<QWidget>(window, "centralwidget")->styleSheet(), QString());

    // The sheet takes effect: dark window, gray text on disabled buttons.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *copy = child<QPushButton>(window, "pushButton_copy");
    QCOMPARE(copy->palette().color(QPalette::Disabled, QPalette::ButtonText), QColor("gray"));
    QCOMPARE(child<QStatusBar>(window, "statusbar")->palette().color(QPalette::WindowText), QColor(Qt::white));
}

void tst_MainWindow::texts_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("text");

    const char *const rows[][3] = {
        {"MainWindow", "windowTitle", "Quorvel Node Spotter"},
        {"actionAbout", "text", "About\u2026"},
        {"actionWebsite", "text", "Website"},
        {"actionTest", "text", "Test"},
        {"actionTest", "toolTip", "Test"},
        {"pushButton_find", "text", "Find"},
        {"pushButton_watch", "text", "Watch"},
        {"pushButton_watch", "checkable", "true"},
        {"pushButton_copy", "text", "Copy IP address"},
        {"pushButton_config", "text", "Open config"},
        {"menuHelp", "title", "Help"},
        {"menuTools", "title", "Tools"},
        {"actionAddressServer", "text", "Address server\u2026"},
        {"actionInventory", "text", "Inventory\u2026"},
        {"label_addressServer", "text", "Address server on"},
    };
    for (const auto &row : rows)
        QTest::addRow("%s %s", row[0], row[1]) << row[0] << row[1] << QString::fromUtf8(row[2]);
}

void tst_MainWindow::texts()
{
    QFETCH(QString, object);
    QFETCH(QString, property);
    QFETCH(QString, text);

    MainWindow window;
    QObject *target = object == "MainWindow" ? &window : window.findChild<QObject *>(object);
    QVERIFY(target);
    QCOMPARE(target->property(property.toLatin1()).toString(), text);
}

void tst_MainWindow::menus()
{
    MainWindow window;
    auto *menubar = child<QMenuBar>(window, "menubar");
    auto *help = child<QMenu>(window, "menuHelp");
    auto *tools = child<QMenu>(window, "menuTools");
    QVERIFY(menubar);
    QVERIFY(help);
    QVERIFY(tools);
    // Tools comes before Help.
    QCOMPARE(menubar->actions(), (QList<QAction *>{tools->menuAction(), help->menuAction()}));
    QCOMPARE(
        tools->actions(),
        (QList<QAction *>{child<QAction>(window, "actionAddressServer"), child<QAction>(window, "actionInventory")}));
    QCOMPARE(help->actions(),
             (QList<QAction *>{child<QAction>(window, "actionAbout"), child<QAction>(window, "actionWebsite")}));
    // "Test" is shown nowhere.
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QVERIFY(child<QAction>(window, "actionTest")->associatedWidgets().isEmpty());
#else
    QVERIFY(child<QAction>(window, "actionTest")->associatedObjects().isEmpty());
#endif
}

void tst_MainWindow::listFont()
{
    MainWindow window;
    // The application font is 11 pixels; only the list is set in points.
    QCOMPARE(child<QListWidget>(window, "listWidget")->font().pointSize(), 11);
    QCOMPARE(child<QPushButton>(window, "pushButton_find")->font().pixelSize(), 11);
}

void tst_MainWindow::startState()
{
    MainWindow window;
    QCOMPARE(child<QListWidget>(window, "listWidget")->count(), 0);
    QVERIFY(child<QPushButton>(window, "pushButton_find")->isEnabled());
    QVERIFY(!child<QPushButton>(window, "pushButton_copy")->isEnabled());
    QVERIFY(!child<QPushButton>(window, "pushButton_config")->isEnabled());
}

void tst_MainWindow::automaticRun()
{
    MainWindow window;
    QElapsedTimer clock;
    clock.start();
    waitForAutomaticRun(window);
    // Not before the second is up.
    QVERIFY2(clock.elapsed() >= 900, qPrintable(QString::number(clock.elapsed())));
}

void tst_MainWindow::closingEarlyStartsNoRun()
{
    // The timer is bound to the window: a window gone within the first
    // second must not be called. A run on the freed window would use its
    // freed members, which the sanitizer build reports as a use after free.
    auto *window = new MainWindow;
    QPointer<QListWidget> list = child<QListWidget>(*window, "listWidget");
    delete window;
    QVERIFY(list.isNull());
    QTest::qWait(1500);
}

void tst_MainWindow::findClearsTheList()
{
    MainWindow window;
    waitForAutomaticRun(window);
    auto *list = child<QListWidget>(window, "listWidget");
    addEntry(list, "1.  10.0.0.7:55555 | MAROVENDA", "10.0.0.7", true);
    list->setCurrentRow(0);
    QTest::mouseClick(child<QPushButton>(window, "pushButton_find"), Qt::LeftButton);
    QCOMPARE(list->count(), 0);
}

void tst_MainWindow::watch()
{
    // The engine's rounds have nothing to send here; each Find ends one,
    // and the test hands the engine the replies.
    MainWindow window(nullptr, MainWindow::NoAutomaticSearch);
    auto *finder = window.findChild<DeviceFinder *>();
    QVERIFY(finder);
    qint64 clock = QDateTime(QDate(2026, 12, 8), QTime(10, 15, 30)).toMSecsSinceEpoch();
    finder->setClock([&clock]() { return clock; });
    auto *list = child<QListWidget>(window, "listWidget");
    auto *status = child<QStatusBar>(window, "statusbar");
    auto *watchButton = child<QPushButton>(window, "pushButton_watch");
    QVERIFY(!watchButton->toolTip().isEmpty());
    addEntry(list, "1.  192.0.2.1:55555 | before watching", "192.0.2.1", true);

    QTest::mouseClick(watchButton, Qt::LeftButton);
    QVERIFY(watchButton->isChecked());
    QCOMPARE(list->count(), 0);
    const QHostAddress device("192.0.2.10");
    const QByteArray reply = Rig::identityReply(Rig::Identity(), device.toIPv4Address());
    finder->takeReply(ListIdentityPort, reply, device, ListIdentityPort, 0);
    // Entries come a frame later, all of a moment's replies together.
    QCOMPARE(list->count(), 0);
    QTRY_COMPARE(list->count(), 1);
    QCOMPARE(status->currentMessage(), QString("Watching: 1 device(s) online"));

    const QBrush greyed = list->palette().brush(QPalette::Disabled, QPalette::Text);
    QStringList cells;
    // The round it answered in, then three without it.
    for (int round = 0; round <= 3; ++round) {
        clock += 5000;
        QTest::mouseClick(child<QPushButton>(window, "pushButton_find"), Qt::LeftButton);
        QCOMPARE(list->item(0)->data(Qt::ForegroundRole).isValid(), round == 3);
    }
    // Offline: greyed, still enabled and selectable, with its times.
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->foreground(), greyed);
    QVERIFY(list->item(0)->flags() & Qt::ItemIsEnabled);
    QVERIFY(list->item(0)->flags() & Qt::ItemIsSelectable);
    QCOMPARE(status->currentMessage(), QString("Watching: 0 device(s) online, 1 offline"));
    // The list's style sheet paints entries white; the offline one is
    // painted in its own colour all the same, beside one that is online.
    const QHostAddress online("192.0.2.17");
    finder->takeReply(ListIdentityPort, Rig::identityReply(Rig::Identity(), online.toIPv4Address()), online,
                      ListIdentityPort, 0);
    QTRY_COMPARE(list->count(), 2);
    list->setCurrentRow(-1);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage shot = list->viewport()->grab().toImage();
    const auto brightest = [&shot, list](int row) {
        int lightness = 0;
        const QRect rect = list->visualItemRect(list->item(row)) & shot.rect();
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.left(); x <= rect.right(); ++x)
                lightness = qMax(lightness, shot.pixelColor(x, y).lightness());
        return lightness;
    };
    QCOMPARE(brightest(1), 255);
    QVERIFY2(qAbs(brightest(0) - greyed.color().lightness()) < 8, qPrintable(QString::number(brightest(0))));
    const auto record = [&]() { return *DeviceListEvents::record(*finder, list->item(0)); };
    cells = DeviceSupport::toolTipCells(DeviceListEvents::toolTip(record(), DevicePlace()));
    QVERIFY2(cells.join('|').contains("Offline since|10:15:50|Last seen|10:15:30"), qPrintable(cells.join('|')));

    // Back: the mark goes, the tooltip says since when.
    clock += 1000;
    finder->takeReply(ListIdentityPort, reply, device, ListIdentityPort, 0);
    QVERIFY(!list->item(0)->data(Qt::ForegroundRole).isValid());
    QCOMPARE(status->currentMessage(), QString("Watching: 2 device(s) online"));
    cells = DeviceSupport::toolTipCells(DeviceListEvents::toolTip(record(), DevicePlace()));
    QVERIFY2(cells.join('|').contains("Back since|10:15:51"), qPrintable(cells.join('|')));
    QVERIFY(!cells.contains("Offline since"));

    // Another module at that address, alone in the next round: the entry
    // takes its identity.
    QTest::mouseClick(child<QPushButton>(window, "pushButton_find"), Qt::LeftButton);
    Rig::Identity other;
    other.serialNumber = 0x77;
    other.productName = "Replacement";
    finder->takeReply(ListIdentityPort, Rig::identityReply(other, device.toIPv4Address()), device, ListIdentityPort, 0);
    QTest::mouseClick(child<QPushButton>(window, "pushButton_find"), Qt::LeftButton);
    QVERIFY2(list->item(0)->text().startsWith("1.  192.0.2.10:55555 | \"Replacement\""),
             qPrintable(list->item(0)->text()));
    cells = DeviceSupport::toolTipCells(DeviceListEvents::toolTip(record(), DevicePlace()));
    QVERIFY2(cells.join('|').contains("Changed|10:15:51: serial number 0 to 77"), qPrintable(cells.join('|')));

    // Watch off keeps the list; a plain Find then starts anew.
    QTest::mouseClick(watchButton, Qt::LeftButton);
    QVERIFY(!watchButton->isChecked());
    QCOMPARE(list->count(), 2);
    QTest::mouseClick(child<QPushButton>(window, "pushButton_find"), Qt::LeftButton);
    QCOMPARE(list->count(), 0);
}

void tst_MainWindow::listedAddressesFollowTheList()
{
    // An entry's record is the finder's, found by the entry's address,
    // whoever changes the list.
    MainWindow window(nullptr, MainWindow::NoAutomaticSearch);
    auto *finder = window.findChild<DeviceFinder *>();
    QVERIFY(finder);
    auto *list = child<QListWidget>(window, "listWidget");
    QListWidgetItem *first = addEntry(list, textRecord(1, "192.0.2.1", 55555, "MAROVENDA a"));
    QListWidgetItem *second = addEntry(list, textRecord(2, "192.0.2.2", 55555, "MAROVENDA b"));
    QVERIFY(first && second);
    QCOMPARE(DeviceListEvents::record(*finder, first), &finder->record(0));
    QCOMPARE(DeviceListEvents::record(*finder, second), &finder->record(1));
    // A device the finder lists once is listed once.
    QVERIFY(!finder->listRecord(textRecord(3, "192.0.2.2", 55555, "MAROVENDA c")));
    QCOMPARE(finder->count(), 2);
    second->setData(AddressRole, QStringLiteral("192.0.2.3"));
    QCOMPARE(DeviceListEvents::record(*finder, second), nullptr);
    second->setData(AddressRole, QStringLiteral("192.0.2.2"));
    // With the first entry gone the second device's entry is no longer in
    // its row; a change of the device still reaches it.
    delete list->takeItem(0);
    second->setText("stale");
    emit finder->deviceChanged(1);
    QCOMPARE(second->text(), finder->record(1).line());
    // As Find does: a cleared list lists nothing, and an entry made by hand
    // for an address the finder no longer lists has no record.
    QTest::mouseClick(child<QPushButton>(window, "pushButton_find"), Qt::LeftButton);
    QCOMPARE(list->count(), 0);
    QCOMPARE(DeviceListEvents::record(*finder, addEntry(list, "1.  192.0.2.1:55555 | a", "192.0.2.1", true)), nullptr);
}

void tst_MainWindow::selection_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("copyEnabled");
    QTest::addColumn<bool>("configEnabled");

    // Rows: text-protocol entry (flag true), EtherNet/IP entry without a
    // page (flag false), an entry without the flag.
    QTest::newRow("flag true") << 0 << true << true;
    QTest::newRow("flag false") << 1 << true << false;
    QTest::newRow("no flag") << 2 << true << false;
    QTest::newRow("no current entry") << -1 << false << false;
}

void tst_MainWindow::selection()
{
    QFETCH(int, row);
    QFETCH(bool, copyEnabled);
    QFETCH(bool, configEnabled);

    MainWindow window;
    waitForAutomaticRun(window);
    auto *list = child<QListWidget>(window, "listWidget");
    addEntry(list, "1.  10.0.0.7:55555 | MAROVENDA", "10.0.0.7", true);
    addEntry(list, "2.  10.0.0.8:44818 | Drive 1.2 | 00001234", "10.0.0.8", false);
    addEntry(list, "3.  10.0.0.9:55555 | other", "10.0.0.9", QVariant());

    // Start from the opposite state, so every row must change something.
    list->setCurrentRow(row == 0 ? 1 : 0);
    list->setCurrentRow(row);
    QCOMPARE(child<QPushButton>(window, "pushButton_copy")->isEnabled(), copyEnabled);
    QCOMPARE(child<QPushButton>(window, "pushButton_config")->isEnabled(), configEnabled);
}

void tst_MainWindow::selectionSlotNeedsTheList()
{
    MainWindow window;
    waitForAutomaticRun(window);
    auto *list = child<QListWidget>(window, "listWidget");
    auto *copy = child<QPushButton>(window, "pushButton_copy");
    auto *config = child<QPushButton>(window, "pushButton_config");
    addEntry(list, "1.  10.0.0.7:55555 | MAROVENDA", "10.0.0.7", true);
    list->setCurrentRow(0);

    // Called directly, not by the list's signal: nothing changes.
    copy->setEnabled(false);
    config->setEnabled(false);
    QVERIFY(QMetaObject::invokeMethod(&window, "on_listWidget_itemSelectionChanged"));
    QVERIFY(!copy->isEnabled());
    QVERIFY(!config->isEnabled());
}

void tst_MainWindow::copy_data()
{
    QTest::addColumn<QVariant>("record");
    QTest::addColumn<QString>("copied");

    // The address and the port the line shows, whatever the reply holds.
    QTest::newRow("text entry") << QVariant::fromValue(textRecord(12, "192.168.1.20", 44818, "Drive 10.9.9.9:1 | x"))
                                << "192.168.1.20:44818";
    // An EtherNet/IP device shows the text probe's port, not the one it
    // answered from.
    QTest::newRow("EtherNet/IP entry") << QVariant::fromValue(identityRecord(3, "10.1.2.3", {})) << "10.1.2.3:55555";
    // An entry without a record: nothing is copied, nothing shown.
    QTest::newRow("no record") << QVariant() << QString();
}

void tst_MainWindow::copy()
{
    QFETCH(QVariant, record);
    QFETCH(QString, copied);

    MainWindow window;
    waitForAutomaticRun(window);
    auto *list = child<QListWidget>(window, "listWidget");
    auto *status = child<QStatusBar>(window, "statusbar");
    if (record.isValid())
        addEntry(list, record.value<DeviceRecord>());
    else
        addEntry(list, "1.  10.0.0.7:55555 | MAROVENDA", "10.0.0.7", true);
    list->setCurrentRow(0);

    const QString untouched = "clipboard before the click";
    QApplication::clipboard()->setText(untouched);
    status->showMessage("previous message");
    QTest::mouseClick(child<QPushButton>(window, "pushButton_copy"), Qt::LeftButton);

    if (copied.isEmpty()) {
        QCOMPARE(QApplication::clipboard()->text(), untouched);
        QCOMPARE(status->currentMessage(), QString("previous message"));
    } else {
        QCOMPARE(QApplication::clipboard()->text(), copied);
        QCOMPARE(status->currentMessage(), QString("IP address copied to clipboard"));
        // Shown until the next message: the status bar runs a timer of its
        // own only for a message with a timeout.
        for (const QTimer *timer : status->findChildren<QTimer *>())
            QVERIFY(!timer->isActive());
    }
}

void tst_MainWindow::openConfig()
{
    MainWindow window;
    waitForAutomaticRun(window);
    auto *list = child<QListWidget>(window, "listWidget");
    addEntry(list, "1.  192.168.100.254:55555 | MAROVENDA", "192.168.100.254", true);
    list->setCurrentRow(0);

    auto *config = child<QPushButton>(window, "pushButton_config");
    {
        UrlCatcher catcher("http");
        QTest::mouseClick(config, Qt::LeftButton);
        // The bare address: no port, no trailing slash.
        QCOMPARE(catcher.urls, QList<QUrl>{QUrl("http://192.168.100.254")});
    }
    auto *status = child<QStatusBar>(window, "statusbar");
    QCOMPARE(status->currentMessage(), NoNetwork);

    // Without a handler the offscreen platform, like X11 without a browser,
    // cannot hand the page on: said until the next message.
    QTest::mouseClick(config, Qt::LeftButton);
    QCOMPARE(status->currentMessage(), QString("Could not open http://192.168.100.254"));
    for (const QTimer *timer : status->findChildren<QTimer *>())
        QVERIFY(!timer->isActive());
}

namespace {

// One entry of each kind: text protocol, EtherNet/IP with and without a
// configuration page. Control characters in the first line must not break
// the copied list.
const char *const actionEntries[][3] = {
    {"1.  10.0.0.7:55555 | MAROVENDA\tA\r\nB\u2028C", "10.0.0.7", "true"},
    {"2.  10.0.0.8:55555 | \"Opener\" (3.7) S/N: A1B2C3", "10.0.0.8", "true"},
    {"3.  10.0.0.9:55555 | \"Drive\" (1.0) S/N: 0", "10.0.0.9", "false"},
};
const char allEntries[] = "1.  10.0.0.7:55555 | MAROVENDA A  B C\n"
                          "2.  10.0.0.8:55555 | \"Opener\" (3.7) S/N: A1B2C3\n"
                          "3.  10.0.0.9:55555 | \"Drive\" (1.0) S/N: 0\n";

// The records of actionEntries; their lines must be those above.
void addActionEntries(QListWidget *list)
{
    const QList<DeviceRecord> records = {
        textRecord(1, "10.0.0.7", 55555, "MAROVENDA\tA\r\nB\u2028C"),
        identityRecord(2, "10.0.0.8", {1, 12, 2, 3, 7, 0, 0xA1B2C3, "Opener"}),
        identityRecord(3, "10.0.0.9", {1, 12, 4, 1, 0, 0, 0, "Drive"}),
    };
    for (int row = 0; row < records.size(); ++row) {
        QCOMPARE(addEntry(list, records.at(row))->text(), QString::fromUtf8(actionEntries[row][0]));
        QCOMPARE(records.at(row).configAvailable(), QByteArray(actionEntries[row][2]) == "true");
    }
}

QPoint rowCenter(QListWidget *list, int row)
{
    return list->visualItemRect(list->item(row)).center();
}

// Runs open(), which must open the list's context menu, and returns its
// entries ("text" or "text (disabled)"). Chooses the entry named choose
// with a click, or closes the menu when there is no such enabled entry.
QStringList runMenu(const std::function<void()> &open, const QString &choose = QString())
{
    QStringList entries;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        QAction *chosen = nullptr;
        for (QAction *action : menu->actions()) {
            entries.append(action->text() + (action->isEnabled() ? "" : " (disabled)"));
            if (action->text() == choose && action->isEnabled())
                chosen = action;
        }
        if (chosen)
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(chosen).center());
        else
            QTest::keyClick(menu, Qt::Key_Escape);
    });
    timer.start(0);
    open();
    return entries;
}

void sendContextMenu(QListWidget *list, const QPoint &pos)
{
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, list->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(list->viewport(), &event);
}

} // namespace

void tst_MainWindow::listActions_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("status");

    const char *const kinds[] = {"text", "EtherNet/IP with config", "EtherNet/IP without config"};
    for (int row = 0; row < 3; ++row) {
        const QString address = actionEntries[row][1];
        const bool config = QByteArray(actionEntries[row][2]) == "true";
        const QString page = config ? "http://" + address : QString();
        const QString copied = address + ":55555";
        const QString copiedStatus = "IP address copied to clipboard";
        const auto add = [&](const char *action) -> QTestData & {
            return QTest::addRow("%s, %s", kinds[row], action) << row << QString(action);
        };
        add("double-click") << page << QString() << NoNetwork;
        add("Enter") << page << QString() << NoNetwork;
        add("Copy key") << QString() << copied << copiedStatus;
        add("Refresh key") << QString() << QString() << "cleared";
        add("Copy IP address") << QString() << copied << copiedStatus;
        add("Open config") << page << QString() << NoNetwork;
        add("Copy entry") << QString() << QString::fromUtf8(actionEntries[row][0]) << NoNetwork;
        add("Copy all entries") << QString() << QString(allEntries) << NoNetwork;
    }
}

void tst_MainWindow::listActions()
{
    QFETCH(int, row);
    QFETCH(QString, action);
    QFETCH(QString, url);
    QFETCH(QString, clipboard);
    QFETCH(QString, status);

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    waitForAutomaticRun(window);
    auto *list = child<QListWidget>(window, "listWidget");
    addActionEntries(list);
    // The entries came as found devices, counted in the status bar; it says
    // again what the run said, which an action that says nothing keeps.
    child<QStatusBar>(window, "statusbar")->showMessage(NoNetwork);
    // Another entry is current: the action must take the entry it is given.
    list->setCurrentRow((row + 1) % 3);
    QApplication::clipboard()->setText("untouched");
    UrlCatcher catcher("http");

    QWidget *viewport = list->viewport();
    const QPoint pos = rowCenter(list, row);
    if (action == "double-click") {
        QTest::mouseClick(viewport, Qt::LeftButton, {}, pos);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, pos);
    } else if (action == "Enter") {
        QTest::mouseClick(viewport, Qt::LeftButton, {}, pos);
        QTest::keyClick(list, Qt::Key_Return);
    } else if (action == "Copy key") {
        QTest::mouseClick(viewport, Qt::LeftButton, {}, pos);
        QTest::keySequence(list, QKeySequence(QKeySequence::Copy));
    } else if (action == "Refresh key") {
        // Anywhere in the window, here on a button.
        QTest::keySequence(child<QPushButton>(window, "pushButton_copy"), QKeySequence(QKeySequence::Refresh));
    } else {
        runMenu([&] { sendContextMenu(list, pos); }, action);
    }

    if (status == "cleared") {
        QCOMPARE(list->count(), 0);
        return;
    }
    QCOMPARE(list->currentRow(), row);
    QCOMPARE(catcher.urls, url.isEmpty() ? QList<QUrl>() : QList<QUrl>{QUrl(url)});
    QCOMPARE(QApplication::clipboard()->text(), clipboard.isEmpty() ? QString("untouched") : clipboard);
    QCOMPARE(child<QStatusBar>(window, "statusbar")->currentMessage(), status);
}

void tst_MainWindow::statusMessageKept_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<bool>("hover");

    // Opening a menu, resting on each of its entries, closing it: the
    // status bar says what it said before all the while.
    QTest::newRow("menu bar menu opened") << "menuTools" << false;
    QTest::newRow("menu bar menu entries hovered") << "menuHelp" << true;
    QTest::newRow("context menu opened") << "context" << false;
    QTest::newRow("context menu entries hovered") << "context" << true;
}

void tst_MainWindow::statusMessageKept()
{
    QFETCH(QString, menu);
    QFETCH(bool, hover);

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    waitForAutomaticRun(window);
    auto *list = child<QListWidget>(window, "listWidget");
    auto *status = child<QStatusBar>(window, "statusbar");
    QVERIFY(addEntry(list, textRecord(1, "10.0.0.7", 55555, "MAROVENDA")));
    const QString found = "Found 1 device(s)";
    QTRY_COMPARE(status->currentMessage(), found);

    // The message after each step, "no menu" when none opened.
    QStringList seen;
    int hovered = 0;
    const auto inMenu = [&]() {
        auto *popup = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!popup) {
            seen << "no menu";
            return;
        }
        seen << status->currentMessage();
        for (QAction *action : popup->actions()) {
            if (!hover || action->isSeparator())
                continue;
            // The pointer resting on the entry, as the platform reports it;
            // a menu takes the pointer as moved only after a few motions
            // near where it opened.
            for (int motion = 0; motion < 8 && popup->activeAction() != action; ++motion) {
                const QPoint pos = popup->actionGeometry(action).center();
                QMouseEvent move(QEvent::MouseMove, pos, popup->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                                 Qt::NoModifier);
                QApplication::sendEvent(popup, &move);
                QApplication::processEvents();
            }
            if (popup->activeAction() == action)
                ++hovered;
            seen << status->currentMessage();
        }
        QTest::keyClick(popup, Qt::Key_Escape);
    };
    if (menu == "context") {
        QTimer::singleShot(0, &window, inMenu);
        sendContextMenu(list, rowCenter(list, 0));
    } else {
        auto *menuBar = child<QMenuBar>(window, "menubar");
        QTest::mouseClick(menuBar, Qt::LeftButton, {},
                          menuBar->actionGeometry(child<QMenu>(window, qPrintable(menu))->menuAction()).center());
        inMenu();
    }
    QTest::qWait(50);
    seen << status->currentMessage();
    QVERIFY(!hover || hovered > 0);
    QStringList expected;
    for (int step = 0; step < seen.size(); ++step)
        expected << found;
    QCOMPARE(seen, expected);
}

void tst_MainWindow::contextMenu_data()
{
    QTest::addColumn<QString>("opener");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("emptyList");
    QTest::addColumn<QStringList>("entries");

    const QString save = QString::fromUtf8("Save list\u2026");
    const QString saveDisabled = save + " (disabled)";
    // Save list, a separator, then the networks dialog, always.
    const QStringList networks = {"", QString::fromUtf8("Networks searched\u2026")};
    // Device details and CIP request only for EtherNet/IP entries.
    const QString details = QString::fromUtf8("Device details\u2026");
    const QString request = QString::fromUtf8("CIP request\u2026");
    const QStringList all =
        QStringList{"Copy IP address",       "Open config",      "Copy entry", details + " (disabled)",
                    request + " (disabled)", "Copy all entries", save}
        + networks;
    const QStringList noConfig = QStringList{"Copy IP address", "Open config (disabled)", "Copy entry", details,
                                             request,           "Copy all entries",       save}
        + networks;
    QTest::newRow("pointer on text entry") << "pointer" << 0 << false << all;
    QTest::newRow("pointer on entry without config") << "pointer" << 2 << false << noConfig;
    QTest::newRow("pointer on EtherNet/IP entry with config")
        << "pointer" << 1 << false
        << QStringList{"Copy IP address", "Open config", "Copy entry", details, request, "Copy all entries", save}
            + networks;
    QTest::newRow("pointer below the entries")
        << "pointer" << -1 << false << QStringList{"Copy all entries", save} + networks;
    QTest::newRow("pointer, empty list") << "pointer" << -1 << true
                                         << QStringList{"Copy all entries (disabled)", saveDisabled} + networks;
    QTest::newRow("Menu key") << "Menu" << 2 << false << noConfig;
    QTest::newRow("Shift+F10") << "Shift+F10" << 0 << false << all;
    QTest::newRow("Menu key, no current entry")
        << "Menu" << -1 << false << QStringList{"Copy all entries", save} + networks;
}

void tst_MainWindow::contextMenu()
{
    QFETCH(QString, opener);
    QFETCH(int, row);
    QFETCH(bool, emptyList);
    QFETCH(QStringList, entries);

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    waitForAutomaticRun(window);
    auto *list = child<QListWidget>(window, "listWidget");
    if (!emptyList)
        addActionEntries(list);

    QStringList shown;
    if (opener == "pointer") {
        const QPoint pos = row < 0 ? QPoint(5, list->viewport()->height() - 5) : rowCenter(list, row);
        shown = runMenu([&] { sendContextMenu(list, pos); });
    } else {
        list->setCurrentRow(row);
        shown = runMenu([&] { QTest::keySequence(list, QKeySequence(opener)); });
    }
    QCOMPARE(shown, entries);
    // The entry the menu was for is current. (Without one, the list makes
    // its first entry current when it gets the focus back.)
    if (row >= 0)
        QCOMPARE(list->currentRow(), row);
}

void tst_MainWindow::actionsWithoutCurrentEntry()
{
    // After Find has cleared the list the buttons may still be enabled;
    // both actions then do nothing.
    MainWindow window;
    waitForAutomaticRun(window);
    auto *copy = child<QPushButton>(window, "pushButton_copy");
    auto *config = child<QPushButton>(window, "pushButton_config");
    copy->setEnabled(true);
    config->setEnabled(true);

    UrlCatcher catcher("http");
    QApplication::clipboard()->setText("untouched");
    QTest::mouseClick(copy, Qt::LeftButton);
    QTest::mouseClick(config, Qt::LeftButton);
    QCOMPARE(QApplication::clipboard()->text(), QString("untouched"));
    QCOMPARE(child<QStatusBar>(window, "statusbar")->currentMessage(), NoNetwork);
    QVERIFY(catcher.urls.isEmpty());
}

namespace {
quint32 ipv4(const char *dotted)
{
    return QHostAddress(QString::fromLatin1(dotted)).toIPv4Address();
}
} // namespace

void tst_MainWindow::assignDialog()
{
    // The rules are AddressAssignments::checkFields' (tst_bootp); the
    // dialog shows the check's text, offers the override for a warning
    // only and enables OK as the check allows.
    const QByteArray mac = AddressAssignments::parseMac("02:aa:00:00:00:01");
    AddressAssignment own{mac, ipv4("10.201.1.60"), 24, 0, {}, QString()};
    AddressAssignment other{AddressAssignments::parseMac("02:aa:00:00:00:09"), ipv4("10.201.1.61"), 24, 0, {}, {}};
    AssignAddressDialog dialog(nullptr, mac, "rp1", {Ipv4Subnet{ipv4("10.201.1.1"), 24}}, {own, other},
                               {ipv4("10.201.1.70")}, own);
    auto *address = dialog.findChild<QLineEdit *>("lineEdit_address");
    auto *overrideBox = dialog.findChild<QCheckBox *>("checkBox_override");
    auto *label = dialog.findChild<QLabel *>("label_check");
    QPushButton *ok = dialog.findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Ok);
    QCOMPARE(address->text(), QString("10.201.1.60"));
    QCOMPARE(label->text(), QString());
    QVERIFY(ok->isEnabled());
    QVERIFY(!overrideBox->isVisibleTo(&dialog));

    dialog.findChild<QLineEdit *>("lineEdit_gateway")->setText("10.201.1.126");
    dialog.findChild<QLineEdit *>("lineEdit_nameServers")->setText(" 10.201.1.53, 10.201.1.54");
    dialog.findChild<QLineEdit *>("lineEdit_hostName")->setText(" press-1 ");
    dialog.findChild<QSpinBox *>("spinBox_prefix")->setValue(25);
    address->setText("10.201.1.20");
    QVERIFY(ok->isEnabled());
    const AddressAssignment made = dialog.assignment();
    QCOMPARE(made.mac, mac);
    QCOMPARE(made.address, ipv4("10.201.1.20"));
    QCOMPARE(made.prefixLength, 25);
    QCOMPARE(made.gateway, ipv4("10.201.1.126"));
    QCOMPARE(made.nameServers, (QVector<quint32>{ipv4("10.201.1.53"), ipv4("10.201.1.54")}));
    QCOMPARE(made.hostName, QString("press-1"));

    address->setText("10.201.1.1");
    QCOMPARE(label->text(), QString("10.201.1.1 is the card's own address."));
    QVERIFY(!ok->isEnabled());
    QVERIFY(!overrideBox->isVisibleTo(&dialog));

    // A warning: OK only once overridden; the override is forgotten with
    // the warning.
    address->setText("10.201.1.70");
    QCOMPARE(label->text(), QString("A device in the list has the address 10.201.1.70."));
    QVERIFY(overrideBox->isVisibleTo(&dialog));
    QVERIFY(!ok->isEnabled());
    overrideBox->setChecked(true);
    QVERIFY(ok->isEnabled());
    address->setText("10.201.1.20");
    QVERIFY(!overrideBox->isChecked());
    QVERIFY(!overrideBox->isVisibleTo(&dialog));
    address->setText("10.201.1.70");
    QVERIFY(!ok->isEnabled());
}

void tst_MainWindow::addressServerDialog()
{
    QTemporaryDir dir;
    MainWindow window(nullptr, MainWindow::NoAutomaticSearch);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *statusLabel = child<QLabel>(window, "label_addressServer");
    QVERIFY(!statusLabel->isVisible());

    child<QAction>(window, "actionAddressServer")->trigger();
    auto *dialog = window.findChild<AddressServerDialog *>();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->isModal());
    auto *serve = dialog->findChild<QPushButton *>("pushButton_serve");
    auto *status = dialog->findChild<QLabel *>("label_status");
    auto *table = dialog->findChild<QTableWidget *>("tableWidget_requests");
    QCOMPARE(serve->text(), QString("Start"));

    // Port 67 taken: the reason shows in the dialog, nothing runs.
    {
        QUdpSocket other;
        QVERIFY(other.bind(QHostAddress::AnyIPv4, AddressServer::ServerPort, QAbstractSocket::ShareAddress));
        serve->click();
        QVERIFY2(status->text().contains("in use by another program"), qPrintable(status->text()));
        QCOMPARE(serve->text(), QString("Start"));
        QVERIFY(!statusLabel->isVisible());
    }
    serve->click();
    QVERIFY2(status->text().isEmpty(), qPrintable(status->text()));
    QCOMPARE(serve->text(), QString("Stop"));
    QVERIFY(statusLabel->isVisible());

    // Closing the dialog leaves the server on; opening it again brings the
    // same dialog back.
    dialog->findChild<QPushButton *>("pushButton_close")->click();
    QVERIFY(!dialog->isVisible());
    QVERIFY(statusLabel->isVisible());
    child<QAction>(window, "actionAddressServer")->trigger();
    QCOMPARE(window.findChildren<AddressServerDialog *>().size(), 1);
    QVERIFY(dialog->isVisible());

    // A malformed file is refused with its line number; a good one lists
    // its MACs before they ask.
    const QString bad = dir.filePath("bad.csv");
    const QString good = dir.filePath("good.csv");
    QFile badFile(bad);
    QVERIFY(badFile.open(QIODevice::WriteOnly));
    badFile.write("mac_address,ip_address,prefix,gateway,dns,host_name\n02:aa:00:00:00:01,10.0.0,24,,,\n");
    badFile.close();
    QFile goodFile(good);
    QVERIFY(goodFile.open(QIODevice::WriteOnly));
    // Loopback is no usable card: nothing can be served on 127.0.0.0/8.
    goodFile.write("mac_address,ip_address,prefix,gateway,dns,host_name\n02:aa:00:00:00:01,127.0.0.20,8,,,\n");
    goodFile.close();
    QString toLoad = bad;
    AddressServerDialog::askOpenFileName = [&toLoad](QWidget *, const QString &) { return toLoad; };
    dialog->findChild<QPushButton *>("pushButton_load")->click();
    QVERIFY2(status->text().contains("Line 2"), qPrintable(status->text()));
    QCOMPARE(table->rowCount(), 0);
    toLoad = good;
    dialog->findChild<QPushButton *>("pushButton_load")->click();
    QVERIFY2(status->text().contains("no subnet"), qPrintable(status->text()));
    QCOMPARE(table->rowCount(), 0);

    // Saved as the server holds them.
    const QString saved = dir.filePath("saved.csv");
    SaveList::askFileName = [&saved](QWidget *, const QString &, const QString &, const QString &, QString *) {
        return saved;
    };
    dialog->findChild<QPushButton *>("pushButton_save")->click();
    QFile savedFile(saved);
    QVERIFY(savedFile.open(QIODevice::ReadOnly));
    QCOMPARE(savedFile.readAll(), AddressAssignments::toCsv({}));

    // Quitting stops the server: port 67 is free again.
    serve->click();
    QCOMPARE(serve->text(), QString("Start"));
    QVERIFY(!statusLabel->isVisible());
    serve->click();
    QVERIFY(statusLabel->isVisible());
}

void tst_MainWindow::detailsDialog()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    waitForAutomaticRun(window);
    auto *list = child<QListWidget>(window, "listWidget");
    addActionEntries(list);
    const auto dialogs = [&window]() { return window.findChildren<DeviceDetailsDialog *>(); };

    // Not for a text-protocol entry.
    list->setCurrentRow(0);
    QTest::keyClick(list, Qt::Key_Return, Qt::AltModifier);
    QCOMPARE(dialogs().size(), 0);

    // Alt+Enter opens the entry's dialog, which reads at once and lets
    // the window go on.
    list->setCurrentRow(2);
    QTest::keyClick(list, Qt::Key_Return, Qt::AltModifier);
    QCOMPARE(dialogs().size(), 1);
    DeviceDetailsDialog *dialog = dialogs().first();
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->isModal());
    QCOMPARE(dialog->windowTitle(), QString("Device details - Drive (10.0.0.9)"));
    QCOMPARE(dialog->findChild<QLabel *>("label_status")->text(), QString::fromUtf8("Reading\u2026"));
    QVERIFY(!dialog->findChild<QPushButton *>("pushButton_refresh")->isEnabled());
    QVERIFY(!dialog->findChild<QPushButton *>("pushButton_changeIp")->isEnabled());

    // Asked again, from the keys or the menu: the same dialog, raised.
    QTest::keyClick(list, Qt::Key_Enter, Qt::AltModifier | Qt::KeypadModifier);
    runMenu([&] { sendContextMenu(list, rowCenter(list, 2)); }, QString::fromUtf8("Device details\u2026"));
    QCOMPARE(dialogs(), QList<DeviceDetailsDialog *>{dialog});
    // Another device has a dialog of its own.
    runMenu([&] { sendContextMenu(list, rowCenter(list, 1)); }, QString::fromUtf8("Device details\u2026"));
    QCOMPARE(dialogs().size(), 2);

    // Nothing answers in this namespace: the reading ends with the reason,
    // and the table stays empty.
    QTRY_VERIFY_WITH_TIMEOUT(dialog->findChild<QPushButton *>("pushButton_refresh")->isEnabled(), 5000);
    QVERIFY(dialog->findChild<QLabel *>("label_status")->text().contains("10.0.0.9"));
    QCOMPARE(dialog->findChild<QTableWidget *>("tableWidget_details")->rowCount(), 0);

    // Closed, it is gone; the next request makes a new one.
    dialog->close();
    QTRY_COMPARE(dialogs().size(), 1);

    // CIP request: for the entry's device, one dialog per device, beside
    // the window; none for a text-protocol entry (its entry is disabled).
    const QString request = QString::fromUtf8("CIP request\u2026");
    const auto requestDialogs = [&window]() { return window.findChildren<CipRequestDialog *>(); };
    runMenu([&] { sendContextMenu(list, rowCenter(list, 0)); }, request);
    QCOMPARE(requestDialogs().size(), 0);
    runMenu([&] { sendContextMenu(list, rowCenter(list, 2)); }, request);
    QCOMPARE(requestDialogs().size(), 1);
    CipRequestDialog *requestDialog = requestDialogs().first();
    QVERIFY(requestDialog->isVisible());
    QVERIFY(!requestDialog->isModal());
    QCOMPARE(requestDialog->windowTitle(), QString("CIP request - 10.0.0.9"));
    QCOMPARE(requestDialog->deviceAddress(), QHostAddress("10.0.0.9"));
    runMenu([&] { sendContextMenu(list, rowCenter(list, 2)); }, request);
    QCOMPARE(requestDialogs(), QList<CipRequestDialog *>{requestDialog});
    runMenu([&] { sendContextMenu(list, rowCenter(list, 1)); }, request);
    QCOMPARE(requestDialogs().size(), 2);
}

void tst_MainWindow::ipSettingsCheck_data()
{
    ipSettingsCheckRows();
}

void tst_MainWindow::ipSettingsCheck()
{
    QFETCH(int, method);
    QFETCH(QStringList, fields);
    QFETCH(QString, problem);
    QFETCH(QString, warning);

    // What the rule makes of each row is tst_ipsettings' part.
    const QVector<quint32> others = {QHostAddress("10.0.0.8").toIPv4Address()};

    // The dialog says the same as it is typed, and lets Write go only for
    // settings that can be written (a warning once overridden). The device
    // has DHCP and another host name, so every row changes something.
    DeviceDetails current;
    current.address = QHostAddress("10.0.0.30");
    current.tcpip.control = CIP::CipTcpIpInterface::Dhcp;
    current.tcpip.capability = 0xFF;
    current.tcpip.hostName.text = "old";
    current.tcpip.present = {CIP::CipTcpIpInterface::ConfigurationCapability,
                             CIP::CipTcpIpInterface::ConfigurationControl, CIP::CipTcpIpInterface::HostName};
    IpSettingsDialog dialog(nullptr, current, others);
    dialog.findChild<QComboBox *>("comboBox_method")->setCurrentIndex(method);
    const char *const names[] = {"lineEdit_address", "lineEdit_netmask", "lineEdit_gateway", "lineEdit_dns1",
                                 "lineEdit_dns2",    "lineEdit_domain",  "lineEdit_hostName"};
    for (int i = 0; i < 7; ++i) {
        auto *edit = dialog.findChild<QLineEdit *>(names[i]);
        edit->clear();
        QTest::keyClicks(edit, i == 6 && fields.at(i) == "-" ? QString("old") : fields.at(i));
    }
    auto *write = dialog.findChild<QPushButton *>("pushButton_write");
    auto *override = dialog.findChild<QCheckBox *>("checkBox_override");
    QCOMPARE(dialog.findChild<QLabel *>("label_check")->text(), problem.isEmpty() ? warning : problem);
    QCOMPARE(write->isEnabled(), problem.isEmpty() && warning.isEmpty());
    QCOMPARE(override->isVisibleTo(&dialog), problem.isEmpty() && !warning.isEmpty());
    if (override->isVisibleTo(&dialog)) {
        override->setChecked(true);
        QVERIFY(write->isEnabled());
    }

    // Write asks first; cancelled, nothing is handed on.
    QSignalSpy confirmed(&dialog, &IpSettingsDialog::confirmed);
    if (write->isEnabled()) {
        dialog.show();
        QTest::mouseClick(write, Qt::LeftButton);
        auto *box = dialog.findChild<QMessageBox *>("messageBox_confirm");
        QVERIFY(box);
        QVERIFY(box->informativeText().contains("may become unreachable from this computer"));
        // The summary names the old and the new value.
        QVERIFY2(box->informativeText().contains(method == int(IpSettings::Static) ? "Address from: DHCP -> static"
                                                                                   : "Host name: old -> io-9"),
                 qPrintable(box->informativeText()));
        box->button(QMessageBox::Cancel)->click();
        QCOMPARE(confirmed.size(), 0);
        QVERIFY(dialog.isVisible());
    }
}

void tst_MainWindow::networksDialog()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *label = child<QLabel>(window, "label_networks");
    QVERIFY(label);
    QCOMPARE(label->text(), QString());
    waitForAutomaticRun(window);
    // Only loopback here: nothing to search, and the status bar says so.
    QCOMPARE(label->text(), QString("No network to search"));
    QCOMPARE(child<QStatusBar>(window, "statusbar")->currentMessage(), NoNetwork);
    QVERIFY(!child<QProgressBar>(window, "progressBar_sweep")->isVisible());
    QVERIFY(!child<QPushButton>(window, "pushButton_cancelSweep")->isVisible());
    QVERIFY2(label->toolTip().contains(QRegularExpression("<td>[^<]+</td><td>&nbsp;127\\.0\\.0\\.1/[0-9]+</td>"
                                                          "<td>&nbsp;loopback</td>")),
             qPrintable(label->toolTip()));

    QTest::mouseClick(label, Qt::LeftButton);
    auto *dialog = window.findChild<QDialog *>("NetworksDialog");
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->isModal());
    QCOMPARE(dialog->windowTitle(), QString("Networks searched"));
    auto *table = dialog->findChild<QTableWidget *>("tableWidget_networks");
    QStringList headers;
    for (int c = 0; c < table->columnCount(); ++c)
        headers.append(table->horizontalHeaderItem(c)->text());
    QCOMPARE(
        headers,
        (QStringList{"Card", "Address", "Probes to", "Searched or left out", "Text probe", "ListIdentity", "Devices"}));
    // Only the loopback card's addresses (its name is "lo" on Linux, another
    // under wine), each left out.
    const QStringList loopback = tableRows(table);
    QVERIFY(!loopback.isEmpty());
    QVERIFY2(
        loopback.filter(QRegularExpression("^[^|]+ \\| [^|]+ \\|  \\| loopback \\|  \\|  \\|  \\(disabled\\)$")).size()
            == loopback.size(),
        qPrintable(loopback.join('\n')));
    QVERIFY(!loopback.filter(QRegularExpression("^[^|]+ \\| 127\\.0\\.0\\.1/")).isEmpty());

    // Typed text is checked as it goes; Enter adds a network that can be
    // searched, shows its row at once and never closes the dialog.
    auto *edit = dialog->findChild<QLineEdit *>("lineEdit_network");
    auto *check = dialog->findChild<QLabel *>("label_networkCheck");
    auto *add = dialog->findChild<QPushButton *>("pushButton_add");
    edit->setFocus();
    QTest::keyClicks(edit, "10.40x.8.0/14");
    QCOMPARE(edit->text(), QString("10.40.8.0/14"));
    QCOMPARE(check->text(), QString("The prefix must be /16 to /30"));
    QVERIFY(!add->isEnabled());
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(dialog->isVisible());
    QCOMPARE(tableRows(table), loopback);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, "22");
    QVERIFY(add->isEnabled());
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(dialog->isVisible());
    QCOMPARE(edit->text(), QString());
    const QString added = "routed | 10.40.8.0/22 | 10.40.11.255, then each of 10.40.8.1 to 10.40.11.254 | ";
    QCOMPARE(tableRows(table),
             loopback + QStringList(added + "added: searched from the next Find on |  |  |  (disabled)"));
    // The same network again, or one inside it, is refused with its reason.
    QTest::keyClicks(edit, "10.40.9.0/24");
    QCOMPARE(check->text(), QString("10.40.9.0/24 overlaps 10.40.8.0/22, which is added already"));
    QTest::keyClick(edit, Qt::Key_Enter);
    QVERIFY(dialog->isVisible());
    QCOMPARE(table->rowCount(), 3);

    // The open dialog follows the next run, which sends nothing here.
    QTest::mouseClick(child<QPushButton>(window, "pushButton_find"), Qt::LeftButton);
    QCOMPARE(tableRows(table),
             loopback + QStringList(added + "not searched: no usable network connection |  |  |  (disabled)"));
    QCOMPARE(label->text(), QString("No network to search"));

    // Close hides it; the list's context menu opens it again.
    QTest::mouseClick(dialog->findChild<QPushButton *>("pushButton_close"), Qt::LeftButton);
    QTRY_VERIFY(!window.findChild<QDialog *>("NetworksDialog"));
    auto *list = child<QListWidget>(window, "listWidget");
    runMenu([&] { sendContextMenu(list, QPoint(5, 5)); }, QString::fromUtf8("Networks searched\u2026"));
    dialog = window.findChild<QDialog *>("NetworksDialog");
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(dialog->findChild<QTableWidget *>("tableWidget_networks")->rowCount(), 3);
}

void tst_MainWindow::helpWebsite()
{
    MainWindow window;
    UrlCatcher catcher("https");
    child<QAction>(window, "actionWebsite")->trigger();
    QCOMPARE(catcher.urls, QList<QUrl>{QUrl(NODESPOTTER_WEBSITE)});
}

void tst_MainWindow::helpAbout()
{
    MainWindow window;
    auto *about = child<QAction>(window, "actionAbout");

    // Opened twice: each time a fresh modal dialog, a child of the window,
    // gone as soon as it is closed, and one missing-file line in the log.
    QList<QPointer<AboutDialog>> seen;
    for (int opening = 1; opening <= 2; ++opening) {
        bool wasModal = false;
        QTimer::singleShot(0, &window, [&] {
            auto *dialog = qobject_cast<AboutDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            seen.append(dialog);
            wasModal = dialog->isModal() && dialog->parent() == &window;
            QTest::mouseClick(dialog->findChild<QPushButton *>("pushButton_accept"), Qt::LeftButton);
        });
        // Should the dialog not be found above, close whatever is modal so
        // the test fails instead of hanging.
        QTimer::singleShot(5000, &window, [] {
            if (QWidget *modal = QApplication::activeModalWidget())
                modal->close();
        });
        about->trigger();

        QCOMPARE(seen.size(), opening);
        QVERIFY(wasModal);
        QVERIFY(seen.last().isNull());
        QCOMPARE(messages.count(missingStyleFileLine), opening);
    }
}

namespace {

DeviceRecord withIdentities(DeviceRecord record, const QList<Rig::Identity> &identities)
{
    for (const Rig::Identity &identity : identities)
        record.addIdentity(DeviceSupport::identityItem(identity));
    return record;
}

DevicePlace place(const QString &card, const char *cardAddress, int prefix, bool onSubnet, bool tableRead,
                  const QByteArray &mac)
{
    DevicePlace place;
    place.cardName = card;
    place.cardAddress = Rig::ipv4(cardAddress);
    place.cardPrefixLength = prefix;
    place.onLocalSubnet = onSubnet;
    place.neighboursRead = tableRead;
    place.hardwareAddress = QByteArray::fromHex(mac);
    return place;
}

// A neighbour table that holds what the test gives it.
class FixedNeighbourTable : public NeighbourTable
{
public:
    FixedNeighbourTable(bool available, const QVector<Neighbour> &entries)
        : available(available)
        , entries(entries)
    { }
    bool isAvailable() const override { return available; }
    QVector<Neighbour> read() const override { return entries; }

private:
    bool available;
    QVector<Neighbour> entries;
};

} // namespace

void tst_MainWindow::toolTip_data()
{
    QTest::addColumn<DeviceRecord>("record");
    QTest::addColumn<DevicePlace>("place");
    QTest::addColumn<QStringList>("labels");
    // "label=value" of the rows that matter here, a value's lines joined by
    // line breaks.
    QTest::addColumn<QStringList>("values");

    const DevicePlace lan1 = place("lan1", "10.231.1.1", 24, true, true, "027201010001");
    const QStringList identityLabels = {
        "Vendor ID", "Device type",    "Product code",          "Revision",     "Serial number", "Status",
        "State",     "Socket address", "Encapsulation version", "Network card", "MAC address"};
    const auto identity = [](quint16 deviceType, quint16 status, quint8 state) {
        // Reports the address it answers from.
        return identityRecord(1, "10.231.1.50", {1, deviceType, 4, 1, 0, status, 0x1111, "Drive", -1, state},
                              Rig::ipv4("10.231.1.50"));
    };
    const QString healthy = "0x0000\nNot owned, Not configured, Extended device status 0";
    const QStringList faultLabels = QStringList("Fault") + identityLabels;

    // The first, last and an unknown row of each name table.
    QTest::newRow("first names") << identity(0x00, 0x0000, 0) << lan1 << identityLabels
                                 << QStringList{"Device type=0 (0x0000) Generic Device", "State=0 Nonexistent",
                                                "Status=" + healthy, "Network card=lan1, 10.231.1.1/24",
                                                "MAC address=02:72:01:01:00:01"};
    QTest::newRow("last names") << identity(0xC8, 0x0000, 255) << lan1 << identityLabels
                                << QStringList{"Device type=200 (0x00C8) Embedded Component", "State=255 Default"};
    QTest::newRow("unknown names") << identity(0x01, 0x0000, 6) << lan1 << identityLabels
                                   << QStringList{"Device type=1 (0x0001) Unknown", "State=6 Reserved"};
    QTest::newRow("unknown, high") << identity(0xC9, 0x0000, 254) << lan1 << identityLabels
                                   << QStringList{"Device type=201 (0x00C9) Unknown", "State=254 Reserved"};
    // Faults by state and by status bit; minor faults are none.
    QTest::newRow("state 4") << identity(0x0C, 0x0000, 4) << lan1 << faultLabels
                             << QStringList{"Fault=Major recoverable fault (state 4)",
                                            "State=4 Major recoverable fault"};
    QTest::newRow("state 5") << identity(0x0C, 0x0000, 5) << lan1 << faultLabels
                             << QStringList{"Fault=Major unrecoverable fault (state 5)"};
    QTest::newRow("status bit 10") << identity(0x0C, 0x0400, 3) << lan1 << faultLabels
                                   << QStringList{"Fault=Major recoverable fault (status bit 10)",
                                                  "Status=0x0400\nNot owned, Not configured, Extended device status "
                                                  "0\nMajor recoverable fault"};
    QTest::newRow("status bit 11, state 5")
        << identity(0x0C, 0x0800, 5) << lan1 << faultLabels
        << QStringList{"Fault=Major unrecoverable fault (state 5)\nMajor unrecoverable fault (status bit 11)"};
    QTest::newRow("minor faults, owned, configured")
        << identity(0x0C, 0x03F5, 3) << lan1 << identityLabels
        << QStringList{"Status=0x03F5\nOwned, Configured, Extended device status 15\nMinor recoverable "
                       "fault\nMinor unrecoverable fault"};

    // Every identity that answered from the address, names escaped.
    const DeviceRecord textEntry = textRecord(4, "10.231.1.50", 55555, "marovenda <i>");
    QTest::newRow("conflict at a text entry")
        << withIdentities(
               textEntry,
               {{1, 12, 4, 1, 0, 0, 0x1111, "Conveyor drive A"}, {1, 12, 4, 1, 0, 0, 0x2222, "Spare <b>\nB"}})
        << lan1 << QStringList{"IP address conflict", "Reply", "Network card", "MAC address"}
        << QStringList{"IP address conflict=\"Conveyor drive A\" S/N: 1111, product code 4, vendor ID 1\n"
                       "\"Spare <b>\\x0AB\" S/N: 2222, product code 4, vendor ID 1",
                       "Reply=marovenda <i>"};
    // One identity at a text entry is no conflict.
    QTest::newRow("text entry and one identity")
        << withIdentities(textEntry, {{1, 12, 4, 1, 0, 0, 0x1111, "Conveyor drive A"}}) << lan1
        << QStringList{"Reply", "Network card", "MAC address"} << QStringList();
    QTest::newRow("reported address differs")
        << identityRecord(1, "10.231.1.50", {}, Rig::ipv4("192.168.1.50")) << lan1
        << QStringList{"Vendor ID",    "Device type", "Product code",   "Revision",         "Serial number",
                       "Status",       "State",       "Socket address", "Reported address", "Encapsulation version",
                       "Network card", "MAC address"}
        << QStringList{"Reported address=192.168.1.50 is not 10.231.1.50, the address the reply came from"};

    // Where the device sits.
    const QStringList textLabels = {"Reply", "Network card", "MAC address"};
    QTest::newRow("not in the neighbour table")
        << textEntry << place("lan1", "10.231.1.1", 24, true, true, "") << textLabels
        << QStringList{"MAC address=Not in this computer's neighbour table"};
    QTest::newRow("routed") << textEntry << place("", "0.0.0.0", -1, false, true, "") << textLabels
                            << QStringList{"Network card=Unknown",
                                           "MAC address=Not known: the device is not on a subnet of this computer"};
    QTest::newRow("card without IPv4 address")
        << textEntry << place("lan2", "0.0.0.0", -1, false, true, "") << textLabels << QStringList{"Network card=lan2"};
    QTest::newRow("no neighbour table") << textEntry << place("lan1", "10.231.1.1", 24, true, false, "")
                                        << QStringList{"Reply", "Network card"} << QStringList();
}

void tst_MainWindow::toolTip()
{
    QFETCH(DeviceRecord, record);
    QFETCH(DevicePlace, place);
    QFETCH(QStringList, labels);
    QFETCH(QStringList, values);

    const QStringList cells = DeviceSupport::toolTipCells(DeviceListEvents::toolTip(record, place));
    QStringList shownLabels;
    QMap<QString, QString> shown;
    for (int i = 0; i + 1 < cells.size(); i += 2) {
        shownLabels.append(cells.at(i));
        shown.insert(cells.at(i), cells.at(i + 1));
    }
    QCOMPARE(shownLabels, labels);
    for (const QString &value : values)
        QCOMPARE(value.section('=', 0, 0) + '=' + shown.value(value.section('=', 0, 0)), value);
}

void tst_MainWindow::identityComparison_data()
{
    QTest::addColumn<Rig::Identity>("later");
    QTest::addColumn<bool>("conflict");

    // Vendor ID, product code and serial number tell devices apart; the
    // rest may change between two replies of one device.
    const Rig::Identity listed{1, 12, 4, 1, 0, 0, 0x1111, "Drive"};
    const auto changed = [&listed](const std::function<void(Rig::Identity &)> &change) {
        Rig::Identity identity = listed;
        change(identity);
        return identity;
    };
    QTest::newRow("same") << listed << false;
    QTest::newRow("vendor ID") << changed([](Rig::Identity &i) { i.vendorId = 2; }) << true;
    QTest::newRow("product code") << changed([](Rig::Identity &i) { i.productCode = 5; }) << true;
    QTest::newRow("serial number") << changed([](Rig::Identity &i) { i.serialNumber = 0x1112; }) << true;
    QTest::newRow("name, revision, type, status, state") << changed([](Rig::Identity &i) {
        i.productName = "Renamed";
        i.revisionMinor = 9;
        i.deviceType = 2;
        i.status = 0x0400;
        i.state = 4;
    }) << false;
}

void tst_MainWindow::identityComparison()
{
    QFETCH(Rig::Identity, later);
    QFETCH(bool, conflict);

    DeviceRecord record = identityRecord(1, "10.231.1.50", {1, 12, 4, 1, 0, 0, 0x1111, "Drive"});
    QCOMPARE(record.addIdentity(DeviceSupport::identityItem(later)), conflict);
    QCOMPARE(record.hasConflict(), conflict);
    QCOMPARE(record.identities.size(), conflict ? 2 : 1);
    // The same again changes nothing.
    QVERIFY(!record.addIdentity(DeviceSupport::identityItem(later)));
    QCOMPARE(record.identities.size(), conflict ? 2 : 1);
    // The entry's own identity stays first, and with it its line.
    QCOMPARE(record.line(), QStringLiteral("1.  10.231.1.50:55555 | \"Drive\" (1.0) S/N: 1111"));
}

void tst_MainWindow::devicePlace_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("interfaceIndex"); // -1: loopback's
    QTest::addColumn<bool>("tableAvailable");
    QTest::addColumn<QString>("card");
    QTest::addColumn<bool>("onSubnet");
    QTest::addColumn<QString>("mac");

    // This namespace holds only loopback, 127.0.0.1/8, so its subnet is the
    // one local subnet here.
    QTest::newRow("arrival card") << "127.0.0.9" << -1 << true << "lo, 127.0.0.1/8" << true << "02:00:00:00:00:01";
    QTest::newRow("card by subnet") << "127.0.0.9" << 0 << true << "lo, 127.0.0.1/8" << true << "02:00:00:00:00:02";
    QTest::newRow("card gone") << "127.0.0.9" << 4000 << true << "" << true << "02:00:00:00:00:02";
    QTest::newRow("routed") << "10.1.2.3" << 0 << true << "" << false << "";
    QTest::newRow("routed through a card") << "10.1.2.3" << -1 << true << "lo, 127.0.0.1/8" << false << "";
    QTest::newRow("no table") << "127.0.0.9" << -1 << false << "lo, 127.0.0.1/8" << true << "";
}

void tst_MainWindow::devicePlace()
{
    QFETCH(QString, address);
    QFETCH(int, interfaceIndex);
    QFETCH(bool, tableAvailable);
    QFETCH(QString, card);
    QFETCH(bool, onSubnet);
    QFETCH(QString, mac);

    // Linux names the loopback card "lo"; wine gives it a name of its own.
    int loopback = 0;
    for (const QNetworkInterface &candidate : QNetworkInterface::allInterfaces()) {
        if (candidate.flags().testFlag(QNetworkInterface::IsLoopBack) && candidate.index() > 0) {
            loopback = candidate.index();
            card.replace(QLatin1String("lo, "), candidate.humanReadableName() + QLatin1String(", "));
            break;
        }
    }
    QVERIFY(loopback > 0);
    if (interfaceIndex < 0)
        interfaceIndex = loopback;
    // The device's address known on another interface first, then on the
    // arrival card; and a routed address the table holds (as it may hold a
    // router's).
    const FixedNeighbourTable table(tableAvailable,
                                    {{Rig::ipv4("127.0.0.9"), loopback + 1, QByteArray::fromHex("020000000002")},
                                     {Rig::ipv4("127.0.0.9"), loopback, QByteArray::fromHex("020000000001")},
                                     {Rig::ipv4("10.1.2.3"), loopback, QByteArray::fromHex("020000000003")}});
    const DevicePlace place = DeviceLocator(table).place(Rig::ipv4(address), interfaceIndex);
    QCOMPARE(place.cardText(), card);
    QCOMPARE(place.onLocalSubnet, onSubnet);
    QCOMPARE(place.neighboursRead, tableAvailable);
    QCOMPARE(place.hardwareAddressText(), mac);
}

void tst_MainWindow::localeText_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    // Qt 5's own rendering; Qt 6 renames the fields of the last three.
    const char *const rows[][2] = {
        {"C", "QLocale(C, Default, Default)"},
        {"en_US", "QLocale(English, Latin, United States)"},
        {"cs_CZ", "QLocale(Czech, Latin, Czech Republic)"},
        {"bn_IN", "QLocale(Bengali, Bengali, India)"},
        {"ky_KG", "QLocale(Kirghiz, Cyrillic, Kyrgyzstan)"},
    };
    for (const auto &row : rows)
        QTest::newRow(row[0]) << QString::fromLatin1(row[0]) << QString::fromLatin1(row[1]);
}

void tst_MainWindow::localeText()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QCOMPARE(localeDebugText(QLocale(name)), text);
}

namespace {

DevicePlace place(const char *card, const char *cardAddress, int prefix, bool local, const char *mac)
{
    DevicePlace place;
    place.cardName = QString::fromLatin1(card);
    place.cardAddress = Rig::ipv4(cardAddress);
    place.cardPrefixLength = prefix;
    place.onLocalSubnet = local;
    place.neighboursRead = true;
    place.hardwareAddress = QByteArray::fromHex(mac);
    return place;
}

// The columns after the name that only EtherNet/IP entries fill.
const char noIdentity[] = R"("vendor_id": null, "device_type": null, "device_type_name": null, "product_code": null,
    "revision": null, "serial_number": null, "status": null, "state": null, "state_name": null,
    "reported_address": null, "encapsulation_version": null)";

} // namespace

void tst_MainWindow::exportFields_data()
{
    QTest::addColumn<QVariant>("record");
    QTest::addColumn<QVariant>("place");
    QTest::addColumn<QByteArray>("json"); // the device's object
    QTest::addColumn<QByteArray>("csv"); // its row

    const Rig::Identity conveyor{1, 2, 4, 1, 0, 0, 0x1111, "Conveyor drive A"};
    const Rig::Identity spare{1, 2, 4, 1, 0, 0, 0x2222, "Spare drive B"};
    const QVariant lan1 = QVariant::fromValue(place("lan1", "10.0.0.1", 24, true, "027201010001"));
    const QVariant unknown = QVariant::fromValue(DevicePlace());

    QTest::newRow("text") << QVariant::fromValue(textRecord(4, "10.0.0.7", 40000, "marovenda, \"unit\" 1")) << lan1
                          << QByteArray(R"({"number": 4, "address": "10.0.0.7", "port": 40000, "protocol": "text",
                                 "name": "marovenda, \"unit\" 1", )")
            + noIdentity + R"(, "mac_address": "02:72:01:01:00:01", "card": "lan1",
                                 "card_address": "10.0.0.1/24", "conflict": ""})"
                          << QByteArray("4,10.0.0.7,40000,text,\"marovenda, \"\"unit\"\" 1\",,,,,,,,,,,,"
                                        "02:72:01:01:00:01,lan1,10.0.0.1/24,");

    // A faulted device with a hostile name, reached through a router on a
    // card without an IPv4 address; the serial number has all 8 digits.
    Rig::Identity faulted{291, 12, 2, 2, 3, 0x0400, 0xABCDE, "=Drive, \"A\"", -1, 4};
    QTest::newRow("EtherNet/IP") << QVariant::fromValue(identityRecord(2, "10.0.0.8", faulted, Rig::ipv4("192.0.2.9")))
                                 << QVariant::fromValue(place("eth1", "0.0.0.0", -1, false, ""))
                                 << QByteArray(R"({"number": 2, "address": "10.0.0.8", "port": 55555,
        "protocol": "EtherNet/IP", "name": "=Drive, \"A\"", "vendor_id": 291, "device_type": 12,
        "device_type_name": "Communications Adapter", "product_code": 2, "revision": "2.3",
        "serial_number": "000ABCDE", "status": "0x0400", "state": 4, "state_name": "Major recoverable fault",
        "reported_address": "192.0.2.9:44818", "encapsulation_version": 1, "mac_address": null, "card": "eth1",
        "card_address": null, "conflict": ""})")
                                 << QByteArray("2,10.0.0.8,55555,EtherNet/IP,\"'=Drive, \"\"A\"\"\",291,12,"
                                               "Communications Adapter,2,2.3,000ABCDE,0x0400,4,"
                                               "Major recoverable fault,192.0.2.9:44818,1,,eth1,,");

    // Two devices at one address; the spare answering twice is one identity.
    DeviceRecord conflict = identityRecord(5, "10.0.0.50", conveyor);
    conflict.addIdentity(DeviceSupport::identityItem(spare));
    conflict.addIdentity(DeviceSupport::identityItem(spare));
    QTest::newRow("EtherNet/IP with a conflict")
        << QVariant::fromValue(conflict) << unknown
        << QByteArray(R"({"number": 5, "address": "10.0.0.50", "port": 55555, "protocol": "EtherNet/IP",
        "name": "Conveyor drive A", "vendor_id": 1, "device_type": 2, "device_type_name": "AC Drive",
        "product_code": 4, "revision": "1.0", "serial_number": "00001111", "status": "0x0000", "state": 3,
        "state_name": "Operational", "reported_address": "0.0.0.0:44818", "encapsulation_version": 1,
        "mac_address": null, "card": null, "card_address": null,
        "conflict": "\"Spare drive B\" S/N: 00002222, product code 4, vendor ID 1"})")
        << QByteArray("5,10.0.0.50,55555,EtherNet/IP,Conveyor drive A,1,2,AC Drive,4,1.0,00001111,0x0000,3,"
                      "Operational,0.0.0.0:44818,1,,,,"
                      "\"\"\"Spare drive B\"\" S/N: 00002222, product code 4, vendor ID 1\"");

    // A text device and one EtherNet/IP identity at one address are one
    // device; a second identity is a conflict, and so are those not kept.
    DeviceRecord textAndIdentity = textRecord(6, "10.0.0.60", 55555, "marovenda");
    textAndIdentity.addIdentity(DeviceSupport::identityItem(conveyor));
    QTest::newRow("text with one identity")
        << QVariant::fromValue(textAndIdentity) << unknown
        << QByteArray(R"({"number": 6, "address": "10.0.0.60", "port": 55555, "protocol": "text",
            "name": "marovenda", )")
            + noIdentity + R"(, "mac_address": null, "card": null, "card_address": null, "conflict": ""})"
        << QByteArray("6,10.0.0.60,55555,text,marovenda,,,,,,,,,,,,,,,");
    DeviceRecord textConflict = textAndIdentity;
    textConflict.addIdentity(DeviceSupport::identityItem(spare));
    textConflict.unkeptIdentities = 3;
    const char conflictText[] = "\\\"Conveyor drive A\\\" S/N: 00001111, product code 4, vendor ID 1; "
                                "\\\"Spare drive B\\\" S/N: 00002222, product code 4, vendor ID 1; "
                                "3 more reply(s) with another identity";
    QTest::newRow("text with a conflict")
        << QVariant::fromValue(textConflict) << lan1
        << QByteArray(R"({"number": 6, "address": "10.0.0.60", "port": 55555, "protocol": "text",
            "name": "marovenda", )")
            + noIdentity + R"(, "mac_address": "02:72:01:01:00:01", "card": "lan1", "card_address": "10.0.0.1/24",
            "conflict": ")"
            + conflictText + "\"}"
        << QByteArray("6,10.0.0.60,55555,text,marovenda,,,,,,,,,,,,02:72:01:01:00:01,lan1,10.0.0.1/24,")
            + QByteArray(conflictText).replace("\\\"", "\"\"").prepend('"').append('"');
}

void tst_MainWindow::exportFields()
{
    QFETCH(QVariant, record);
    QFETCH(QVariant, place);
    QFETCH(QByteArray, json);
    QFETCH(QByteArray, csv);

    QJsonParseError error{};
    const QJsonObject expected = QJsonDocument::fromJson(json, &error).object();
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
    QCOMPARE(expected.keys().size(), DeviceExport::columns().size());

    const ExportedDevice device{record.value<DeviceRecord>(), place.value<DevicePlace>()};
    const QByteArray document = DeviceExport::json({device, device}, QDateTime());
    const QJsonArray devices = QJsonDocument::fromJson(document).object().value("devices").toArray();
    QCOMPARE(devices.size(), 2);
    QCOMPARE(devices.at(1).toObject(), expected);

    // Columns in order, each field as JSON gives it (numbers as numbers).
    const QVector<QJsonValue> fields = DeviceExport::fields(device.record, device.place);
    QCOMPARE(fields.size(), DeviceExport::columns().size());
    for (int i = 0; i < fields.size(); ++i)
        QCOMPARE(fields.at(i), expected.value(DeviceExport::columns().at(i)));

    const QList<QByteArray> lines = DeviceExport::csv({device}).split('\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(1), csv + '\r');
}

void tst_MainWindow::csvFields_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("field");

    QTest::newRow("plain") << QByteArray("marovenda") << QByteArray("marovenda");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("comma") << QByteArray("a,b") << QByteArray("\"a,b\"");
    QTest::newRow("quotes") << QByteArray("say \"hi\"") << QByteArray("\"say \"\"hi\"\"\"");
    QTest::newRow("only a quote") << QByteArray("\"") << QByteArray("\"\"\"\"");
    QTest::newRow("CRLF") << QByteArray("a\r\nb") << QByteArray("\"a\r\nb\"");
    QTest::newRow("LF") << QByteArray("a\nb") << QByteArray("\"a\nb\"");
    QTest::newRow("CR") << QByteArray("a\rb") << QByteArray("\"a\rb\"");
    // What a spreadsheet would run, kept as text.
    QTest::newRow("formula") << QByteArray("=1+2") << QByteArray("'=1+2");
    QTest::newRow("plus") << QByteArray("+1") << QByteArray("'+1");
    QTest::newRow("minus") << QByteArray("-1") << QByteArray("'-1");
    QTest::newRow("at") << QByteArray("@SUM(A1)") << QByteArray("'@SUM(A1)");
    QTest::newRow("tab") << QByteArray("\tx") << QByteArray("'\tx");
    QTest::newRow("leading CR") << QByteArray("\rx") << QByteArray("\"'\rx\"");
    QTest::newRow("formula with quotes and commas")
        << QByteArray("=HYPERLINK(\"http://x\",\"y\")") << QByteArray("\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\"");
    // An apostrophe the reader would take for the guard gets one more, so
    // that reading the file back gives the text as it was.
    QTest::newRow("apostrophe first") << QByteArray("'=x") << QByteArray("''=x");
    QTest::newRow("two apostrophes") << QByteArray("''x") << QByteArray("'''x");
    QTest::newRow("apostrophe before a letter") << QByteArray("'x") << QByteArray("'x");
    QTest::newRow("apostrophe alone") << QByteArray("'") << QByteArray("'");
    QTest::newRow("not first") << QByteArray("a=b-c") << QByteArray("a=b-c");
    QTest::newRow("after a space") << QByteArray(" =x") << QByteArray(" =x");
    QTest::newRow("line feed first") << QByteArray("\n=x") << QByteArray("\"\n=x\"");
    QTest::newRow("UTF-8") << QByteArray("Z\xc3\xbcrich \xe2\x82\xac") << QByteArray("Z\xc3\xbcrich \xe2\x82\xac");
    QTest::newRow("invalid UTF-8") << QByteArray("a\xff") << QByteArray("a\xef\xbf\xbd");
}

void tst_MainWindow::csvFields()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, field);

    const QByteArray bom = "\xef\xbb\xbf";
    const QByteArray header = "number,address,port,protocol,name,vendor_id,device_type,device_type_name,"
                              "product_code,revision,serial_number,status,state,state_name,reported_address,"
                              "encapsulation_version,mac_address,card,card_address,conflict\r\n";
    QCOMPARE(DeviceExport::csv({}), bom + header);
    const ExportedDevice device{textRecord(1, "10.0.0.7", 55555, reply), DevicePlace()};
    QCOMPARE(DeviceExport::csv({device}), bom + header + "1,10.0.0.7,55555,text," + field + ",,,,,,,,,,,,,,,\r\n");
}

void tst_MainWindow::saveList_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QString>("name"); // in a fresh folder that holds "existing.csv"; empty: cancelled
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("written"); // "csv", "json", or "" for none

    const QString csv = "CSV (*.csv)";
    const QString json = "JSON (*.json)";
    QTest::newRow("menu, CSV") << "menu"
                               << "list.csv" << csv << "csv";
    QTest::newRow("Save key, .json with the CSV filter") << "key"
                                                         << "list.json" << csv << "json";
    QTest::newRow("menu, JSON filter, no extension") << "menu"
                                                     << "list" << json << "json";
    QTest::newRow("upper-case extension") << "key"
                                          << "LIST.CSV" << json << "csv";
    QTest::newRow("over an existing file") << "menu"
                                           << "existing.csv" << csv << "csv";
    QTest::newRow("cancelled") << "menu" << QString() << csv << "";
    QTest::newRow("Save key, empty list") << "empty"
                                          << "list.csv" << csv << "";
    // Root can write anywhere else: a folder that is a file, and a name
    // that leaves no room for the temporary file beside it.
    QTest::newRow("folder is a file") << "menu"
                                      << "existing.csv/list.csv" << csv << "";
    QTest::newRow("existing file, no room for the temporary file") << "key" << QString(251, 'n') + ".csv" << csv << "";
}

void tst_MainWindow::saveList()
{
    QFETCH(QString, trigger);
    QFETCH(QString, name);
    QFETCH(QString, filter);
    QFETCH(QString, written);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QByteArray old = "old contents\n";
    const QString path = name.isEmpty() ? QString() : folder.filePath(name);
    for (const QString &existing : {folder.filePath("existing.csv"), name.size() > 200 ? path : QString()}) {
        QFile file(existing);
        QVERIFY(existing.isEmpty() || (file.open(QIODevice::WriteOnly) && file.write(old) == old.size()));
    }
    const QStringList before = QDir(folder.path()).entryList(QDir::Files);

    int asked = 0;
    const SaveList::FileDialog previous = SaveList::askFileName;
    auto restore = qScopeGuard([previous] { SaveList::askFileName = previous; });
    SaveList::askFileName = [&](QWidget *, const QString &caption, const QString &directory, const QString &filters,
                                QString *selectedFilter) {
        ++asked;
        [&] {
            QCOMPARE(caption, QString("Save list"));
            QCOMPARE(filters, QString("CSV (*.csv);;JSON (*.json)"));
            QCOMPARE(QFileInfo(directory).path(),
                     QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)).path());
            QVERIFY2(QRegularExpression("^devices-20\\d\\d-\\d\\d-\\d\\d-\\d{4}\\.csv$")
                         .match(QFileInfo(directory).fileName())
                         .hasMatch(),
                     qPrintable(directory));
        }();
        *selectedFilter = filter;
        return path;
    };

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    waitForAutomaticRun(window);
    auto *list = child<QListWidget>(window, "listWidget");
    auto *status = child<QStatusBar>(window, "statusbar");
    if (trigger != "empty")
        addActionEntries(list);
    status->showMessage("previous message");
    if (trigger == "menu")
        runMenu([&] { sendContextMenu(list, rowCenter(list, 0)); }, QString::fromUtf8("Save list\u2026"));
    else
        QTest::keySequence(list, QKeySequence(QKeySequence::Save));
    if (QTest::currentTestFailed())
        return;

    QCOMPARE(asked, trigger == "empty" ? 0 : 1);
    const QString shown = QDir::toNativeSeparators(path);
    if (written.isEmpty()) {
        if (name.isEmpty() || trigger == "empty") {
            QCOMPARE(status->currentMessage(), QString("previous message"));
        } else {
            const QString failed = "Could not save " + shown + ": ";
            QVERIFY2(status->currentMessage().startsWith(failed) && status->currentMessage().size() > failed.size(),
                     qPrintable(status->currentMessage()));
        }
        // Nothing written, nothing left behind, nothing replaced.
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), before);
        for (const QString &file : before) {
            QFile existing(folder.filePath(file));
            QVERIFY(existing.open(QIODevice::ReadOnly));
            QCOMPARE(existing.readAll(), old);
        }
        return;
    }

    QCOMPARE(status->currentMessage(), "Saved 3 device(s) to " + shown);
    for (const QTimer *timer : status->findChildren<QTimer *>())
        QVERIFY(!timer->isActive());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray contents = file.readAll();
    if (written == "csv") {
        QVERIFY(contents.startsWith("\xef\xbb\xbfnumber,address,port,"));
        // The first entry's reply holds a line break, so its field is quoted.
        QCOMPARE(contents.count("\r\n"), 5);
        QVERIFY(contents.contains("\r\n3,10.0.0.9,55555,EtherNet/IP,Drive,"));
        return;
    }
    const QJsonObject document = QJsonDocument::fromJson(contents).object();
    QCOMPARE(document.value("program").toString(), QString("Quorvel Node Spotter"));
    QCOMPARE(document.value("version").toString(), QString(NODESPOTTER_VERSION));
    const QDateTime searched = QDateTime::fromString(document.value("searched_at").toString(), Qt::ISODate);
    QVERIFY(searched.isValid());
    QCOMPARE(searched.timeSpec(), Qt::UTC);
    QVERIFY(searched <= QDateTime::currentDateTimeUtc() && searched.secsTo(QDateTime::currentDateTimeUtc()) < 60);
    const QJsonArray devices = document.value("devices").toArray();
    QCOMPARE(devices.size(), 3);
    QCOMPARE(devices.at(0).toObject().value("name").toString(), QString::fromUtf8("MAROVENDA\tA\r\nB\u2028C"));
    QCOMPARE(devices.at(1).toObject().value("serial_number").toString(), QString("00A1B2C3"));
}

void tst_MainWindow::programEntry_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode"); // -1: still running after its first search
    QTest::addColumn<QString>("output"); // standard output, whole
    QTest::addColumn<QStringList>("log"); // the first lines of standard error

#ifdef Q_OS_WIN
    // The locale comes from the user's settings, the same as this test's.
    const QString locale = QStringLiteral("System locale = ") + localeDebugText(QLocale::system());
#else
    const QString locale = "System locale = QLocale(Czech, Latin, Czech Republic)";
#endif
    QTest::newRow("window") << QStringList() << -1 << QString() << QStringList{locale};
    // This namespace has no usable address: nothing is sent.
    QTest::newRow("--list") << QStringList{"--list"} << 1 << QString()
                            << QStringList{locale, "No usable network address: nothing was sent."};
    QTest::newRow("--list, json, Qt's options")
        << QStringList{"-style", "fusion", "--list", "--format", "json", "--wait", "10"} << 1 << QString()
        << QStringList{locale, "No usable network address: nothing was sent."};
    QTest::newRow("--help") << QStringList{"--help"} << 0
                            << "Usage: .*NodeSpotter(\\.exe)? \\[options\\]\n.*--list.*--format <text\\|csv\\|json>.*"
                               "--wait <MS>.*--version.*"
                            << QStringList();
    QTest::newRow("--version") << QStringList{"--version"} << 0
                               << "Quorvel Node Spotter " + QRegularExpression::escape(NODESPOTTER_VERSION) + "\n"
                               << QStringList();
    // A usage error: the reason, then the usage.
    QTest::newRow("unknown option") << QStringList{"--bogus"} << 2 << QString()
                                    << QStringList{"Unknown option 'bogus'.", "Usage: "};
    QTest::newRow("bad --wait") << QStringList{"--list", "--wait", "soon"} << 2 << QString()
                                << QStringList{"Bad value \"soon\" for --wait: give milliseconds, 0 or more."};
}

void tst_MainWindow::programEntry()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QFETCH(QStringList, log);

    // The program itself, started in this test's network namespace.
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // A GUI-subsystem program on Windows logs to the debugger unless told
    // to use standard error.
    environment.insert(QStringLiteral("QT_FORCE_STDERR_LOGGING"), QStringLiteral("1"));
#ifndef Q_OS_WIN
    // A locale whose names Qt 6 spells differently: the line stays Qt 5's.
    environment.remove(QStringLiteral("LC_ALL"));
    environment.remove(QStringLiteral("LC_NUMERIC"));
    environment.insert(QStringLiteral("LANG"), QStringLiteral("cs_CZ.UTF-8"));
#endif
    // No display at all: everything but the window must run without one.
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    if (exitCode >= 0)
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    program.setProcessEnvironment(environment);
    // NODESPOTTER_EXECUTABLE is absolute, or relative to this test's folder.
    program.start(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(NODESPOTTER_EXECUTABLE)),
                  arguments);
    QVERIFY2(program.waitForStarted(), qPrintable(program.errorString()));
    // Still running after its automatic first search, or ended by itself.
    const bool running = exitCode < 0 ? !program.waitForFinished(2000) : false;
    if (running)
        program.kill();
    const bool finished = program.waitForFinished(20000);
    const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
    const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
    QVERIFY2(finished, qPrintable(errors));
    if (exitCode < 0) {
        QVERIFY2(running, qPrintable(errors));
    } else {
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), exitCode);
    }
    if (output.isEmpty())
        QCOMPARE(out, QString());
    else
        QVERIFY2(QRegularExpression("^" + output + "$", QRegularExpression::DotMatchesEverythingOption)
                     .match(out)
                     .hasMatch(),
                 qPrintable(out));

    // Qt may warn about its own environment before the program writes.
    // Standard error is a text stream on Windows: its lines end in CR LF.
    const QStringList lines = errors.split(QRegularExpression("\r?\n"), Qt::SkipEmptyParts)
                                  .filter(QRegularExpression("^(?!QStandardPaths:)"));
    // The last line expected is the start of its line.
    QVERIFY2(lines.size() >= log.size(), qPrintable(errors));
    for (int i = 0; i < log.size(); ++i) {
        if (i + 1 == log.size())
            QVERIFY2(lines.at(i).startsWith(log.at(i)), qPrintable(lines.at(i)));
        else
            QCOMPARE(lines.at(i), log.at(i));
    }
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
