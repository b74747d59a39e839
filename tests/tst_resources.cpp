#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QtEndian>
#include <QtTest>

// The compiled-in resource bundle: its tree, the exact bytes of the style
// file, the logo files' structure and what the SVG faces draw.
class tst_Resources : public QObject
{
    Q_OBJECT

private slots:
    void tree_data();
    void tree();
    void styleFile();
    void aboutStyleFileIsAbsent();
    void icoFile();
    void icnsFile();
    void svgFaces_data();
    void svgFaces();
};

void tst_Resources::tree_data()
{
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("About") << ":/About" << QStringList{"about_dialog_macos.css"};
    QTest::newRow("NodeSpotter") << ":/NodeSpotter" << QStringList{"Resources"};
    QTest::newRow("Resources") << ":/NodeSpotter/Resources"
                               << QStringList{"core", "quorvel_logo.icns", "quorvel_logo.ico"};
    QTest::newRow("core") << ":/NodeSpotter/Resources/core"
                          << QStringList{"button_24x24.svg", "button_flat_24x24.svg", "button_press_24x24.svg",
                                         "toggle_off_32x20.svg", "toggle_on_32x20.svg"};
}

void tst_Resources::tree()
{
    QFETCH(QString, directory);
    QFETCH(QStringList, entries);

    // Qt keeps resources of its own under ":/", so only ours are listed.
    QCOMPARE(QDir(directory).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name), entries);
}

void tst_Resources::styleFile()
{
    QFile file(":/About/about_dialog_macos.css");
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("QLabel {\r\n\t/*color: red;*/\r\n}\r\n"));
}

void tst_Resources::aboutStyleFileIsAbsent()
{
    // The About dialog looks for this name and must find nothing.
    QVERIFY(!QFile::exists(":About/about_dialog.css"));
    QVERIFY(QFile::exists(":About/about_dialog_macos.css"));
}

void tst_Resources::icoFile()
{
    const QString path = ":/NodeSpotter/Resources/quorvel_logo.ico";
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray ico = file.readAll();
    QVERIFY(ico.size() > 22 + 33);

    const auto *data = reinterpret_cast<const uchar *>(ico.constData());
    // ICONDIR: reserved 0, type 1 (icon), one image.
    QCOMPARE(qFromLittleEndian<quint16>(data), quint16(0));
    QCOMPARE(qFromLittleEndian<quint16>(data + 2), quint16(1));
    QCOMPARE(qFromLittleEndian<quint16>(data + 4), quint16(1));
    // ICONDIRENTRY: width and height 0 stand for 256; 32 bits per pixel;
    // the image fills the rest of the file from offset 22.
    QCOMPARE(data[6], uchar(0));
    QCOMPARE(data[7], uchar(0));
    QCOMPARE(qFromLittleEndian<quint16>(data + 12), quint16(32));
    QCOMPARE(qFromLittleEndian<quint32>(data + 14), quint32(ico.size() - 22));
    QCOMPARE(qFromLittleEndian<quint32>(data + 18), quint32(22));

    // The image is a PNG with 8-bit RGBA pixels (bit depth and colour type
    // at offsets 24 and 25 of its header chunk).
    QVERIFY(ico.mid(22).startsWith("\x89PNG\r\n\x1a\n"));
    QCOMPARE(ico.mid(22 + 24, 2), QByteArray("\x08\x06"));

    QImageReader reader(path);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), QSize(256, 256));
    QVERIFY(image.hasAlphaChannel());
    // The corners are transparent (rounded artwork), the centre is not.
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(128, 128)), 255);
}

namespace {

// The icns run-length code of ARGB elements: a control byte below 0x80 is
// followed by control + 1 literal bytes, one of 0x80 or more repeats the
// next byte control - 0x80 + 3 times. Returns false on a truncated stream.
bool unpackChannel(const QByteArray &in, int &pos, int length, QByteArray &out)
{
    out.clear();
    while (out.size() < length) {
        if (pos >= in.size())
            return false;
        const uchar control = uchar(in.at(pos++));
        if (control < 0x80) {
            const int count = control + 1;
            if (pos + count > in.size())
                return false;
            out += in.mid(pos, count);
            pos += count;
        } else {
            if (pos >= in.size())
                return false;
            out += QByteArray(control - 0x80 + 3, in.at(pos++));
        }
    }
    return out.size() == length;
}

} // namespace

