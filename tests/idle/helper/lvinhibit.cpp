// A Wayland window that holds an idle inhibitor, as a video player does:
// a small shown surface with a zwp_idle_inhibitor_v1 on it. Prints "inhibiting"
// once the compositor has shown it, then runs until it is ended.
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include "idle-inhibit-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace {
wl_compositor *compositor;
wl_shm *shm;
xdg_wm_base *wmBase;
zwp_idle_inhibit_manager_v1 *inhibitManager;
bool configured;

void onGlobal(void *, wl_registry *r, uint32_t id, const char *name, uint32_t) {
  if (!std::strcmp(name, wl_compositor_interface.name))
    compositor = static_cast<wl_compositor *>(wl_registry_bind(r, id, &wl_compositor_interface, 1));
  else if (!std::strcmp(name, wl_shm_interface.name))
    shm = static_cast<wl_shm *>(wl_registry_bind(r, id, &wl_shm_interface, 1));
  else if (!std::strcmp(name, xdg_wm_base_interface.name))
    wmBase = static_cast<xdg_wm_base *>(wl_registry_bind(r, id, &xdg_wm_base_interface, 1));
  else if (!std::strcmp(name, zwp_idle_inhibit_manager_v1_interface.name))
    inhibitManager = static_cast<zwp_idle_inhibit_manager_v1 *>(
        wl_registry_bind(r, id, &zwp_idle_inhibit_manager_v1_interface, 1));
}
void onGlobalRemove(void *, wl_registry *, uint32_t) {}

// A grey picture of w x h, in a shared-memory buffer.
wl_buffer *greyBuffer(int w, int h) {
  const int stride = w * 4, size = stride * h;
  const int fd = memfd_create("lvinhibit", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, size) != 0) return nullptr;
  void *pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (pixels == MAP_FAILED) return nullptr;
  std::memset(pixels, 0x80, size);
  munmap(pixels, size);
  wl_shm_pool *pool = wl_shm_create_pool(shm, fd, size);
  wl_buffer *buffer = wl_shm_pool_create_buffer(pool, 0, w, h, stride, WL_SHM_FORMAT_XRGB8888);
  wl_shm_pool_destroy(pool);
  close(fd);
  return buffer;
}
} // namespace

int main() {
  wl_display *display = wl_display_connect(nullptr);
  if (!display) {
    std::fprintf(stderr, "lvinhibit: no Wayland compositor\n");
    return 1;
  }
  wl_registry *registry = wl_display_get_registry(display);
  static const wl_registry_listener registryListener = {onGlobal, onGlobalRemove};
  wl_registry_add_listener(registry, &registryListener, nullptr);
  wl_display_roundtrip(display);
  if (!compositor || !shm || !wmBase || !inhibitManager) {
    std::fprintf(stderr, "lvinhibit: the compositor lacks a protocol this needs\n");
    return 1;
  }
  static const xdg_wm_base_listener wmListener = {
      [](void *, xdg_wm_base *base, uint32_t serial) { xdg_wm_base_pong(base, serial); }};
  xdg_wm_base_add_listener(wmBase, &wmListener, nullptr);
  wl_surface *surface = wl_compositor_create_surface(compositor);
  xdg_surface *xdgSurface = xdg_wm_base_get_xdg_surface(wmBase, surface);
  static const xdg_surface_listener surfaceListener = {[](void *, xdg_surface *s, uint32_t serial) {
    xdg_surface_ack_configure(s, serial);
    configured = true;
  }};
  xdg_surface_add_listener(xdgSurface, &surfaceListener, nullptr);
  xdg_toplevel *toplevel = xdg_surface_get_toplevel(xdgSurface);
  xdg_toplevel_set_title(toplevel, "lvinhibit");
  zwp_idle_inhibit_manager_v1_create_inhibitor(inhibitManager, surface);
  wl_surface_commit(surface);
  while (!configured)
    if (wl_display_dispatch(display) < 0) return 1;
  wl_surface_attach(surface, greyBuffer(320, 240), 0, 0);
  wl_surface_commit(surface);
  wl_display_roundtrip(display);
  std::printf("inhibiting\n");
  std::fflush(stdout);
  while (wl_display_dispatch(display) >= 0) {
  }
  return 0;
}
