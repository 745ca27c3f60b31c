// Binds a Linux plug-in module to glibc at the symbol versions of glibc 2.17,
// so that it loads on distributions since 2014 although it is built against
// a newer glibc. The link renames every reference to the symbols below to
// __wrap_<name> (-Wl,--wrap, set up by release/Portable.cmake), also those
// from the statically linked C++ runtime and libgcc, and these wrappers reach
// the old versions, which every glibc since then keeps.
#include <dlfcn.h>
#include <link.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

#if defined(__x86_64__)
#define HALVORINE_GLIBC_BASE "GLIBC_2.2.5"
#define HALVORINE_GLIBC_LIBM_2_1 "GLIBC_2.2.5"
#define HALVORINE_GLIBC_DLOPEN "GLIBC_2.2.5"
#elif defined(__i386__)
#define HALVORINE_GLIBC_BASE "GLIBC_2.0"
#define HALVORINE_GLIBC_LIBM_2_1 "GLIBC_2.1"
#define HALVORINE_GLIBC_DLOPEN "GLIBC_2.1"
#elif defined(__aarch64__)
// The port starts at 2.17: every symbol's first version there is GLIBC_2.17,
// so the wrappers below bind the port's first versions. exp2, log2 and the
// thread calls still gained newer ones (2.29, 2.34), and the later
// additions (getentropy, arc4random, _dl_find_object, the single-thread
// flag) exist on no 2.17, so the same redirects are needed.
#define HALVORINE_GLIBC_BASE "GLIBC_2.17"
#define HALVORINE_GLIBC_LIBM_2_1 "GLIBC_2.17"
#define HALVORINE_GLIBC_DLOPEN "GLIBC_2.17"
#else
#error "the old glibc versions are known for x86 and aarch64 only"
#endif

// An undefined name bound to one version of a glibc symbol.
#define HALVORINE_OLD_SYMBOL(local, name, version) __asm__(".symver " #local ", " #name "@" version)