void tst_Resources::icnsFile()
{
    QFile file(":/NodeSpotter/Resources/quorvel_logo.icns");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray icns = file.readAll();
    const auto *data = reinterpret_cast<const uchar *>(icns.constData());
    QVERIFY(icns.startsWith("icns"));
    QCOMPARE(qFromBigEndian<quint32>(data + 4), quint32(icns.size()));

    struct Element
    {
        const char *type;
        int size;
        bool png;
    };
    const Element expected[] = {
        {"ic12", 64, true},   {"ic07", 128, true}, {"ic13", 256, true}, {"ic08", 256, true},
        {"ic04", 16, false},  {"ic14", 512, true}, {"ic09", 512, true}, {"ic05", 32, false},
        {"ic10", 1024, true}, {"ic11", 32, true},  {"info", 0, false},
    };

    int pos = 8;
    for (const Element &element : expected) {
        QVERIFY2(pos + 8 <= icns.size(), element.type);
        QCOMPARE(icns.mid(pos, 4), QByteArray(element.type));
        const int length = int(qFromBigEndian<quint32>(data + pos + 4));
        QVERIFY2(length > 8 && pos + length <= icns.size(), element.type);
        const QByteArray body = icns.mid(pos + 8, length - 8);
        if (element.png) {
            const QImage image = QImage::fromData(body, "PNG");
            QVERIFY2(!image.isNull(), element.type);
            QCOMPARE(image.size(), QSize(element.size, element.size));
        } else if (element.size > 0) {
            QVERIFY(body.startsWith("ARGB"));
            int at = 4;
            QByteArray channel;
            for (int c = 0; c < 4; ++c)
                QVERIFY2(unpackChannel(body, at, element.size * element.size, channel), element.type);
            QCOMPARE(at, body.size());
        } else {
            QVERIFY(body.startsWith("bplist00"));
        }
        pos += length;
    }
    QCOMPARE(pos, icns.size());
}

void tst_Resources::svgFaces_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<QColor>("colour");

    // Sampled on a ten-fold rendering: the face, the light and the dark
    // side of the bevel.
    const QString button = "button_24x24.svg";
    QTest::newRow("raised face") << button << QSize(24, 24) << QPoint(120, 120) << QColor("#3c3c3c");
    QTest::newRow("raised top left light") << button << QSize(24, 24) << QPoint(10, 60) << QColor("#666666");
    QTest::newRow("raised bottom right dark") << button << QSize(24, 24) << QPoint(230, 180) << QColor("#1a1a1a");

    const QString press = "button_press_24x24.svg";
    QTest::newRow("pressed face") << press << QSize(24, 24) << QPoint(120, 120) << QColor("#333333");
    QTest::newRow("pressed top left dark") << press << QSize(24, 24) << QPoint(10, 60) << QColor("#1a1a1a");
    QTest::newRow("pressed bottom right light") << press << QSize(24, 24) << QPoint(230, 180) << QColor("#666666");

    const QString flat = "button_flat_24x24.svg";
    QTest::newRow("flat face") << flat << QSize(24, 24) << QPoint(120, 120) << QColor("#3c3c3c");
    QTest::newRow("flat top band") << flat << QSize(24, 24) << QPoint(120, 10) << QColor("#666666");
    QTest::newRow("flat left band") << flat << QSize(24, 24) << QPoint(10, 120) << QColor("#666666");
    QTest::newRow("flat bottom band") << flat << QSize(24, 24) << QPoint(120, 230) << QColor("#1a1a1a");
    QTest::newRow("flat right band") << flat << QSize(24, 24) << QPoint(230, 120) << QColor("#1a1a1a");

    QTest::newRow("switch off dot") << "toggle_off_32x20.svg" << QSize(32, 20) << QPoint(100, 100) << QColor("#1b1b1b");
    QTest::newRow("switch off track") << "toggle_off_32x20.svg" << QSize(32, 20) << QPoint(220, 100)
                                      << QColor("#1b1b1b");
    QTest::newRow("switch off rim") << "toggle_off_32x20.svg" << QSize(32, 20) << QPoint(160, 4) << QColor("#676767");
    QTest::newRow("switch on dot") << "toggle_on_32x20.svg" << QSize(32, 20) << QPoint(220, 100) << QColor("#81bd54");
    QTest::newRow("switch on track") << "toggle_on_32x20.svg" << QSize(32, 20) << QPoint(40, 100) << QColor("#1b1b1b");
}

void tst_Resources::svgFaces()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);
    QFETCH(QPoint, at);
    QFETCH(QColor, colour);

    if (!QImageReader::supportedImageFormats().contains("svg"))
        QFAIL("Qt's SVG image plug-in is missing (Debian package libqt5svg5); the buttons draw without faces");

    QImageReader reader(":/NodeSpotter/Resources/core/" + name);
    QCOMPARE(reader.size(), size);
    reader.setScaledSize(size * 10);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));

    const QColor seen = image.pixelColor(at);
    QVERIFY2(qAbs(seen.red() - colour.red()) <= 2 && qAbs(seen.green() - colour.green()) <= 2
                 && qAbs(seen.blue() - colour.blue()) <= 2 && seen.alpha() == 255,
             qPrintable(seen.name(QColor::HexArgb) + " instead of " + colour.name()));
}

QTEST_MAIN(tst_Resources)
#include "tst_resources.moc"
