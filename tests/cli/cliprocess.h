#pragma once
// Runs the built plumora-cli and collects what it printed.
#include <QProcess>
#include <QString>
#include <QStringList>

#include <csignal>

#include <gtest/gtest.h>

#include <sys/resource.h>

namespace clitest {

struct CliRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

inline QString cliPath()
{
    return QStringLiteral(PLUMORA_BIN_DIR "/plumora-cli");
}

// fileSizeLimit stands in for a full disk: no file of the tool may grow
// beyond it (a write past it fails with EFBIG).
inline CliRun runCli(const QStringList &args, rlim_t fileSizeLimit = RLIM_INFINITY)
{
    QProcess process;
    if (fileSizeLimit != RLIM_INFINITY)
        process.setChildProcessModifier([fileSizeLimit] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit { fileSizeLimit, fileSizeLimit };
            setrlimit(RLIMIT_FSIZE, &limit);
        });
    process.start(cliPath(), args);
    CliRun run;
    if (!process.waitForStarted(10000)) {
        ADD_FAILURE() << "cannot start " << cliPath().toStdString();
        return run;
    }
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "plumora-cli did not finish: " << args.join(' ').toStdString();
        return run;
    }
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    if (process.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << "plumora-cli crashed: " << args.join(' ').toStdString() << "\n"
                      << run.err.toStdString();
        return run;
    }
    run.exitCode = process.exitCode();
    return run;
}

} // namespace clitest
