#pragma once
// Helpers of the fault tests: a scripted answer to every dialog, gesture files
// made with the gesture library, and the faults themselves (a folder that
// refuses writes, a file system that refuses to grow a file).
#include "editor/fitanimationdialog.h"
#include "gesture/gesturetestutil.h"
#include "gesture/zqgesture.h"
#include "platform/ui/dialogs.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QRadioButton>

#include <csignal>
#include <deque>
#include <functional>
#include <optional>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

namespace faults {

// Answers the dialogs in order: a path for a file dialog (empty cancels), a
// button for a message box. Every message box text is kept; the fit dialog
// is taken as it proposes, and its choices' texts are kept. A file dialog
// may run an action after its file is chosen, before the program reads it.
class Script
{
public:
    Script()
    {
        plumora::ui::setDialogResponder([this](QDialog &dialog) { return answer(dialog); });
    }
    ~Script() { plumora::ui::setDialogResponder({}); }
    Script(const Script &) = delete;
    Script &operator=(const Script &) = delete;

    Script &file(const QString &path, std::function<void()> afterChoosing = {})
    {
        m_answers.push_back({ path, QMessageBox::NoButton, std::move(afterChoosing) });
        return *this;
    }
    Script &button(QMessageBox::StandardButton b)
    {
        m_answers.push_back({ {}, b, {} });
        return *this;
    }
    QStringList messages;

private:
    struct Answer
    {
        QString path;
        QMessageBox::StandardButton button;
        std::function<void()> afterChoosing;
    };
    int answer(QDialog &dialog)
    {
        if (auto *box = qobject_cast<QMessageBox *>(&dialog)) {
            messages << box->text();
            if (m_answers.empty() || m_answers.front().button == QMessageBox::NoButton)
                return QMessageBox::Ok;
            const auto b = m_answers.front().button;
            m_answers.pop_front();
            return b;
        }
        if (auto *fit = qobject_cast<TFitAnimationDialog *>(&dialog)) {
            // Taken as the fit proposes; what it offers is noted.
            fit->waitUntilIdle();
            for (const QRadioButton *choice : fit->findChildren<QRadioButton *>())
                messages << choice->text();
            return QDialog::Accepted;
        }
        if (auto *files = qobject_cast<QFileDialog *>(&dialog)) {
            if (m_answers.empty())
                return QDialog::Rejected;
            const Answer a = m_answers.front();
            m_answers.pop_front();
            if (a.path.isEmpty())
                return QDialog::Rejected;
            files->selectFile(a.path);
            if (a.afterChoosing)
                a.afterChoosing();
            return QDialog::Accepted;
        }
        return QDialog::Rejected;
    }
    std::deque<Answer> m_answers;
};

// The bytes of a gesture of three 8 x 6 frames with a tagline and, when
// asked, a sound of `samples` 16-bit samples.
inline QByteArray gestureBytes(const QString &tagline, int samples)
{
    TZQGesture g;
    g.setFrames(gesturetest::frames(8, 6, 3));
    g.setTagline(tagline);
    if (samples > 0)
        gesturetest::loadSound(g, gesturetest::wav(samples));
    return gesturetest::bytesOf(g);
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("<unreadable>");
    return file.readAll();
}

// The names in a folder, hidden ones (temporary files) included.
inline QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Root ignores file modes. A process running as root takes the effective
// user id of "nobody" for the scope, so that modes apply to it as to a user;
// anyone else stays who they are.
class AsOrdinaryUser
{
public:
    AsOrdinaryUser()
    {
        if (geteuid() == 0)
            m_wasRoot = seteuid(kNobody) == 0;
    }
    ~AsOrdinaryUser()
    {
        if (m_wasRoot && seteuid(0) != 0)
            ADD_FAILURE() << "cannot return to the root user";
    }
    AsOrdinaryUser(const AsOrdinaryUser &) = delete;
    AsOrdinaryUser &operator=(const AsOrdinaryUser &) = delete;

private:
    static constexpr uid_t kNobody = 65534;
    bool m_wasRoot = false;
};

// Makes a folder refuse new files for the scope (mode r-x, see
// AsOrdinaryUser). Everything the code under test must still write (the
// settings store) has to be writable by others.
class WritesDenied
{
public:
    explicit WritesDenied(const QString &folder) : m_folder(folder)
    {
        QFile::setPermissions(folder,
            QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
                | QFile::ExeOther);
        m_user.emplace();
    }
    ~WritesDenied()
    {
        m_user.reset();
        QFile::setPermissions(m_folder,
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                | QFile::ReadOther | QFile::ExeOther);
    }
    WritesDenied(const WritesDenied &) = delete;
    WritesDenied &operator=(const WritesDenied &) = delete;

    // Whether a new file in the folder is really refused.
    bool effective() const
    {
        QFile probe(QDir(m_folder).filePath(QStringLiteral("probe")));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            return false;
        }
        return true;
    }

private:
    QString m_folder;
    std::optional<AsOrdinaryUser> m_user;
};

// Stands in for a full device: files of this process cannot grow beyond
// `bytes` for the scope (RLIMIT_FSIZE; a write past it fails with EFBIG
// instead of raising SIGXFSZ). Writes to pipes, where the test output goes,
// are not affected. A real full file system cannot be mounted without
// privileges; for the program both are a write that fails part-way.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        m_set = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool effective() const { return m_set; }

private:
    rlimit m_old {};
    void (*m_oldHandler)(int) = SIG_DFL;
    bool m_set = false;
};

} // namespace faults
