// plumora-cli: inspect, check, extract and create gestures and GIFs without a window.
//
// Each command is one function in a topic file (gifcommands.cpp, ...), listed
// in that file's table; this file only picks the command and turns errors
// into messages and exit codes.
#include "command.h"
#include "platform/atomicfile.h"
#include "platform/errors.h"

#include <QCoreApplication>
#include <QFileDevice>
#include <QStringDecoder>
#include <QTextStream>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>

namespace {

bool asksForHelp(const QStringList &args)
{
    for (const QString &arg : args) {
        if (arg == QLatin1String("--"))
            return false;
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h"))
            return true;
    }
    return false;
}

int runTool(const QStringList &args, cli::Console &io)
{
    if (args.isEmpty()) {
        io.err << "plumora-cli: no command given\n\n";
        cli::printToolUsage(io.err);
        return cli::kExitUsage;
    }
    const QString &name = args.first();
    if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
        cli::printToolUsage(io.out);
        return cli::kExitOk;
    }
    if (name == QLatin1String("--version")) {
        io.out << "plumora-cli " << PLUMORA_VERSION << '\n';
        return cli::kExitOk;
    }
    const cli::Command *command = cli::findCommand(name);
    if (!command) {
        io.err << "plumora-cli: unknown command \"" << name << "\"; try \"plumora-cli help\"\n";
        return cli::kExitUsage;
    }
    const QStringList rest = args.mid(1);
    if (asksForHelp(rest)) {
        cli::printCommandUsage(*command, io.out);
        return cli::kExitOk;
    }
    // A save that could not keep something of the file it replaced (its
    // owner) still succeeds; the user is told as a warning.
    plumora::setSaveNoticeHandler([&io, command](const QString &notice) {
        io.err << "plumora-cli " << command->name << ": warning: " << notice << '\n';
    });
    try {
        return command->run(cli::parseArguments(*command, rest), io);
    } catch (const cli::UsageError &error) {
        io.err << "plumora-cli " << command->name << ": " << error.message() << '\n'
               << "Usage: plumora-cli " << command->name << ' ' << command->synopsis << '\n'
               << "See \"plumora-cli help " << command->name << "\".\n";
        return cli::kExitUsage;
    } catch (const PlumoraError &error) {
        io.err << "plumora-cli " << command->name << ": " << error.message() << '\n';
        return cli::kExitFailure;
    } catch (const std::exception &error) {
        io.err << "plumora-cli " << command->name << ": " << error.what() << '\n';
        return cli::kExitFailure;
    }
}

// An argument's bytes as text, each byte that is not part of valid UTF-8
// shown as \xhh, so that the message shows which bytes are meant.
QString shownBytes(const QByteArray &raw)
{
    QString shown;
    for (qsizetype i = 0; i < raw.size();) {
        QString character;
        qsizetype length = 1;
        for (; length <= 4 && i + length <= raw.size(); ++length) {
            QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
            character = decoder.decode(raw.mid(i, length));
            if (!decoder.hasError())
                break;
            character.clear();
        }
        if (character.isEmpty()) {
            character = QStringLiteral("\\x%1").arg(uchar(raw[i]), 2, 16, QLatin1Char('0'));
            length = 1;
        }
        shown += character;
        i += length;
    }
    return shown;
}

// Writes out what standard output still holds. A result that did not all
// reach its file or pipe (a full disk, say) is a failure: reason receives the
// system's word for it.
bool finishOutput(QTextStream &out, QString &reason)
{
    out.flush();
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0 && !std::ferror(stdout);
    const int error = errno;
    if (out.status() == QTextStream::Ok && flushed)
        return true;
    const auto *file = qobject_cast<const QFileDevice *>(out.device());
    reason = file && file->error() != QFileDevice::NoError
        ? file->errorString()
        : QString::fromLocal8Bit(std::strerror(error ? error : EIO));
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    // The tool's own arguments are taken before Qt sees any: Qt would remove
    // the ones it knows itself ("--reverse", "-style X", ...) from argv.
    // Every argument must be valid UTF-8, the encoding Qt takes names and
    // texts in: other bytes have no text form, and a file name or a text
    // holding them would silently become another (each bad byte replaced),
    // so such an argument is refused before the command runs.
    QStringList args;
    int undecodable = 0;
    for (int i = 1; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
        if (!undecodable && args.last().toLocal8Bit() != QByteArray(argv[i]))
            undecodable = i;
    }
    static int qtArgc = 1;
    static char *qtArgv[] = { argv[0], nullptr };
    // No command shows anything, and pictures are drawn into images only: a
    // QCoreApplication is enough, so the tool never touches a display or a
    // windowing platform.
    QCoreApplication app(qtArgc, qtArgv);
    QCoreApplication::setApplicationName(QStringLiteral("plumora-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PLUMORA_VERSION));

    QTextStream out(stdout);
    QTextStream err(stderr);
    cli::Console io { out, err };
    if (undecodable) {
        err << "plumora-cli: argument " << undecodable << " (\"" << shownBytes(QByteArray(argv[undecodable]))
            << "\") is not valid UTF-8; file names and texts must be UTF-8\n";
        err.flush();
        return cli::kExitUsage;
    }
    int code = runTool(args, io);
    if (QString reason; !finishOutput(out, reason)) {
        err << "plumora-cli: write error: " << reason << '\n';
        if (code == cli::kExitOk)
            code = cli::kExitFailure;
    }
    err.flush();
    return code;
}
