/* Preloaded into Wine's 32-bit processes when they run under qemu-i386 (kernels without 32-bit support).
 *
 * At start Wine reserves the address space above the 2 GB user limit, halving any range it cannot get
 * down to 64 KB pieces. qemu cannot give a 32-bit guest that space, and each refusal costs it a search of
 * the guest's whole page table, so the reservation alone took some 40 s per process. Refusing those
 * requests here at once gives the same result, a 32-bit process without the upper half, in a moment.
 *
 * Built without the C library's headers so that no 32-bit development files are needed:
 *   gcc -m32 -shared -nostdlib -fPIC -O2 tools/wine-reserve.c -o lib/i386-linux-gnu/libwinereserve.so
 * The 64-bit build (same source, -m64) does nothing; it only keeps the loader of Wine's 64-bit
 * processes quiet about a preload of the wrong class. */
#if defined(__i386__)
typedef unsigned int size_t;
/* The C library's own, declared here without its headers. */
/* NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp) */
extern int* __errno_location(void);
extern void* dlsym(void* handle, const char* name);
#define RTLD_NEXT ((void*)-1l)
#define MAP_FIXED_NOREPLACE 0x100000
#define UPPER_HALF 0x80000000ull
#define EEXIST 17

void* mmap64(void* addr, size_t length, int prot, int flags, int fd, long long offset) {
    static void* (*next_mmap64)(void*, size_t, int, int, int, long long);
    unsigned long long end = (unsigned long long)(unsigned long)addr + length;
    if ((flags & MAP_FIXED_NOREPLACE) && end > UPPER_HALF) {
        *__errno_location() = EEXIST;
        return (void*)-1;
    }
    if (!next_mmap64)
        next_mmap64 = (void* (*)(void*, size_t, int, int, int, long long))dlsym(RTLD_NEXT, "mmap64");
    return next_mmap64(addr, length, prot, flags, fd, offset);
}
#else
int wine_reserve_unused;
#endif
