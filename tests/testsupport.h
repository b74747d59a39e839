#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

// Pieces shared by the widget tests: a record of what Qt logs, the check
// for the warnings that mean a broken form, a catcher for the URLs handed
// to the desktop, and looks at a class's own slots, an object's named
// children, a layout's items and a table's rows.

#include <QDesktopServices>
#include <QLayout>
#include <QList>
#include <QMetaMethod>
#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTableWidget>
#include <QUrl>
#include <QWidget>
#include <QtTest>

#include <utility>

namespace TestSupport {

// Every message logged since the last verifyNoFormWarnings(), passed on to
// Qt's handler.
inline QStringList messages;
inline QtMessageHandler previousHandler = nullptr;

inline void recordMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    messages.append(text);
    previousHandler(type, context, text);
}

// Call once, from initTestCase().
inline void recordMessages()
{
    previousHandler = qInstallMessageHandler(recordMessage);
}

// What the About dialog logs when its optional style file is missing.
inline const QString missingStyleFileLine = QStringLiteral("Nie znaleziono pliku \":About/about_dialog.css\"");

// Call from cleanup(). A renamed object silently loses its slot and a
// broken style sheet its look; Qt only warns about either. Starts the next
// test's record afresh, even when this check fails.
inline void verifyNoFormWarnings()
{
    const QStringList logged = std::exchange(messages, {});
    for (const QString &message : logged)
        QVERIFY2(!message.contains("No matching signal") && !message.contains("Could not parse"), qPrintable(message));
}

// The signatures of the methods a class declares itself, in the order of
// its meta-object's method table, each marked "private slot" or otherwise.
inline QStringList ownMethods(const QMetaObject &meta)
{
    QStringList methods;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        const bool privateSlot = method.methodType() == QMetaMethod::Slot && method.access() == QMetaMethod::Private;
        methods.append(QString::fromLatin1(method.methodSignature()) + (privateSlot ? "" : " (not a private slot)"));
    }
    return methods;
}

// The names of an object's children in creation order, without Qt's own
// helpers (unnamed, or named "_layout" or "qt_...").
inline QStringList namedChildren(const QObject *object)
{
    QStringList names;
    for (const QObject *child : object->children()) {
        const QString name = child->objectName();
        if (!name.isEmpty() && !name.startsWith(QLatin1Char('_')) && !name.startsWith(QLatin1String("qt_")))
            names.append(name);
    }
    return names;
}

// The object names of a layout's widgets in order; "" stands for an item
// without a widget (a spacer in our forms).
inline QStringList itemNames(const QLayout *layout)
{
    QStringList names;
    for (int i = 0; i < layout->count(); ++i) {
        const QWidget *widget = layout->itemAt(i)->widget();
        names.append(widget ? widget->objectName() : QString());
    }
    return names;
}

// A table's rows, each row's cells joined by " | " and marked
// " (disabled)" where a cell of the row is not enabled.
inline QStringList tableRows(const QTableWidget *table)
{
    QStringList rows;
    for (int r = 0; r < table->rowCount(); ++r) {
        QStringList cells;
        bool enabled = true;
        for (int c = 0; c < table->columnCount(); ++c) {
            cells.append(table->item(r, c)->text());
            enabled = enabled && table->item(r, c)->flags().testFlag(Qt::ItemIsEnabled);
        }
        rows.append(cells.join(" | ") + (enabled ? "" : " (disabled)"));
    }
    return rows;
}

// Takes the URLs of one scheme that the code under test hands to the
// desktop, for as long as it lives.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    explicit UrlCatcher(const QString &scheme)
        : scheme(scheme)
    {
        QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(scheme); }

    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls.append(url); }

private:
    const QString scheme;
};

} // namespace TestSupport

#endif // TESTSUPPORT_H
