#pragma once

#include <condition_variable>
#include <mutex>

// Clang checks at compile time that members shared between threads are
// touched only under their lock; other compilers ignore the marks.
#if defined(__clang__)
#define TALVEX_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define TALVEX_THREAD_ATTRIBUTE(x)
#endif

#define CAPABILITY(x) TALVEX_THREAD_ATTRIBUTE(capability(x))
#define SCOPED_CAPABILITY TALVEX_THREAD_ATTRIBUTE(scoped_lockable)
#define GUARDED_BY(x) TALVEX_THREAD_ATTRIBUTE(guarded_by(x))
#define ACQUIRE(...) TALVEX_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#define RELEASE(...) TALVEX_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
#define EXCLUDES(...) TALVEX_THREAD_ATTRIBUTE(locks_excluded(__VA_ARGS__))

// std::mutex with the marks clang needs to follow it.
class CAPABILITY("mutex") Mutex {
public:
    void lock() ACQUIRE() { m_mutex.lock(); }
    void unlock() RELEASE() { m_mutex.unlock(); }
    std::mutex& native() { return m_mutex; }

private:
    std::mutex m_mutex;
};

// Holds a Mutex for one scope; can wait on a condition variable meanwhile.
class SCOPED_CAPABILITY MutexLocker {
public:
    explicit MutexLocker(Mutex& mutex) ACQUIRE(mutex) : m_lock(mutex.native()) {}
    ~MutexLocker() RELEASE() {}
    template <class Duration, class Predicate>
    bool waitFor(std::condition_variable& condition, Duration timeout, Predicate ready)
    {
        return condition.wait_for(m_lock, timeout, ready);
    }

private:
    std::unique_lock<std::mutex> m_lock;
};
