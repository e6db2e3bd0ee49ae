#pragma once

#include <QObject>
#include <QStringList>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

class QLocalServer;

// One program per user session. The first start takes an exclusive lock on "program.lock" in
// the folder (held until the process ends, so the kernel frees it when the program crashes) and
// listens on the local socket "program.socket" beside it, replacing whatever socket file a
// crashed run left. A later start finds the lock taken, connects, hands over its session files
// and exits; the running program announces each file (openRequested) and then asks for its
// window to be raised (raiseRequested), also when no file came.
//
// The folder is private to the user: the runtime folder's "gridlark" ($XDG_RUNTIME_DIR), else
// "gridlark-<uid>" in /tmp; it is made 0700 and refused when another user owns it or can
// write to it. No network: the socket is a Unix-domain one in that folder.
//
// Message (the second start to the running one): "GRIDLARK1", then every absolute path, each
// ended by a NUL byte, then one more NUL. The running program answers "ok\n" once it has read it.
// A message past 1 MiB, or one that does not begin with the header, is dropped.
//
// Main thread only; start() runs once, after the application object exists and before the
// window is made.
class SingleProgram final : public QObject {
    Q_OBJECT
  public:
    enum class Role {
        Running,     // this process is the session's program: go on starting
        HandedOver,  // the running program has the files: exit 0
        Alone,       // no usable folder: go on starting, without hand-over
        Failed,      // a program runs but did not take the files in time: exit 1
    };

    static constexpr std::chrono::milliseconds kHandOverLimit{10000};

    explicit SingleProgram(std::filesystem::path folder, QObject* parent = nullptr);
    ~SingleProgram() override;

    // The user's folder for the lock and the socket (see above).
    static std::filesystem::path defaultFolder();

    // Becomes the session's program or hands `files` (made absolute from the working folder) to
    // the running one, waiting for it at most `limit` in all.
    Role start(const QStringList& files, std::chrono::milliseconds limit = kHandOverLimit);

    // Stops listening and lets go of the lock, so that a start from now on becomes the session's
    // program itself: called once the program is quitting and takes no more files.
    void stop();

    std::filesystem::path socketPath() const { return folder_ / "program.socket"; }
    std::filesystem::path lockPath() const { return folder_ / "program.lock"; }
    // Why start() answered Alone or Failed.
    const std::string& problem() const { return problem_; }

    // The message for `files` and its reading; nullopt for a message that is not one.
    static std::string encode(const QStringList& files);
    static std::optional<QStringList> decode(const std::string& message);

  signals:
    void openRequested(const QString& path);
    void raiseRequested();

  private:
    bool takeLock();
    bool listen();
    enum class HandOver { Done, NoListener, Failed };
    HandOver handOver(const std::string& message, std::chrono::steady_clock::time_point deadline);
    void accept();

    std::filesystem::path folder_;
    int lockFd_ = -1;
    QLocalServer* server_ = nullptr;
    std::string problem_;
};
