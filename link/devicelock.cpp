#include "link/devicelock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv {
namespace {

constexpr int LockFileMode = 0666;
// Longest holder text read from a lock file.
constexpr int HolderTextMax = 256;

bool UsableFolder(const QString &folder)
{
    return !folder.isEmpty() && ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}

QString ProgramName()
{
    if (QCoreApplication::instance() && !QCoreApplication::applicationName().isEmpty())
        return QCoreApplication::applicationName();
    QFile comm(QStringLiteral("/proc/self/comm"));
    if (comm.open(QIODevice::ReadOnly))
        return QString::fromLocal8Bit(comm.readAll()).trimmed();
    return QStringLiteral("unknown");
}

// Opens the lock file without O_CREAT first: in a sticky world-writable
// folder the kernel may refuse O_CREAT on a file another user made
// (fs.protected_regular).  Read-only still allows flock, only the holder
// text cannot be written then.
int OpenLockFile(const QByteArray &path, bool *writable)
{
    *writable = true;
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = ::open(path.constData(), O_RDWR | O_CLOEXEC | O_NOCTTY);
        if (fd >= 0)
            return fd;
        if (errno == EACCES) {
            *writable = false;
            return ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        }
        if (errno != ENOENT)
            return -1;
        fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, LockFileMode);
        if (fd >= 0) {
            ::fchmod(fd, LockFileMode); // whatever the umask, others may lock it too
            return fd;
        }
        if (errno != EEXIST)
            return -1;
        // Made by someone else meanwhile: open that one.
    }
    return -1;
}

QString ReadHolder(int fd)
{
    char text[HolderTextMax + 1] = {};
    const ssize_t n = ::pread(fd, text, HolderTextMax, 0);
    const QString line = n > 0 ? QString::fromUtf8(text, static_cast<int>(n)).trimmed() : QString();
    const int space = line.indexOf(QLatin1Char(' '));
    bool ok = false;
    const qint64 pid = line.left(space).toLongLong(&ok);
    if (space <= 0 || !ok || pid <= 0)
        return QStringLiteral("another program");
    return QStringLiteral("%1 (pid %2)").arg(line.mid(space + 1).simplified()).arg(pid);
}

} // namespace

QString DeviceLockFolder()
{
    const QString overridden = qEnvironmentVariable("KV3917_LOCK_DIR");
    if (!overridden.isEmpty())
        return overridden;
    const QString runLock = QStringLiteral("/run/lock");
    if (UsableFolder(runLock))
        return runLock;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (UsableFolder(runtime))
        return runtime;
    return QDir::tempPath();
}

QString DeviceLockPath(const QString &device)
{
    const QString canonical = QFileInfo(device).canonicalFilePath();
    QString name = canonical.isEmpty() ? device : canonical;
    if (name.startsWith(QLatin1Char('/')))
        name.remove(0, 1);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return DeviceLockFolder() + QStringLiteral("/kv3917-") + name + QStringLiteral(".lock");
}

DeviceLock::~DeviceLock() { release(); }

bool DeviceLock::acquire(const QString &device, QString *holder)
{
    if (m_fd >= 0 && device == m_device)
        return true;
    release();
    bool writable = true;
    const int fd = OpenLockFile(QFile::encodeName(DeviceLockPath(device)), &writable);
    if (fd < 0)
        return true; // no usable lock folder: nobody can be told apart
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (holder)
            *holder = ReadHolder(fd);
        ::close(fd);
        return false;
    }
    if (writable) {
        const QByteArray text = QByteArray::number(qint64(::getpid())) + ' ' + ProgramName().toUtf8() + '\n';
        if (::ftruncate(fd, 0) == 0 && ::pwrite(fd, text.constData(), size_t(text.size()), 0) < 0) {
            // The lock stands; only the holder text is missing.
        }
    }
    m_fd = fd;
    m_device = device;
    return true;
}

void DeviceLock::release()
{
    if (m_fd >= 0) {
        if (::ftruncate(m_fd, 0) != 0) {
            // Read-only file: the next holder rewrites it.
        }
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
    }
    m_fd = -1;
    m_device.clear();
}

} // namespace kv
