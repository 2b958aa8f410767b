// harbex-render: the offscreen browser that renders pages built by scripts for the
// parse worker. It reads request frames on its standard input and answers each with
// one reply frame on its standard output (see net/HXRenderProtocol.h), one page at a
// time, and leaves when its input ends. Its browser's own messages go to standard
// error, never into the answers.
//
//   harbex-render                       serve requests on standard input and output
//   harbex-render --visible-text FILE   print the text a person sees in a saved page,
//                                       loaded from disk with the network blocked
//
// HARBEX_RENDER_ABORT_ON: a test seam; the program aborts when asked to render an
// address that contains this text, as a crashing browser would.

#include <QApplication>
#include <QSocketNotifier>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "app/HXRenderer.h"
#include "net/HXRenderProtocol.h"

namespace
{

bool WriteAll(int fd, const std::string& bytes)
{
    std::size_t written = 0;
    while (written < bytes.size())
    {
        const ssize_t sent = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        written += static_cast<std::size_t>(sent);
    }
    return true;
}

// The browser needs a display of some kind; the crawl has none. Run as root, its
// sandbox cannot start and must be off.
void PrepareEnvironment()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

// The request frames read so far, taken one at a time.
class TRequestQueue
{
public:
    // False when the input has ended or failed.
    bool ReadFrom(int fd)
    {
        char chunk[65536];
        for (;;)
        {
            const ssize_t got = ::read(fd, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return true;
            if (got <= 0)
                return false;
            m_buffer.append(chunk, static_cast<std::size_t>(got));
        }
    }
    // The next whole frame's payload; false when none is complete. A frame announcing
    // more than the protocol allows ends the program (see main).
    bool Next(std::string& payload, bool& broken)
    {
        broken = false;
        if (m_buffer.size() < 4)
            return false;
        const std::uint32_t length = hx::FrameLength(reinterpret_cast<const unsigned char*>(m_buffer.data()));
        if (length > hx::kMaxRenderFrame)
        {
            broken = true;
            return false;
        }
        if (m_buffer.size() < 4 + static_cast<std::size_t>(length))
            return false;
        payload = m_buffer.substr(4, length);
        m_buffer.erase(0, 4 + static_cast<std::size_t>(length));
        return true;
    }

private:
    std::string m_buffer;
};

int ShowVisibleText(QApplication& app, const QString& file)
{
    hx::TRenderer renderer;
    int status = 1;
    renderer.ShowSaved(file,
                       [&](const QString& text)
                       {
                           std::fputs(text.toUtf8().constData(), stdout);
                           std::fputs("\n", stdout);
                           // Out now: a pipe's buffer would be lost if the process
                           // ends without the normal exit (a leak check's _exit).
                           std::fflush(stdout);
                           status = 0;
                           app.quit();
                       });
    app.exec();
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    PrepareEnvironment();
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0))
    {
        std::puts("Usage: harbex-render\n"
                  "       harbex-render --visible-text FILE\n"
                  "The offscreen browser of Harbex's \"Render Pages\": started by the copy, it renders\n"
                  "pages it is asked for on standard input and answers on standard output.\n"
                  "--visible-text prints the text a person sees in a saved page, loaded from disk\n"
                  "with the network blocked.");
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "--visible-text") == 0)
    {
        QApplication app(argc, argv);
        return ShowVisibleText(app, QString::fromLocal8Bit(argv[2]));
    }
    if (argc != 1)
    {
        std::fputs("harbex-render: unknown arguments (try --help)\n", stderr);
        return 2;
    }

    // The pipe to the engine is kept apart; standard input and output are given over
    // so nothing else in the process can read requests or write into the answers.
    const int channel = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    if (channel < 0)
        return 2;
    const int nullInput = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (nullInput >= 0)
    {
        ::dup2(nullInput, STDIN_FILENO);
        ::close(nullInput);
    }
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    ::fcntl(channel, F_SETFL, ::fcntl(channel, F_GETFL) | O_NONBLOCK);

    QApplication app(argc, argv);
    hx::TRenderer renderer;
    TRequestQueue requests;
    bool rendering = false;
    const QByteArray abortOn = qgetenv("HARBEX_RENDER_ABORT_ON");

    std::function<void()> next;
    next = [&]
    {
        std::string payload;
        bool broken = false;
        while (!rendering && requests.Next(payload, broken))
        {
            std::optional<hx::TRenderRequest> request = hx::UnpackRequest(payload);
            if (!request)
            {
                hx::TRenderReply refused;
                refused.Status = "the request could not be read";
                if (!WriteAll(channel, hx::PackReply(refused)))
                    app.exit(1);
                continue;
            }
            if (!abortOn.isEmpty() && request->URL.find(abortOn.toStdString()) != std::string::npos)
                std::abort();
            rendering = true;
            renderer.Render(*request,
                            [&](hx::TRenderReply reply)
                            {
                                rendering = false;
                                if (!WriteAll(channel, hx::PackReply(reply)))
                                {
                                    app.exit(1);
                                    return;
                                }
                                next();
                            });
        }
        if (broken)
            app.exit(1);
    };

    QSocketNotifier notifier(channel, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app,
                     [&]
                     {
                         if (!requests.ReadFrom(channel))
                         {
                             // The engine closed the pipe: the run is over.
                             notifier.setEnabled(false);
                             app.quit();
                             return;
                         }
                         next();
                     });
    if (!WriteAll(channel, hx::PackFrame({"ready"})))
        return 1;
    const int status = app.exec();
    ::close(channel);
    return status;
}
