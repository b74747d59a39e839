#include "climodes.h"

#include "devicedetailstext.h"

#include <QString>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace Cli {

bool writeOut(FILE *stream, const QByteArray &bytes)
{
#ifdef Q_OS_WIN
    _setmode(_fileno(stream), _O_BINARY);
#endif
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) == size_t(bytes.size())
        && std::fflush(stream) == 0;
}

#ifdef Q_OS_WIN
namespace {

BOOL WINAPI consoleControl(DWORD type)
{
    // Runs on a thread of its own: posting an event is safe from there.
    QMetaObject::invokeMethod(QCoreApplication::instance(), "quit", Qt::QueuedConnection);
    // Windows ends the process when this returns from a closing console;
    // the event loop gets a moment to finish first.
    if (type == CTRL_CLOSE_EVENT)
        Sleep(2000);
    return TRUE;
}

} // namespace

void quitOnSignals()
{
    SetConsoleCtrlHandler(consoleControl, TRUE);
}
#else
namespace {

int signalSockets[2] = {-1, -1};

void onSignal(int)
{
    // The one thing a handler may safely do: write a byte, read by the
    // event loop.
    const char byte = 1;
    const ssize_t written = ::write(signalSockets[0], &byte, 1);
    Q_UNUSED(written)
}

} // namespace

void quitOnSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalSockets) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, QCoreApplication::instance(), &QCoreApplication::quit);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
#endif

QByteArray detailsText(const QList<DetailsRow> &rows)
{
    int width = 0;
    for (const DetailsRow &row : rows) {
        if (!row.heading)
            width = std::max(width, int(row.name.size()));
    }
    QString text;
    for (const DetailsRow &row : rows) {
        if (row.heading)
            text += row.name + QLatin1Char('\n');
        else
            text += QLatin1String("  ") + row.name.leftJustified(width) + QLatin1String("  ") + row.value
                + QLatin1Char('\n');
    }
    return text.toLocal8Bit();
}

void writeError(const QString &text)
{
    writeOut(stderr, (text + QLatin1Char('\n')).toLocal8Bit());
}

} // namespace Cli
