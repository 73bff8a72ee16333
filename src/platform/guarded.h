#pragma once
// Lock rules the compiler checks. A field that a mutex guards says so with KEL_GUARDED_BY, a
// function that must be called with a mutex held says KEL_REQUIRES; clang's -Wthread-safety (the
// `threads` preset, run by the tests) then refuses any code that reads or writes such a field
// without the lock. Other compilers see plain mutexes and locks.
//
// Mutex wraps std::mutex; MutexLock holds it for a scope, UniqueMutexLock also unlocks and locks
// again and lends its std::unique_lock to a condition variable (whose wait gives the mutex back
// before it returns, so the analysis rightly treats it as held throughout).

#include <mutex>

#if defined(__clang__)
#define KEL_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define KEL_THREAD_ANNOTATION(x)
#endif

#define KEL_CAPABILITY(x) KEL_THREAD_ANNOTATION(capability(x))
#define KEL_SCOPED_CAPABILITY KEL_THREAD_ANNOTATION(scoped_lockable)
#define KEL_GUARDED_BY(x) KEL_THREAD_ANNOTATION(guarded_by(x))
#define KEL_PT_GUARDED_BY(x) KEL_THREAD_ANNOTATION(pt_guarded_by(x))
#define KEL_REQUIRES(...) KEL_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define KEL_EXCLUDES(...) KEL_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define KEL_ACQUIRE(...) KEL_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define KEL_RELEASE(...) KEL_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define KEL_TRY_ACQUIRE(...) KEL_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define KEL_NO_THREAD_SAFETY_ANALYSIS KEL_THREAD_ANNOTATION(no_thread_safety_analysis)

namespace kel {

class KEL_CAPABILITY("mutex") Mutex {
public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock() KEL_ACQUIRE() { m_.lock(); }
    void unlock() KEL_RELEASE() { m_.unlock(); }
    bool try_lock() KEL_TRY_ACQUIRE(true) { return m_.try_lock(); }

    // For a condition variable's lock only (see UniqueMutexLock).
    std::mutex& Native() { return m_; }

private:
    std::mutex m_;
};

class KEL_SCOPED_CAPABILITY MutexLock {
public:
    explicit MutexLock(Mutex& m) KEL_ACQUIRE(m) : m_(m) { m_.lock(); }
    ~MutexLock() KEL_RELEASE() { m_.unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    Mutex& m_;
};

class KEL_SCOPED_CAPABILITY UniqueMutexLock {
public:
    explicit UniqueMutexLock(Mutex& m) KEL_ACQUIRE(m) : lock_(m.Native()) {}
    ~UniqueMutexLock() KEL_RELEASE() = default;
    UniqueMutexLock(const UniqueMutexLock&) = delete;
    UniqueMutexLock& operator=(const UniqueMutexLock&) = delete;

    void lock() KEL_ACQUIRE() { lock_.lock(); }
    void unlock() KEL_RELEASE() { lock_.unlock(); }
    // What a std::condition_variable waits with.
    std::unique_lock<std::mutex>& Native() { return lock_; }

private:
    std::unique_lock<std::mutex> lock_;
};

}  // namespace kel
