#include "app/SingleProgram.h"

#include "platform/Folders.h"

#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr char kHeader[] = "GRIDLARK1";
constexpr std::size_t kHeaderSize = sizeof kHeader;  // with its NUL
constexpr std::size_t kMessageLimit = 1 << 20;
constexpr char kAnswer[] = "ok\n";
// How often a start that found the lock taken looks again for the running program's socket
// (it appears a moment after the lock).
constexpr auto kRetryInterval = std::chrono::milliseconds(10);

std::string errorText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// Makes `folder` (one level) private to the user; false, with the reason, when it is not.
bool makePrivateFolder(const fs::path& folder, std::string& problem) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        problem = errorText("cannot make " + folder.string());
        return false;
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        problem = folder.string() + " is not a folder";
        return false;
    }
    if (info.st_uid != ::getuid()) {
        problem = folder.string() + " belongs to another user";
        return false;
    }
    if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) {
        problem = errorText("cannot make " + folder.string() + " private");
        return false;
    }
    return true;
}

int remainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits until `fd` is ready for `events`; false at the deadline.
bool waitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, remainingMs(deadline));
        if (ready > 0) return true;
        if (ready == 0 || errno != EINTR) return false;
    }
}

QString absolutePath(const QString& argument) {
    if (argument.startsWith(QLatin1String("file://"))) return QUrl(argument).toLocalFile();
    return QFileInfo(argument).absoluteFilePath();
}

}  // namespace

SingleProgram::SingleProgram(fs::path folder, QObject* parent)
    : QObject(parent), folder_(std::move(folder)) {}

SingleProgram::~SingleProgram() {
    stop();
}

void SingleProgram::stop() {
    if (server_ != nullptr) server_->close();  // removes the socket file
    if (lockFd_ >= 0) ::close(lockFd_);
    lockFd_ = -1;
}

fs::path SingleProgram::defaultFolder() {
    if (const auto runtime = platform::folders::runtimeHome()) return *runtime / "gridlark";
    return fs::path("/tmp") / ("gridlark-" + std::to_string(::getuid()));
}

std::string SingleProgram::encode(const QStringList& files) {
    std::string message(kHeader, kHeaderSize);
    for (const QString& file : files) {
        const QByteArray bytes = QFile::encodeName(file);
        if (bytes.isEmpty() || bytes.contains('\0')) continue;
        message.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        message.push_back('\0');
    }
    message.push_back('\0');
    return message;
}

std::optional<QStringList> SingleProgram::decode(const std::string& message) {
    if (message.size() < kHeaderSize || message.compare(0, kHeaderSize, kHeader, kHeaderSize) != 0)
        return std::nullopt;
    QStringList files;
    std::size_t at = kHeaderSize;
    while (at < message.size()) {
        const std::size_t end = message.find('\0', at);
        if (end == std::string::npos) return std::nullopt;  // not all there yet
        if (end == at) return files;                        // the closing NUL
        files.append(QFile::decodeName(QByteArray(message.data() + at, end - at)));
        at = end + 1;
    }
    return std::nullopt;
}

SingleProgram::Role SingleProgram::start(const QStringList& files,
                                         std::chrono::milliseconds limit) {
    if (!makePrivateFolder(folder_, problem_)) return Role::Alone;
    if (sizeof(sockaddr_un::sun_path) <= socketPath().string().size()) {
        problem_ = "the socket path " + socketPath().string() + " is too long";
        return Role::Alone;
    }
    lockFd_ = ::open(lockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd_ < 0) {
        problem_ = errorText("cannot open " + lockPath().string());
        return Role::Alone;
    }
    QStringList absolute;
    for (const QString& file : files) absolute.append(absolutePath(file));
    const std::string message = encode(absolute);
    const Clock::time_point deadline = Clock::now() + limit;
    for (;;) {
        if (takeLock()) return listen() ? Role::Running : Role::Alone;
        switch (handOver(message, deadline)) {
            case HandOver::Done:
                return Role::HandedOver;
            case HandOver::Failed:
                return Role::Failed;
            case HandOver::NoListener:
                break;
        }
        // The lock is held but nobody listens yet: the running program is just starting.
        if (Clock::now() >= deadline) {
            problem_ = "the running Gridlark does not listen on " + socketPath().string();
            return Role::Failed;
        }
        std::this_thread::sleep_for(kRetryInterval);
    }
}

bool SingleProgram::takeLock() {
    while (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

bool SingleProgram::listen() {
    // With the lock held no other program listens: a socket file left here is a crashed run's.
    const QString path = QString::fromStdString(socketPath().string());
    QLocalServer::removeServer(path);
    server_ = new QLocalServer(this);
    if (!server_->listen(path)) {
        problem_ = "cannot listen on " + socketPath().string() + ": " +
                   server_->errorString().toStdString();
        return false;
    }
    connect(server_, &QLocalServer::newConnection, this, &SingleProgram::accept);
    return true;
}

SingleProgram::HandOver SingleProgram::handOver(const std::string& message,
                                                Clock::time_point deadline) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        problem_ = errorText("cannot make a socket");
        return HandOver::Failed;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = socketPath().string();
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno == ENOENT || errno == ECONNREFUSED || errno == EAGAIN)
            return HandOver::NoListener;
        problem_ = errorText("cannot reach the running Gridlark");
        return HandOver::Failed;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::size_t sent = 0;
    while (sent < message.size()) {
        const ssize_t n = ::send(fd, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            // The running program went away (it may have been quitting): try again from the lock.
            return HandOver::NoListener;
        } else if (!waitFor(fd, POLLOUT, deadline)) {
            problem_ = "the running Gridlark did not take the files in time";
            return HandOver::Failed;
        }
    }
    std::string answer;
    while (answer.size() < sizeof kAnswer - 1) {
        char bytes[8];
        const ssize_t n = ::recv(fd, bytes, sizeof bytes, 0);
        if (n > 0) {
            answer.append(bytes, static_cast<std::size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            return HandOver::NoListener;
        } else if (!waitFor(fd, POLLIN, deadline)) {
            problem_ = "the running Gridlark did not answer in time";
            return HandOver::Failed;
        }
    }
    if (answer.compare(0, sizeof kAnswer - 1, kAnswer) != 0) {
        problem_ = "the running Gridlark answered something else";
        return HandOver::Failed;
    }
    return HandOver::Done;
}

void SingleProgram::accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto buffer = std::make_shared<std::string>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
            const QByteArray bytes = socket->readAll();
            buffer->append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
            const std::size_t header = std::min(buffer->size(), kHeaderSize);
            if (buffer->size() > kMessageLimit ||
                buffer->compare(0, header, kHeader, header) != 0) {
                socket->abort();
                return;
            }
            const auto files = decode(*buffer);
            if (!files) return;
            buffer->clear();
            socket->write(kAnswer, sizeof kAnswer - 1);
            socket->flush();
            socket->disconnectFromServer();
            for (const QString& file : *files) emit openRequested(file);
            emit raiseRequested();
        });
        // Bytes that came with the connection itself.
        if (socket->bytesAvailable() > 0) emit socket->readyRead();
    }
}
