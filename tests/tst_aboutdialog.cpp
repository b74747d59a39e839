#include "aboutdialog.h"
#include "testsupport.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QResource>
#include <QVBoxLayout>
#include <QtTest>

using namespace TestSupport;

namespace {

// The form's own sheet: a rule that only holds a comment.
const QString formSheet = QStringLiteral("QLabel[objectName^=\"header_\"] {\n\t/*font: 14pt;*/\n}\n");

} // namespace

// The About dialog: its form, texts, links, layout and the style-file lookup.
class tst_AboutDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void slotTable();
    void creationOrder_data();
    void creationOrder();
    void gridCells_data();
    void gridCells();
    void texts_data();
    void texts();
    void dialogLayout();
    void links_data();
    void links();
    void missingStyleFileIsLogged();
    void styleFileIsApplied();
    void closing_data();
    void closing();

private:
    QWidget parentWindow;
};

void tst_AboutDialog::initTestCase()
{
    recordMessages();
}

void tst_AboutDialog::init()
{
    messages.clear();
}

void tst_AboutDialog::cleanup()
{
    verifyNoFormWarnings();
}

void tst_AboutDialog::slotTable()
{
    QCOMPARE(AboutDialog::staticMetaObject.className(), "AboutDialog");
    QCOMPARE(AboutDialog::staticMetaObject.superClass(), &QDialog::staticMetaObject);
    QCOMPARE(ownMethods(AboutDialog::staticMetaObject), QStringList{"on_pushButton_accept_clicked()"});
}

void tst_AboutDialog::creationOrder_data()
{
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QStringList>("children");

    QTest::newRow("dialog") << "AboutDialog" << QStringList{"verticalLayout", "widget", "pushButton_accept"};
    QTest::newRow("widget") << "widget" << QStringList{"verticalLayout_2",    "header_app_info", "grid_app", "line",
                                                       "header_contact_info", "grid_contact"};
    QTest::newRow("grid_app") << "grid_app"
                              << QStringList{"grid_app_layout", "label_name", "label_version", "label_version_value",
                                             "label_name_value"};
    QTest::newRow("grid_contact") << "grid_contact"
                                  << QStringList{"grid_contact_layout", "label_email", "label_tele_value", "label_tele",
                                                 "label_email_value",   "label_web",   "label_web_value"};
}

void tst_AboutDialog::creationOrder()
{
    QFETCH(QString, parent);
    QFETCH(QStringList, children);

    AboutDialog dialog(&parentWindow);
    QCOMPARE(dialog.objectName(), QString("AboutDialog"));
    QObject *object = parent == "AboutDialog" ? &dialog : dialog.findChild<QObject *>(parent);
    QVERIFY(object);

    // children() keeps creation order; named ones are the form's objects.
    QStringList named;
    for (const QObject *child : object->children()) {
        if (!child->objectName().isEmpty())
            named.append(child->objectName());
    }
    QCOMPARE(named, children);
}

void tst_AboutDialog::gridCells_data()
{
    QTest::addColumn<QString>("grid");
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");

    QTest::newRow("name") << "grid_app_layout"
                          << "label_name" << 1 << 0;
    QTest::newRow("name value") << "grid_app_layout"
                                << "label_name_value" << 1 << 1;
    QTest::newRow("version") << "grid_app_layout"
                             << "label_version" << 2 << 0;
    QTest::newRow("version value") << "grid_app_layout"
                                   << "label_version_value" << 2 << 1;
    QTest::newRow("telephone") << "grid_contact_layout"
                               << "label_tele" << 0 << 0;
    QTest::newRow("telephone value") << "grid_contact_layout"
                                     << "label_tele_value" << 0 << 1;
    QTest::newRow("website") << "grid_contact_layout"
                             << "label_web" << 1 << 0;
    QTest::newRow("website value") << "grid_contact_layout"
                                   << "label_web_value" << 1 << 1;
    QTest::newRow("e-mail") << "grid_contact_layout"
                            << "label_email" << 2 << 0;
    QTest::newRow("e-mail value") << "grid_contact_layout"
                                  << "label_email_value" << 2 << 1;
}

