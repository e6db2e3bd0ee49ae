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
#include <sys/file.h>
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
    // Blocking waits throughout: this runs before the event loop, and needs none.
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(socketPath().string()));
    if (!socket.waitForConnected(remainingMs(deadline))) {
        const QLocalSocket::LocalSocketError error = socket.error();
        if (error == QLocalSocket::ServerNotFoundError ||
            error == QLocalSocket::ConnectionRefusedError)
            return HandOver::NoListener;
        problem_ = "cannot reach the running Gridlark: " + socket.errorString().toStdString();
        return HandOver::Failed;
    }
    socket.write(message.data(), static_cast<qint64>(message.size()));
    while (socket.bytesToWrite() > 0) {
        if (socket.waitForBytesWritten(remainingMs(deadline))) continue;
        // The running program went away (it may have been quitting): try again from the lock.
        if (socket.state() != QLocalSocket::ConnectedState) return HandOver::NoListener;
        problem_ = "the running Gridlark did not take the files in time";
        return HandOver::Failed;
    }
    const qsizetype answerSize = sizeof kAnswer - 1;
    QByteArray answer = socket.readAll();
    while (answer.size() < answerSize) {
        const bool more = socket.waitForReadyRead(remainingMs(deadline));
        answer += socket.readAll();  // what came, also with the running program's hang-up
        if (more || answer.size() >= answerSize) continue;
        if (socket.state() != QLocalSocket::ConnectedState) return HandOver::NoListener;
        problem_ = "the running Gridlark did not answer in time";
        return HandOver::Failed;
    }
    if (!answer.startsWith(kAnswer)) {
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
