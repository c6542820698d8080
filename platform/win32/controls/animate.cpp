// The "SysAnimate32" class: opens a clip from an "AVI" resource of a module or from a file and
// records what it opened; playing and stopping send ACN_START and ACN_STOP to the parent. No
// frames are decoded, so a clip plays until it is stopped, closed or replaced, whatever its
// repeat count.
#include "platform/win32/controls/control_base.h"
#include "platform/win32/controls/controls.h"
#include "platform/win32/file.h"
#include "platform/win32/resource.h"

namespace platform::controls {

namespace detail {

namespace {

constexpr const char16_t* kAviType = u"AVI";

struct Animate : ControlState {
  Animate(HWND h, const CREATESTRUCTW&) : ControlState(h) {}

  AnimationInfo info;

  void stop() {
    if (!info.playing) return;
    info.playing = false;
    notifyCommand(hwnd, ACN_STOP);
  }

  BOOL play(int repeat, UINT from, UINT to) {
    if (!info.open) return FALSE;
    info.playing = true;
    info.repeat = repeat;
    info.from = from;
    info.to = to;
    notifyCommand(hwnd, ACN_START);
    return TRUE;
  }

  BOOL open(HINSTANCE module, LPCWSTR name) {
    stop();
    info = AnimationInfo{};
    if (!name) return TRUE;  // closes the clip
    if (IS_INTRESOURCE(name) || (module && FindResourceW(module, name, kAviType))) {
      if (!FindResourceW(module, name, kAviType)) return FALSE;
      info.fromResource = true;
      info.module = module;
      if (IS_INTRESOURCE(name)) info.resourceId = static_cast<UINT>(reinterpret_cast<ULONG_PTR>(name));
      else info.name = text::view(name);
    } else {
      DWORD attributes = GetFileAttributesW(name);
      if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return FALSE;
      info.name = text::view(name);
    }
    info.open = true;
    InvalidateRect(hwnd, nullptr, TRUE);
    if (style() & ACS_AUTOPLAY) play(-1, 0, 0xFFFF);
    return TRUE;
  }

  LRESULT handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
      case ACM_OPENW: return open(reinterpret_cast<HINSTANCE>(wParam), reinterpret_cast<LPCWSTR>(lParam));
      case ACM_PLAY: return play(static_cast<int>(wParam), LOWORD(lParam), HIWORD(lParam));
      case ACM_STOP: stop(); return TRUE;
      case ACM_ISPLAYING: return info.playing ? TRUE : FALSE;
      case WM_DESTROY: info.playing = false; return 0;
      default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
  }
};

}  // namespace

LRESULT CALLBACK animateProc(HWND h, UINT m, WPARAM w, LPARAM l) { return procFor<Animate>(h, m, w, l); }

}  // namespace detail

bool animationInfo(HWND animation, AnimationInfo* out) {
  WCHAR cls[32];
  if (!out || !GetClassNameW(animation, cls, 32) || !text::equalNoCase(text::view(cls), ANIMATE_CLASSW)) return false;
  // Another process's window has no state here (its extra bytes are not readable).
  auto* s = reinterpret_cast<detail::Animate*>(GetWindowLongPtrW(animation, 0));
  if (!s) return false;
  *out = s->info;
  return true;
}

}  // namespace platform::controls
