/* Counts the frames a game shows: preloaded into it (LD_PRELOAD), it stands in for
 * SDL_GL_SwapWindow, counts the call and hands it on. The count and the game's process id live in
 * a small file that the file named by QV_SWAP_COUNTER maps, so that a reader outside sees them at
 * any time and counting costs no system call a frame. Used by scripts/bench-idle. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

struct SwapCounter {
    volatile int64_t pid;
    volatile int64_t frames;
};

static struct SwapCounter* OpenCounter(void) {
    const char* path = getenv("QV_SWAP_COUNTER");
    if (path == NULL) return NULL;
    int fd = open(path, O_RDWR | O_CREAT, 0644);
    if (fd < 0) return NULL;
    struct SwapCounter* counter = NULL;
    if (ftruncate(fd, sizeof *counter) == 0) {
        void* p = mmap(NULL, sizeof *counter, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (p != MAP_FAILED) counter = p;
    }
    close(fd);
    if (counter != NULL) counter->pid = getpid();
    return counter;
}

void SDL_GL_SwapWindow(void* window) {
    static void (*real)(void*);
    static struct SwapCounter* counter;
    static int opened;
    if (real == NULL) real = (void (*)(void*))dlsym(RTLD_NEXT, "SDL_GL_SwapWindow");
    if (!opened) {
        opened = 1;
        counter = OpenCounter();
    }
    if (counter != NULL) __atomic_add_fetch(&counter->frames, 1, __ATOMIC_RELAXED);
    if (real != NULL) real(window);
}
