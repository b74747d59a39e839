#include "aboutdialog.h"
#include "projectinfo.h"
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

void tst_AboutDialog::cleanup()
{
    verifyNoFormWarnings();
}

void tst_AboutDialog::slotTable()
{
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
    QCOMPARE(namedChildren(object), children);
}

void tst_AboutDialog::gridCells_data()
{
    QTest::addColumn<QString>("grid");
    QTest::addColumn<int>("firstRow");
    QTest::addColumn<QStringList>("labels");

    // Row by row, a caption in column 0 and its value in column 1.
    QTest::newRow("application") << "grid_app_layout" << 1
                                 << QStringList{"label_name", "label_name_value", "label_version",
                                                "label_version_value"};
    QTest::newRow("contact") << "grid_contact_layout" << 0
                             << QStringList{"label_tele",      "label_tele_value", "label_web",
                                            "label_web_value", "label_email",      "label_email_value"};
}

void tst_AboutDialog::gridCells()
{
    QFETCH(QString, grid);
    QFETCH(int, firstRow);
    QFETCH(QStringList, labels);

    AboutDialog dialog(&parentWindow);
    auto *layout = dialog.findChild<QGridLayout *>(grid);
    QVERIFY(layout);
    QCOMPARE(layout->count(), labels.size());
    QCOMPARE(layout->contentsMargins(), QMargins(6, 6, 6, 6));
    QCOMPARE(layout->columnStretch(1), 1);
    for (int i = 0; i < labels.size(); ++i) {
        const int index = layout->indexOf(dialog.findChild<QLabel *>(labels.at(i)));
        QVERIFY2(index >= 0, qPrintable(labels.at(i)));
        int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
        layout->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
        QVERIFY2(QList<int>({row, column, rowSpan, columnSpan}) == QList<int>({firstRow + i / 2, i % 2, 1, 1}),
                 qPrintable(QString("%1 at %2, %3").arg(labels.at(i)).arg(row).arg(column)));
        QCOMPARE(layout->itemAt(index)->alignment(), Qt::Alignment());
    }
}

void tst_AboutDialog::texts_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("text");

    const char *const rows[][2] = {
        {"header_app_info", "Application information"},
        {"label_name", "Name: "},
        {"label_name_value", "Quorvel Node Spotter"},
        {"label_version", "Version:"},
        {"label_version_value", NODESPOTTER_VERSION},
        {"header_contact_info", "Contact information"},
        {"label_tele", "Telephone: "},
        {"label_tele_value", "+1 555 0142"},
        {"label_web", "Website: "},
        {"label_email", "E-mail: "},
        {"pushButton_accept", "OK"},
    };
    for (const auto &row : rows)
        QTest::newRow(row[0]) << row[0] << row[1];
}

void tst_AboutDialog::texts()
{
    QFETCH(QString, object);
    QFETCH(QString, text);

    AboutDialog dialog(&parentWindow);
    auto *widget = dialog.findChild<QWidget *>(object);
    QVERIFY(widget);
    QCOMPARE(widget->property("text").toString(), text);
    // Only the two headers are bold.
    QCOMPARE(widget->font().bold(), object.startsWith("header_"));
}

void tst_AboutDialog::dialogLayout()
{
    AboutDialog dialog(&parentWindow);
    QCOMPARE(dialog.windowTitle(), QString("About"));
    // The fixed-size layout replaces the form's minimum of 250 x 0 by the
    // size of the content, which is wider.
    QVERIFY(dialog.minimumWidth() >= 250);
    QCOMPARE(dialog.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(dialog.sizePolicy().verticalPolicy(), QSizePolicy::Fixed);

    auto *outer = dialog.findChild<QVBoxLayout *>("verticalLayout");
    QVERIFY(outer);
    QCOMPARE(outer->sizeConstraint(), QLayout::SetFixedSize);
    QCOMPARE(itemNames(outer), (QStringList{"widget", "pushButton_accept"}));
    QCOMPARE(outer->itemAt(1)->alignment(), Qt::Alignment(Qt::AlignRight));
    QCOMPARE(dialog.findChild<QWidget *>("widget")->minimumWidth(), 200);

    // Headers, grids, an 8-pixel fixed gap, the sunken line.
    auto *inner = dialog.findChild<QVBoxLayout *>("verticalLayout_2");
    QVERIFY(inner);
    QCOMPARE(itemNames(inner),
             (QStringList{"header_app_info", "grid_app", "", "line", "header_contact_info", "grid_contact"}));
    QSpacerItem *gap = inner->itemAt(2)->spacerItem();
    QVERIFY(gap);
    QCOMPARE(gap->sizeHint(), QSize(20, 8));
    QCOMPARE(gap->sizePolicy(), QSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed));
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
                             << "https" << NODESPOTTER_WEBSITE << QUrl(NODESPOTTER_WEBSITE);
    QTest::newRow("e-mail") << "label_email_value"
                            << "mailto" << NODESPOTTER_SUPPORT_EMAIL << QUrl("mailto:" NODESPOTTER_SUPPORT_EMAIL);
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