void tst_AboutDialog::gridCells()
{
    QFETCH(QString, grid);
    QFETCH(QString, label);
    QFETCH(int, row);
    QFETCH(int, column);

    AboutDialog dialog(&parentWindow);
    auto *layout = dialog.findChild<QGridLayout *>(grid);
    auto *widget = dialog.findChild<QLabel *>(label);
    QVERIFY(layout);
    QVERIFY(widget);
    const int index = layout->indexOf(widget);
    QVERIFY(index >= 0);
    int r = -1, c = -1, rowSpan = 0, columnSpan = 0;
    layout->getItemPosition(index, &r, &c, &rowSpan, &columnSpan);
    QCOMPARE(r, row);
    QCOMPARE(c, column);
    QCOMPARE(rowSpan, 1);
    QCOMPARE(columnSpan, 1);
    QCOMPARE(layout->itemAt(index)->alignment(), Qt::Alignment());
    QCOMPARE(layout->contentsMargins(), QMargins(6, 6, 6, 6));
    QCOMPARE(layout->columnStretch(1), 1);
}

void tst_AboutDialog::texts_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("text");

    QTest::newRow("header app") << "header_app_info"
                                << "Application information";
    QTest::newRow("name") << "label_name"
                          << "Name: ";
    QTest::newRow("name value") << "label_name_value"
                                << "Quorvel Node Spotter";
    QTest::newRow("version") << "label_version"
                             << "Version:";
    QTest::newRow("version value") << "label_version_value"
                                   << "1.0.3";
    QTest::newRow("header contact") << "header_contact_info"
                                    << "Contact information";
    QTest::newRow("telephone") << "label_tele"
                               << "Telephone: ";
    QTest::newRow("telephone value") << "label_tele_value"
                                     << "+1 555 0142";
    QTest::newRow("website") << "label_web"
                             << "Website: ";
    QTest::newRow("e-mail") << "label_email"
                            << "E-mail: ";
}

void tst_AboutDialog::texts()
{
    QFETCH(QString, label);
    QFETCH(QString, text);

    AboutDialog dialog(&parentWindow);
    QCOMPARE(dialog.windowTitle(), QString("About"));
    auto *widget = dialog.findChild<QLabel *>(label);
    QVERIFY(widget);
    QCOMPARE(widget->text(), text);
    QCOMPARE(widget->font().bold(), label.startsWith("header_"));
    QCOMPARE(dialog.findChild<QPushButton *>("pushButton_accept")->text(), QString("OK"));
}

