// An SDL window with an OpenGL compatibility-profile context (8-bit
// stencil, 24-bit depth, double-buffered), as the views draw into. Used for
// the engine's windows and, hidden, as an offscreen context for tests and
// benchmarks (with SDL_VIDEODRIVER=offscreen).
#pragma once

#include <string>

struct SDL_Window;

namespace kavo::scene {

struct GLWindowOptions {
  int width = 800, height = 600;
  bool hidden = false;
  bool fullscreen = false;
  int multisamples = 0;
  std::string title = "Kavo";
};

class GLWindow {
 public:
  GLWindow() = default;
  ~GLWindow();
  GLWindow(const GLWindow&) = delete;
  GLWindow& operator=(const GLWindow&) = delete;

  // Initialises SDL video (reference counted) and creates the window and
  // its context, which becomes current. False with a message on failure.
  bool Create(const GLWindowOptions& options, std::string& error);
  void Destroy();
  bool Valid() const { return context_ != nullptr; }
  bool MakeCurrent();
  void Swap();
  SDL_Window* Window() const { return window_; }

 private:
  SDL_Window* window_ = nullptr;
  void* context_ = nullptr;
  bool videoInit_ = false;
};

}  // namespace kavo::scene
