// Stand-ins for the few C++ runtime entry points that would throw. The
// programs are built without exceptions; with these, a failed allocation
// ends the process at once, and libstdc++'s throwing paths (with the
// demangler of its terminate handler, some 100 KB) stay out of the binary.
#include <windows.h>

#include <cstdlib>
#include <new>

namespace {
[[noreturn]] void outOfMemory() {
    FatalAppExitA(0, "Out of memory");
    std::abort();
}
}  // namespace

void* operator new(std::size_t size) {
    if (void* p = std::malloc(size ? size : 1)) return p;
    outOfMemory();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace std {
[[noreturn]] void __throw_bad_alloc() { outOfMemory(); }
[[noreturn]] void __throw_bad_array_new_length() { outOfMemory(); }
[[noreturn]] void __throw_length_error(const char*) { outOfMemory(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
[[noreturn]] void __throw_out_of_range(const char*) { std::abort(); }
[[noreturn]] void __throw_invalid_argument(const char*) { std::abort(); }
[[noreturn]] void __throw_logic_error(const char*) { std::abort(); }
}  // namespace std
