#pragma once

#include <QLockFile>
#include <QString>

// A per-user lock that marks the running instance of the program. It is
// held from acquire() until the object goes, normally the end of main().
// A lock left by a process that has died is taken over.
class SingleInstance {
public:
    enum class Result {
        Acquired,      // this process is the running instance now
        HeldElsewhere, // another live process holds the lock
        Unavailable,   // the lock file cannot be made; nobody can be detected
    };

    explicit SingleInstance(const QString& lockPath = defaultLockPath());

    // "talvex.lock" in the user's runtime directory (the temporary directory
    // where there is none).
    static QString defaultLockPath();
    // One lock per working folder given with --folder: "talvex-<hash>.lock"
    // beside the default one, the hash taken from the folder's clean path.
    static QString folderLockPath(const QString& folder);

    Result acquire();
    bool isHeld() const { return m_lock.isLocked(); }
    const QString& lockPath() const { return m_path; }

private:
    bool takeOverUnreadableLock();

    QString m_path;
    QLockFile m_lock;
};

// The check at start-up, before any window: true when the program may go on.
// When another instance runs, shows the "already running" message and
// returns false; the caller then ends without showing any window. Where no
// lock can be made at all, the program is allowed to run.
bool ensureSingleInstance(SingleInstance& instance);
