// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

// Preloaded into a benchmarked program: at the first frame it puts on screen
// it writes the monotonic time in nanoseconds, the resident memory in KiB,
// what showed the frame and whether a Mesa driver is loaded to the file that
// FIRST_FRAME_REPORT names, then ends the process. The program itself is
// left unchanged. The first frame is, on X11, the first GLX buffer swap or
// for programs that paint without OpenGL the first raster image upload; on
// Wayland, the first EGL buffer swap or the first commit of a surface with a
// buffer attached.

#include <EGL/egl.h>
#include <GL/glx.h>
#include <wayland-client-core.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Whether the process has mapped one of Mesa's OpenGL drivers.
bool mesaDriverLoaded()
{
    FILE *maps = std::fopen("/proc/self/maps", "r");
    if (!maps)
        return false;
    char line[4096];
    bool loaded = false;
    while (!loaded && std::fgets(line, sizeof line, maps))
        loaded = std::strstr(line, "_dri.so") || std::strstr(line, "libgallium");
    std::fclose(maps);
    return loaded;
}

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
    const char *driver = mesaDriverLoaded() ? "mesa-driver" : "no-mesa-driver";

    const char *path = std::getenv("FIRST_FRAME_REPORT");
    if (path) {
        char line[128];
        const int length = std::snprintf(line, sizeof line, "%lld %ld %s %s\n",
                                         now.tv_sec * 1000000000LL + now.tv_nsec, rss, event,
                                         driver);
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

// As many arguments as libwayland allows a request.
constexpr int maxArguments = 20;

bool insideEglSwap = false;
wl_proxy *surfaceWithBuffer = nullptr;

// Reads the arguments of a request as libwayland does, so that the request
// can be passed on with wl_proxy_marshal_array_flags.
void readArguments(const char *signature, va_list arguments, wl_argument *values)
{
    for (int count = 0; *signature; ++signature) {
        switch (*signature) {
        case 'i': values[count++].i = va_arg(arguments, int32_t); break;
        case 'u': values[count++].u = va_arg(arguments, uint32_t); break;
        case 'f': values[count++].f = va_arg(arguments, wl_fixed_t); break;
        case 's': values[count++].s = va_arg(arguments, const char *); break;
        case 'o':
        case 'n': values[count++].o = va_arg(arguments, wl_object *); break;
        case 'a': values[count++].a = va_arg(arguments, wl_array *); break;
        case 'h': values[count++].h = va_arg(arguments, int32_t); break;
        default: break; // a version number or '?' for an argument that may be null
        }
    }
}

// A proxy starts with its object, which starts with its interface.
const wl_interface *interfaceOf(wl_proxy *proxy)
{
    return *reinterpret_cast<const wl_interface *const *>(proxy);
}

} // namespace

extern "C" {

EGLBoolean eglSwapBuffers(EGLDisplay display, EGLSurface surface)
{
    static const auto swap = next<EGLBoolean (*)(EGLDisplay, EGLSurface)>("eglSwapBuffers",
                                                                         "libEGL.so.1");
    insideEglSwap = true;
    swap(display, surface);
    reportAndExit("egl-swap");
}

// Every request of a Wayland client passes here. A raster program shows its
// frame by attaching a buffer to its surface and committing it.
wl_proxy *wl_proxy_marshal_flags(wl_proxy *proxy, uint32_t opcode, const wl_interface *interface,
                                 uint32_t version, uint32_t flags, ...)
{
    static const auto marshal = next<decltype(&wl_proxy_marshal_array_flags)>(
            "wl_proxy_marshal_array_flags", "libwayland-client.so.0");
    enum { attach = 1, commit = 6 };

    const wl_interface *target = interfaceOf(proxy);
    wl_argument values[maxArguments] = {};
    va_list arguments;
    va_start(arguments, flags);
    readArguments(target->methods[opcode].signature, arguments, values);
    va_end(arguments);

    const bool isSurface = std::strcmp(target->name, "wl_surface") == 0;
    if (isSurface && opcode == attach && values[0].o)
        surfaceWithBuffer = proxy;
    wl_proxy *created = marshal(proxy, opcode, interface, version, flags, values);
    if (isSurface && opcode == commit && proxy == surfaceWithBuffer && !insideEglSwap)
        reportAndExit("commit");
    return created;
}

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