extern "C" {

// exp2 and log2 gained a version without the old error handling in 2.29;
// the results are the same.
double halvorine_old_exp2(double);
double halvorine_old_log2(double);
HALVORINE_OLD_SYMBOL(halvorine_old_exp2, exp2, HALVORINE_GLIBC_LIBM_2_1);
HALVORINE_OLD_SYMBOL(halvorine_old_log2, log2, HALVORINE_GLIBC_LIBM_2_1);
double __wrap_exp2(double x) { return halvorine_old_exp2(x); }
double __wrap_log2(double x) { return halvorine_old_log2(x); }

// Until 2.34 these lived in libpthread.so.0 (the modules name it as needed
// for that reason); since then libc keeps them under the old version too.
int halvorine_old_pthread_once(pthread_once_t*, void (*)());
int halvorine_old_pthread_key_create(pthread_key_t*, void (*)(void*));
HALVORINE_OLD_SYMBOL(halvorine_old_pthread_once, pthread_once, HALVORINE_GLIBC_BASE);
HALVORINE_OLD_SYMBOL(halvorine_old_pthread_key_create, __pthread_key_create, HALVORINE_GLIBC_BASE);
int __wrap_pthread_once(pthread_once_t* once, void (*routine)()) {
    return halvorine_old_pthread_once(once, routine);
}
int __wrap___pthread_key_create(pthread_key_t* key, void (*destructor)(void*)) {
    return halvorine_old_pthread_key_create(key, destructor);
}

// dlopen and the rest lived in libdl.so.2 until 2.34 (named as needed):
// the host loads plug-ins with them, the LV2 GTK UI finds GTK in its host.
void* halvorine_old_dlopen(const char*, int);
void* halvorine_old_dlsym(void*, const char*);
char* halvorine_old_dlerror();
int halvorine_old_dlclose(void*);
HALVORINE_OLD_SYMBOL(halvorine_old_dlopen, dlopen, HALVORINE_GLIBC_DLOPEN);
HALVORINE_OLD_SYMBOL(halvorine_old_dlsym, dlsym, HALVORINE_GLIBC_BASE);
HALVORINE_OLD_SYMBOL(halvorine_old_dlerror, dlerror, HALVORINE_GLIBC_BASE);
HALVORINE_OLD_SYMBOL(halvorine_old_dlclose, dlclose, HALVORINE_GLIBC_BASE);
void* __wrap_dlopen(const char* file, int mode) { return halvorine_old_dlopen(file, mode); }
void* __wrap_dlsym(void* handle, const char* name) { return halvorine_old_dlsym(handle, name); }
char* __wrap_dlerror() { return halvorine_old_dlerror(); }
int __wrap_dlclose(void* handle) { return halvorine_old_dlclose(handle); }

// The C++ runtime skips atomic reference counts while glibc says the
// process has one thread (2.32 on). A plug-in lives in a host's threads:
// never single-threaded.
char __wrap___libc_single_threaded = 0;

// std::random_device comes along with the C++ runtime's string code; the
// plug-ins never draw from it. Should anything do so, the kernel answers.
int __wrap_getentropy(void* buffer, std::size_t length) {
    if (length > 256) {
        errno = EIO;
        return -1;
    }
    auto* out = static_cast<unsigned char*>(buffer);
    while (length > 0) {
        const long got = syscall(SYS_getrandom, out, length, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        out += got;
        length -= static_cast<std::size_t>(got);
    }
    return 0;
}
std::uint32_t __wrap_arc4random() {
    std::uint32_t value = 0;
    __wrap_getentropy(&value, sizeof value);
    return value;
}

// The unwinder (libgcc) asks glibc 2.35 and later for the object that holds
// a code address and its exception tables; older glibc only lists the
// loaded objects, so this answers from that list.
namespace {
struct FindObject {
    std::uintptr_t address;
    dl_find_object* result;
    bool found;
};

int visitObject(dl_phdr_info* info, std::size_t, void* data) {
    auto* find = static_cast<FindObject*>(data);
    std::uintptr_t low = UINTPTR_MAX, high = 0;
    bool inside = false;
    const ElfW(Phdr)* ehFrame = nullptr;
    const ElfW(Phdr)* dynamic = nullptr;
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type == PT_LOAD) {
            const std::uintptr_t start = info->dlpi_addr + segment.p_vaddr;
            const std::uintptr_t end = start + segment.p_memsz;
            if (start < low) low = start;
            if (end > high) high = end;
            if (find->address >= start && find->address < end) inside = true;
        } else if (segment.p_type == PT_GNU_EH_FRAME) {
            ehFrame = &segment;
        } else if (segment.p_type == PT_DYNAMIC) {
            dynamic = &segment;
        }
    }
    if (!inside) return 0;
    dl_find_object* r = find->result;
    *r = dl_find_object{};
    r->dlfo_map_start = reinterpret_cast<void*>(low);
    r->dlfo_map_end = reinterpret_cast<void*>(high);
    r->dlfo_eh_frame =
        ehFrame ? reinterpret_cast<void*>(info->dlpi_addr + ehFrame->p_vaddr) : nullptr;
#if DLFO_STRUCT_HAS_EH_DBASE
    // Data-relative pointers count from the global offset table, whose
    // address glibc has written into the dynamic section as it relocated it.
    if (dynamic) {
        for (auto* d = reinterpret_cast<const ElfW(Dyn)*>(info->dlpi_addr + dynamic->p_vaddr);
             d->d_tag != DT_NULL; ++d) {
            if (d->d_tag == DT_PLTGOT) {
                r->dlfo_eh_dbase = reinterpret_cast<void*>(d->d_un.d_ptr);
                break;
            }
        }
    }
#else
    (void)dynamic;
#endif
    find->found = true;
    return 1;
}
}  // namespace

int __wrap__dl_find_object(void* address, dl_find_object* result) {
    FindObject find{reinterpret_cast<std::uintptr_t>(address), result, false};
    dl_iterate_phdr(visitObject, &find);
    return find.found ? 0 : -1;
}

}  // extern "C"
