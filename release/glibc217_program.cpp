// What the command-line host needs beyond release/glibc217.cpp to run on
// glibc 2.17: the older entries of the start-up code and of stat. Linked into programs only (see release/Portable.cmake).
#include <sys/stat.h>

#if !defined(__x86_64__)
#error "the command-line host is shipped for x86-64 only"
#endif

extern "C" {

// The program's start. glibc 2.34 runs a program's initialisers itself when
// the start-up code passes none; older glibc runs only those it is given.
// So they are given: _init and the initialiser array, in the order the
// start-up code of older glibc ran them.
using MainFunction = int (*)(int, char**, char**);
using InitFunction = void (*)(int, char**, char**);
int halvorine_old_libc_start_main(MainFunction, int, char**, InitFunction, void (*)(), void (*)(),
                                  void*);
__asm__(".symver halvorine_old_libc_start_main, __libc_start_main@GLIBC_2.2.5");
void _init();
extern InitFunction __init_array_start[] __attribute__((visibility("hidden")));
extern InitFunction __init_array_end[] __attribute__((visibility("hidden")));

static void runInitialisers(int argc, char** argv, char** environment) {
    _init();
    for (InitFunction* f = __init_array_start; f != __init_array_end; ++f) (*f)(argc, argv, environment);
}

int __wrap___libc_start_main(MainFunction main, int argc, char** argv, InitFunction, void (*)(),
                             void (*loaderFini)(), void* stackEnd) {
    return halvorine_old_libc_start_main(main, argc, argv, runInitialisers, nullptr, loaderFini,
                                         stackEnd);
}

// Before 2.33 stat and its kin were inline calls of __xstat and its kin,
// with the layout's version (1 on x86-64) as the first argument.
int halvorine_old_xstat(int, const char*, struct stat*);
int halvorine_old_lxstat(int, const char*, struct stat*);
int halvorine_old_fxstat(int, int, struct stat*);
__asm__(".symver halvorine_old_xstat, __xstat@GLIBC_2.2.5");
__asm__(".symver halvorine_old_lxstat, __lxstat@GLIBC_2.2.5");
__asm__(".symver halvorine_old_fxstat, __fxstat@GLIBC_2.2.5");
constexpr int kStatLayout = 1;
int __wrap_stat(const char* path, struct stat* buffer) { return halvorine_old_xstat(kStatLayout, path, buffer); }
int __wrap_lstat(const char* path, struct stat* buffer) { return halvorine_old_lxstat(kStatLayout, path, buffer); }
int __wrap_fstat(int fd, struct stat* buffer) { return halvorine_old_fxstat(kStatLayout, fd, buffer); }
int __wrap_fstat64(int fd, struct stat* buffer) { return halvorine_old_fxstat(kStatLayout, fd, buffer); }

// exp and pow, as exp2 and log2 in glibc217.cpp.
double halvorine_old_exp(double);
double halvorine_old_pow(double, double);
__asm__(".symver halvorine_old_exp, exp@GLIBC_2.2.5");
__asm__(".symver halvorine_old_pow, pow@GLIBC_2.2.5");
double __wrap_exp(double x) { return halvorine_old_exp(x); }
double __wrap_pow(double x, double y) { return halvorine_old_pow(x, y); }

}  // extern "C"
