#include <SDL.h>
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/keymap.h"
#include "platform/platform.h"

namespace kavo {

namespace {

TShiftState ShiftFromSdl(Uint16 mod, Uint32 buttons) {
  TShiftState s = 0;
  if (mod & KMOD_SHIFT) s |= kShiftShift;
  if (mod & KMOD_ALT) s |= kShiftAlt;
  if (mod & KMOD_CTRL) s |= kShiftCtrl;
  if (buttons & SDL_BUTTON_LMASK) s |= kShiftLeft;
  if (buttons & SDL_BUTTON_RMASK) s |= kShiftRight;
  if (buttons & SDL_BUTTON_MMASK) s |= kShiftMiddle;
  return s;
}

TMouseButton ButtonFromSdl(Uint8 b) {
  switch (b) {
    case SDL_BUTTON_LEFT: return TMouseButton::Left;
    case SDL_BUTTON_RIGHT: return TMouseButton::Right;
    case SDL_BUTTON_MIDDLE: return TMouseButton::Middle;
    default: return TMouseButton::Other;
  }
}

class TSdlPlatform : public IPlatform {
 public:
  explicit TSdlPlatform(bool headless) : headless_(headless) {
    if (headless_) setenv("SDL_VIDEODRIVER", "offscreen", 0);  // a driver named by the environment wins
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER | SDL_INIT_EVENTS) != 0) {
      std::fprintf(stderr, "SDL: %s\n", SDL_GetError());
      videoOk_ = false;
    }
    frequency_ = static_cast<double>(SDL_GetPerformanceFrequency());
    origin_ = SDL_GetPerformanceCounter();
  }
  ~TSdlPlatform() override {
    ReleaseGLContext();
    DestroyMainWindow();
    SDL_Quit();
  }

