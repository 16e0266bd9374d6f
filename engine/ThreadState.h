#pragma once
// State kept per thread (scratch memory, caches) without thread_local objects that have
// destructors.
#include <cerrno>
#include <memory>
#include <new>
#include <pthread.h>
#include <system_error>

namespace varimark {

// A T for each thread that asks for one (kept from one picture to the next: a batch draws
// thousands on each thread), made on the thread's first Get and deleted when the thread
// ends. The thread reaches it through a plain pointer in thread-local storage, never a
// thread_local object with a destructor: registering such a destructor allocates, and
// the C library ends the process when that fails. Here memory running out on first use is
// std::bad_alloc, which the callers turn into their message like any other. A thread's T
// is freed through a thread-specific key's destructor, which needs no memory to register;
// the state a thread still holds when the process ends stays reachable from that thread
// and goes with the process.
template <class T> class TThreadState {
public:
    // The calling thread's T, made (std::bad_alloc when memory is out) on first use.
    static T& Get() { return state_ != nullptr ? *state_ : Make(); }
    // The calling thread's T, or null when it has none; allocates nothing.
    static T* Existing() noexcept { return state_; }

private:
    static T& Make();
    static void Free(void* state) {
        state_ = nullptr;
        delete static_cast<T*>(state);
    }
    static inline thread_local T* state_ = nullptr;
};

namespace thread_state {
// A key whose destructor frees each thread's value when the thread ends; std::bad_alloc
// when none can be had.
inline pthread_key_t NewKey(void (*free)(void*)) {
    pthread_key_t key;
    if (const int error = pthread_key_create(&key, free); error != 0) {
        if (error == ENOMEM) throw std::bad_alloc();
        throw std::system_error(error, std::generic_category(), "pthread_key_create");
    }
    return key;
}
// Makes state the calling thread's value of key; std::bad_alloc when that needs memory
// that is not there (the key is one of ours, so that is its only failure).
inline void Attach(pthread_key_t key, void* state) {
    if (pthread_setspecific(key, state) != 0) throw std::bad_alloc();
}
} // namespace thread_state

template <class T> T& TThreadState<T>::Make() {
    static const pthread_key_t kEy = thread_state::NewKey(&Free);
    auto state = std::make_unique<T>();
    thread_state::Attach(kEy, state.get());
    state_ = state.release();
    return *state_;
}

} // namespace varimark