void tst_AboutDialog::dialogLayout()
{
    AboutDialog dialog(&parentWindow);
    // The fixed-size layout replaces the form's minimum of 250 x 0 by the
    // size of the content, which is wider.
    QVERIFY(dialog.minimumWidth() >= 250);
    QCOMPARE(dialog.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(dialog.sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(dialog.styleSheet(), formSheet);

    auto *outer = dialog.findChild<QVBoxLayout *>("verticalLayout");
    QVERIFY(outer);
    QCOMPARE(outer->sizeConstraint(), QLayout::SetFixedSize);
    QCOMPARE(outer->count(), 2);
    QCOMPARE(outer->itemAt(0)->widget()->objectName(), QString("widget"));
    QCOMPARE(outer->itemAt(1)->widget()->objectName(), QString("pushButton_accept"));
    QCOMPARE(outer->itemAt(1)->alignment(), Qt::Alignment(Qt::AlignRight));
    QCOMPARE(dialog.findChild<QWidget *>("widget")->minimumWidth(), 200);

    // Headers, grids, an 8-pixel fixed gap, the sunken line.
    auto *inner = dialog.findChild<QVBoxLayout *>("verticalLayout_2");
    QVERIFY(inner);
    QCOMPARE(inner->count(), 6);
    const QStringList names{"header_app_info", "grid_app", "", "line", "header_contact_info", "grid_contact"};
    for (int i = 0; i < inner->count(); ++i) {
        QLayoutItem *item = inner->itemAt(i);
        QCOMPARE(item->widget() ? item->widget()->objectName() : QString(), names.at(i));
    }
    QSpacerItem *gap = inner->itemAt(2)->spacerItem();
    QVERIFY(gap);
    QCOMPARE(gap->sizeHint(), QSize(20, 8));
    QCOMPARE(gap->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(gap->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    auto *line = dialog.findChild<QFrame *>("line");
    QCOMPARE(line->frameShape(), QFrame::HLine);
    QCOMPARE(line->frameShadow(), QFrame::Sunken);

    // The user cannot resize it: it takes its content's size.
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.size(), dialog.sizeHint());
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
}

void tst_AboutDialog::links_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QUrl>("url");

    QTest::newRow("website") << "label_web_value"
                             << "https"
                             << "https://www.quorvel.example" << QUrl("https://www.quorvel.example");
    QTest::newRow("e-mail") << "label_email_value"
                            << "mailto"
                            << "support@quorvel.example" << QUrl("mailto:support@quorvel.example");
}

void tst_AboutDialog::links()
{
    QFETCH(QString, label);
    QFETCH(QString, scheme);
    QFETCH(QString, shown);
    QFETCH(QUrl, url);

    AboutDialog dialog(&parentWindow);
    auto *link = dialog.findChild<QLabel *>(label);
    QVERIFY(link);
    QCOMPARE(link->textFormat(), Qt::RichText);
    QVERIFY(link->openExternalLinks());
    const QRegularExpression anchor(
        "<a href=\"([^\"]+)\"><span style=\" text-decoration: underline; color:#007af4;\">([^<]+)</span></a>");
    const QRegularExpressionMatch match = anchor.match(link->text());
    QVERIFY2(match.hasMatch(), qPrintable(link->text()));
    QCOMPARE(QUrl(match.captured(1)), url);
    QCOMPARE(match.captured(2), shown);

    // A click on the link goes to the desktop without any code of ours.
    UrlCatcher catcher(scheme);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QPoint onText(link->contentsRect().left() + 4, link->height() / 2);
    QTest::mouseClick(link, Qt::LeftButton, Qt::NoModifier, onText);
    QCOMPARE(catcher.urls, QList<QUrl>{url});
}

void tst_AboutDialog::missingStyleFileIsLogged()
{
    for (int opening = 1; opening <= 2; ++opening) {
        AboutDialog dialog(&parentWindow);
        QCOMPARE(messages.count(missingStyleFileLine), opening);
        QCOMPARE(dialog.styleSheet(), formSheet);
    }
}

void tst_AboutDialog::styleFileIsApplied()
{
    // A bundle holding ":/About/about_dialog.css" with one colour rule.
    QVERIFY(QResource::registerResource(QStringLiteral(ABOUT_STYLE_RCC)));
    QString sheet;
    QColor versionColour;
    {
        AboutDialog dialog(&parentWindow);
        sheet = dialog.styleSheet();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto *version = dialog.findChild<QLabel *>("label_version_value");
        versionColour = version->palette().color(QPalette::WindowText);
    }
    QVERIFY(QResource::unregisterResource(QStringLiteral(ABOUT_STYLE_RCC)));

    QCOMPARE(sheet, formSheet + "\nQLabel#label_version_value {\n\tcolor: #00e000;\n}\n");
    QCOMPARE(versionColour, QColor("#00e000"));
    QVERIFY(!messages.contains(missingStyleFileLine));
}

void tst_AboutDialog::closing_data()
{
    QTest::addColumn<bool>("clickOk");
    QTest::addColumn<int>("result");

    QTest::newRow("OK") << true << int(QDialog::Accepted);
    QTest::newRow("Escape") << false << int(QDialog::Rejected);
}

void tst_AboutDialog::closing()
{
    QFETCH(bool, clickOk);
    QFETCH(int, result);

    AboutDialog dialog(&parentWindow);
    QTimer::singleShot(0, &dialog, [&dialog, clickOk] {
        if (clickOk)
            QTest::mouseClick(dialog.findChild<QPushButton *>("pushButton_accept"), Qt::LeftButton);
        else
            QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    QCOMPARE(dialog.exec(), result);
}

QTEST_MAIN(tst_AboutDialog)
#include "tst_aboutdialog.moc"