  bool CreateMainWindow(const std::string& caption, int w, int h) override {
    if (!videoOk_) return false;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    Uint32 flags = SDL_WINDOW_OPENGL | (headless_ ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN);
    // The drawable is made at the engine's view size at once: the offscreen
    // driver keeps the size a surface was created with.
    window_ = SDL_CreateWindow(caption.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                               w > 800 ? w : 800, h > 600 ? h : 600, flags);
    caption_ = caption;
    width_ = w;
    height_ = h;
    return window_ != nullptr;
  }
  void SetClientSize(int w, int h) override {
    width_ = w;
    height_ = h;
    if (window_) SDL_SetWindowSize(window_, w > 0 ? w : 1, h > 0 ? h : 1);
  }
  void GetClientSize(int& w, int& h) const override {
    w = width_;
    h = height_;
  }
  void SetCaption(const std::string& c) override {
    caption_ = c;
    if (window_) SDL_SetWindowTitle(window_, c.c_str());
  }
  std::string Caption() const override { return caption_; }
  void SetApplicationTitle(const std::string& t) override { title_ = t; }
  void CenterWindow() override {
    if (window_) SDL_SetWindowPosition(window_, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
  }
  void HideCursorOverWindow(bool hide) override {
    if (!headless_) SDL_ShowCursor(hide ? SDL_DISABLE : SDL_ENABLE);
  }
  void SetFullscreen(bool on, int width, int height) override {
    fullscreen_ = on;
    if (!window_ || headless_) return;
    if (!on) {
      SDL_SetWindowFullscreen(window_, 0);
      return;
    }
    // The display mode closest to the game's size; the desktop's when the
    // display offers none.
    SDL_DisplayMode want{}, closest{};
    want.w = width;
    want.h = height;
    const int display = SDL_GetWindowDisplayIndex(window_);
    if (display >= 0 && SDL_GetClosestDisplayMode(display, &want, &closest) != nullptr &&
        SDL_SetWindowDisplayMode(window_, &closest) == 0 && SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN) == 0)
      return;
    SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP);
  }
  bool IsFullscreen() const override { return fullscreen_; }
  bool IsActiveWindow() const override {
    if (headless_) return true;
    return window_ && (SDL_GetWindowFlags(window_) & SDL_WINDOW_INPUT_FOCUS);
  }
  void DestroyMainWindow() override {
    if (window_) SDL_DestroyWindow(window_);
    window_ = nullptr;
  }

  bool CreateGLContext() override {
    if (!window_) return false;
    gl_ = SDL_GL_CreateContext(window_);
    if (!gl_) return false;
    SDL_GL_MakeCurrent(window_, gl_);
    SDL_GL_SetSwapInterval(0);
    return true;
  }
  bool HasGLContext() const override { return gl_ != nullptr; }
  void MakeGLCurrent() override {
    if (gl_) SDL_GL_MakeCurrent(window_, gl_);
  }
  void SwapBuffers() override {
    if (gl_) SDL_GL_SwapWindow(window_);
  }
  void ReleaseGLContext() override {
    if (gl_) SDL_GL_DeleteContext(gl_);
    gl_ = nullptr;
  }

  bool PollEvent(TInputEvent& e) override {
    SDL_Event ev;
    while (SDL_PollEvent(&ev)) {
      Uint32 buttons = SDL_GetMouseState(nullptr, nullptr);
      Uint16 mod = static_cast<Uint16>(SDL_GetModState());
      switch (ev.type) {
        case SDL_QUIT:
          e = {};
          e.kind = TInputEvent::Kind::CloseRequest;
          return true;
        case SDL_WINDOWEVENT:
          if (ev.window.event == SDL_WINDOWEVENT_CLOSE) {
            e = {};
            e.kind = TInputEvent::Kind::CloseRequest;
            return true;
          }
          break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
          e = {};
          e.kind = ev.type == SDL_MOUSEBUTTONDOWN ? TInputEvent::Kind::MouseDown : TInputEvent::Kind::MouseUp;
          e.button = ButtonFromSdl(ev.button.button);
          e.x = ev.button.x;
          e.y = ev.button.y;
          e.shift = ShiftFromSdl(mod, buttons);
          {
            // The pressed button counts as held on a press and not on its release.
            TShiftState flag = e.button == TMouseButton::Left     ? kShiftLeft
                               : e.button == TMouseButton::Right  ? kShiftRight
                               : e.button == TMouseButton::Middle ? kShiftMiddle
                                                                  : 0;
            if (e.kind == TInputEvent::Kind::MouseDown)
              e.shift |= flag;
            else
              e.shift &= static_cast<TShiftState>(~flag);
            // The buttons as the delivered events left them: what the
            // held-button test answers (also where SDL keeps no mouse state).
            if (e.kind == TInputEvent::Kind::MouseDown)
              heldButtons_ |= flag;
            else
              heldButtons_ &= static_cast<TShiftState>(~flag);
          }
          lastX_ = e.x;
          lastY_ = e.y;
          return true;
        case SDL_MOUSEMOTION:
          e = {};
          e.kind = TInputEvent::Kind::MouseMove;
          e.x = ev.motion.x;
          e.y = ev.motion.y;
          e.shift = ShiftFromSdl(mod, ev.motion.state);
          lastX_ = e.x;
          lastY_ = e.y;
          return true;
        case SDL_MOUSEWHEEL:
          e = {};
          e.kind = TInputEvent::Kind::MouseWheel;
          e.wheelDelta = ev.wheel.y * 120;
          e.x = lastX_;
          e.y = lastY_;
          e.shift = ShiftFromSdl(mod, buttons);
          return true;
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
          int vk = VirtualKeyFromSdl(ev.key.keysym.sym, ev.key.keysym.scancode);
          if (vk == 0 || ev.key.repeat) break;
          e = {};
          e.kind = ev.type == SDL_KEYDOWN ? TInputEvent::Kind::KeyDown : TInputEvent::Kind::KeyUp;
          e.key = vk;
          e.shift = ShiftFromSdl(ev.key.keysym.mod, buttons);
          return true;
        }
        default: break;
      }
    }
    return false;
  }

  double Counter() override { return static_cast<double>(SDL_GetPerformanceCounter() - origin_) / frequency_; }
  void Sleep(int ms) override { SDL_Delay(static_cast<Uint32>(ms)); }

  bool IsKeyDown(int vk) const override {
    if (vk == 1 || vk == 2 || vk == 4) {
      const TShiftState flag = vk == 1 ? kShiftLeft : vk == 2 ? kShiftRight : kShiftMiddle;
      if (heldButtons_ & flag) return true;
      Uint32 b = SDL_GetMouseState(nullptr, nullptr);
      return (vk == 1 && (b & SDL_BUTTON_LMASK)) || (vk == 2 && (b & SDL_BUTTON_RMASK)) ||
             (vk == 4 && (b & SDL_BUTTON_MMASK));
    }
    SDL_Scancode sc[4];
    int n = ScancodesForVirtualKey(vk, sc);
    int count = 0;
    const Uint8* state = SDL_GetKeyboardState(&count);
    for (int i = 0; i < n; ++i)
      if (sc[i] < count && state[sc[i]]) return true;
    return false;
  }
  void GetCursorPos(int& x, int& y) const override {
    if (headless_) {
      x = cursorX_;
      y = cursorY_;
      return;
    }
    SDL_GetGlobalMouseState(&x, &y);
  }
  void SetCursorPos(int x, int y) override {
    cursorX_ = x;
    cursorY_ = y;
    if (!headless_) SDL_WarpMouseGlobal(x, y);
  }
  void GetDesktopSize(int& w, int& h) const override {
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) == 0 && mode.w > 0) {
      w = mode.w;
      h = mode.h;
    } else {
      w = 1024;
      h = 768;
    }
  }

  void ShowErrorDialog(const TErrorDialogInfo& info) override {
    if (headless_ || !window_) {
      std::fprintf(stderr, "%s: %s\n", info.numberText.c_str(), info.text.c_str());
      std::fflush(stderr);
      return;
    }
    std::string body = info.numberText + "\n\n" + info.text + "\n\n" + info.linkText + "\n" + info.link;
    const SDL_MessageBoxButtonData buttons[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "OK"},
        {0, 1, "Open documentation"},
    };
    SDL_MessageBoxData data{SDL_MESSAGEBOX_ERROR, window_, info.caption.c_str(), body.c_str(), 2, buttons, nullptr};
    int pressed = 0;
    if (SDL_ShowMessageBox(&data, &pressed) != 0) {
      std::fprintf(stderr, "%s: %s\n", info.numberText.c_str(), info.text.c_str());
      return;
    }
    if (pressed == 1) OpenLink(info.link);
  }

  void OpenLink(const std::string& url) override {
    // Double fork so that no zombie is left behind and the engine never waits.
    pid_t pid = fork();
    if (pid == 0) {
      if (fork() == 0) {
        execlp("xdg-open", "xdg-open", url.c_str(), static_cast<char*>(nullptr));
        _exit(127);
      }
      _exit(0);
    }
    if (pid > 0) waitpid(pid, nullptr, 0);
  }

  void* LoadLibrary(const std::string& path, std::string* error) override {
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h && error) *error = dlerror();
    return h;
  }
  void* GetExport(void* library, const std::string& name) override {
    return library ? dlsym(library, name.c_str()) : nullptr;
  }
  bool Headless() const override { return headless_; }

 private:
  bool headless_;
  bool videoOk_ = true;
  SDL_Window* window_ = nullptr;
  SDL_GLContext gl_ = nullptr;
  std::string caption_, title_;
  int width_ = 0, height_ = 0;
  bool fullscreen_ = false;
  double frequency_ = 1.0;
  Uint64 origin_ = 0;
  TShiftState heldButtons_ = 0;
  int lastX_ = 0, lastY_ = 0;
  int cursorX_ = 0, cursorY_ = 0;
};

}  // namespace

std::unique_ptr<IPlatform> CreateSdlPlatform(bool headless) { return std::make_unique<TSdlPlatform>(headless); }

}  // namespace kavo
