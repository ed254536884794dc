// Preloaded into a benchmarked program: at the first frame it puts on screen
// (the first GLX buffer swap, or the first raster image upload for programs
// that paint without OpenGL) it writes the monotonic time in nanoseconds and
// the resident memory in KiB to the file that FIRST_FRAME_REPORT names, then
// ends the process. The program itself is left unchanged.

#include <GL/glx.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

long residentKib()
{
    long totalPages = 0;
    long residentPages = 0;
    FILE *statm = std::fopen("/proc/self/statm", "r");
    if (!statm)
        return -1;
    const int read = std::fscanf(statm, "%ld %ld", &totalPages, &residentPages);
    std::fclose(statm);
    return read == 2 ? residentPages * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

[[noreturn]] void reportAndExit(const char *event)
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long rss = residentKib();

    const char *path = std::getenv("FIRST_FRAME_REPORT");
    if (path) {
        char line[128];
        const int length = std::snprintf(line, sizeof line, "%lld %ld %s\n",
                                         now.tv_sec * 1000000000LL + now.tv_nsec, rss, event);
        const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            const ssize_t written = write(fd, line, size_t(length));
            close(fd);
            _exit(written == length ? 0 : 1);
        }
    }
    _exit(1);
}

// The real function behind the one defined here. Qt's platform plugin is
// opened with local symbols, so libraries only it needs are not in the
// global scope that RTLD_NEXT searches; for those, ask the library itself.
template <typename Function>
Function next(const char *name, const char *library)
{
    if (void *function = dlsym(RTLD_NEXT, name))
        return reinterpret_cast<Function>(function);
    void *handle = dlopen(library, RTLD_LAZY | RTLD_NOLOAD);
    return reinterpret_cast<Function>(handle ? dlsym(handle, name) : nullptr);
}

// Waits until the X server has handled every request sent so far, so the
// frame is on screen and not just queued.
void roundTrip(xcb_connection_t *connection)
{
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

} // namespace

extern "C" {

void glXSwapBuffers(Display *display, GLXDrawable drawable)
{
    static const auto swap = next<void (*)(Display *, GLXDrawable)>("glXSwapBuffers", "libGLX.so.0");
    swap(display, drawable);
    XSync(display, False);
    reportAndExit("swap");
}

xcb_void_cookie_t xcb_shm_put_image(xcb_connection_t *c, xcb_drawable_t drawable, xcb_gcontext_t gc,
                                    uint16_t total_width, uint16_t total_height, uint16_t src_x,
                                    uint16_t src_y, uint16_t src_width, uint16_t src_height,
                                    int16_t dst_x, int16_t dst_y, uint8_t depth, uint8_t format,
                                    uint8_t send_event, xcb_shm_seg_t shmseg, uint32_t offset)
{
    static const auto put = next<decltype(&xcb_shm_put_image)>("xcb_shm_put_image", "libxcb-shm.so.0");
    put(c, drawable, gc, total_width, total_height, src_x, src_y, src_width, src_height,
        dst_x, dst_y, depth, format, send_event, shmseg, offset);
    roundTrip(c);
    reportAndExit("shm-put");
}

xcb_void_cookie_t xcb_put_image(xcb_connection_t *c, uint8_t format, xcb_drawable_t drawable,
                                xcb_gcontext_t gc, uint16_t width, uint16_t height, int16_t dst_x,
                                int16_t dst_y, uint8_t left_pad, uint8_t depth, uint32_t data_len,
                                const uint8_t *data)
{
    static const auto put = next<decltype(&xcb_put_image)>("xcb_put_image", "libxcb.so.1");
    put(c, format, drawable, gc, width, height, dst_x, dst_y, left_pad, depth, data_len, data);
    roundTrip(c);
    reportAndExit("put");
}

} // extern "C"
