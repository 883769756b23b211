// Binding of a library's functions by library file name and function name, on
// their first call. A library is looked up in one given folder first, then by
// the system's standard search, then in an optional last folder (where a
// package keeps its stand-in, so that any other copy the system finds wins);
// never in the current directory. A loaded
// library is never unloaded; a fault it causes is reported as error 51.
#pragma once

#include "platform/messages.h"
#include "platform/runtime_error.h"

#include <string>
#include <tuple>
#include <type_traits>

namespace platform {

class Library {
public:
    // A library named fileName, looked up in folder, then by the system's search, then in
    // lastFolder when one is given; nothing is loaded yet.
    Library(std::string folder, std::string fileName, std::string lastFolder = {});
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // The address of the exported function `name`, loading the library first if
    // needed; raises 53 (file not found), 48 (not loadable) or 453 (no such export).
    void* resolve(const char* name);

    // Starts trying, in the background, the loading a first call would do, so
    // that the call finds it done; what it finds is told by that call. Nothing
    // where loading is not tried ahead.
    void prepare() noexcept;

    // Waits until what prepare started has ended, so that a first call timed
    // from now on includes the loading and not the trying ahead.
    void waitUntilPrepared() noexcept;

    // Whether the library has been loaded by an earlier call; a seam for the tests.
    bool loaded() const noexcept { return handle_ != nullptr; }

    // The full path of the file the system loaded for this library; empty before it is loaded.
    std::string loadedPath() const;

    // Runs call(context), a call into this library's function `function`. A
    // fatal fault inside it is error 51 naming the function, the library and
    // the fault: on POSIX systems the process's fatal fault path reports it
    // and ends the program (see platform/fatal_fault.h); on Windows it is
    // raised here. call must not throw.
    void callGuarded(const char* function, void (*call)(void*), void* context);

    // After calls into the library, outside any timed interval: puts back the
    // program's signal mask, fault handlers and alternate signal stack, and
    // checks that the descriptors the program had before loading it still
    // refer to the same files; one that does not is error 51, reported as a
    // fault (the display connection may be the one lost). Nothing before loading.
    void reclaimProgramState() const;

    // Error 51: function of this library handed over a string that is not one, as problem says
    // (a message taking the function and the library).
    [[noreturn]] void raiseBadString(const char* function, Message problem) const;

private:
    void load();
    // Error 453: this library has no function called name, for the reason given.
    [[noreturn]] void raiseNoSuchFunction(const char* name, Wording reason) const;
    // Error 51, reported as a fault: the library closed or replaced the program's descriptor fd.
    [[noreturn]] void reportDescriptorLost(int fd) const;
    // Error 453: what this library exports as name is not executable code.
    [[noreturn]] void raiseNotAFunction(const char* name) const;
    // Error 53: this library is neither in its folder nor where the system looked, as message
    // says (libraryNotFoundInSearchPath, libraryNotFoundInSystemFolder), for the reason given.
    [[noreturn]] void raiseNotFound(Message message, Wording reason) const;

    std::string folder_;
    std::string fileName_;
    std::string lastFolder_;
    void* handle_ = nullptr;
};

// The file name this system gives the shared library called name: "lib<name>.so", "<name>.dll".
std::string libraryFileName(const std::string& name);

// Error 53: there is no library file at path.
[[noreturn]] void raiseLibraryNotFound(const std::string& path);
// Error 48: the library file at path cannot be loaded, for the reason given.
[[noreturn]] void raiseLibraryNotLoadable(const std::string& path, Wording reason);
// Error 48: what is at path is no regular file, and so not loaded.
[[noreturn]] void raiseLibraryNotRegular(const std::string& path);

// One function of a library, bound on its first call and kept bound for the
// binder's lifetime.
template <class Fn>
class LazyFunction {
public:
    // The function `name` of lib; lib must outlive this object.
    LazyFunction(Library& lib, const char* name) : lib_(lib), name_(name) {}

    // The bound function, binding it now if it was not bound yet.
    Fn* get()
    {
        if (!fn_)
            fn_ = reinterpret_cast<Fn*>(lib_.resolve(name_));
        return fn_;
    }

    // Calls the function with args, binding it first if needed; a fault inside it raises error 51.
    template <class... Args>
    auto operator()(Args... args)
    {
        struct Call {
            Fn* fn;
            std::tuple<Args...> args;
            std::invoke_result_t<Fn*, Args...> result{};
        };
        Call call{get(), {args...}};
        lib_.callGuarded(
            name_, [](void* p) {
                auto& c = *static_cast<Call*>(p);
                c.result = std::apply(c.fn, c.args);
            },
            &call);
        return call.result;
    }

private:
    Library& lib_;
    const char* name_;
    Fn* fn_ = nullptr;
};

} // namespace platform
