#include "scene/glwindow.h"

#include <SDL2/SDL.h>

namespace kavo::scene {

GLWindow::~GLWindow() { Destroy(); }

bool GLWindow::Create(const GLWindowOptions& o, std::string& error) {
  Destroy();
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    error = std::string("SDL video: ") + SDL_GetError();
    return false;
  }
  videoInit_ = true;
  SDL_GL_ResetAttributes();
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  if (o.multisamples > 0) {
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 1);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, o.multisamples);
  }
  Uint32 flags = SDL_WINDOW_OPENGL | (o.hidden ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN);
  if (o.fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
  window_ = SDL_CreateWindow(o.title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, o.width, o.height, flags);
  if (!window_ && o.multisamples > 0) {  // retry without multisampling
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, 0);
    window_ = SDL_CreateWindow(o.title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, o.width, o.height, flags);
  }
  if (!window_) {
    error = std::string("SDL window: ") + SDL_GetError();
    Destroy();
    return false;
  }
  context_ = SDL_GL_CreateContext(window_);
  if (!context_) {
    error = std::string("OpenGL context: ") + SDL_GetError();
    Destroy();
    return false;
  }
  SDL_GL_MakeCurrent(window_, context_);
  return true;
}

void GLWindow::Destroy() {
  if (context_) {
    if (SDL_GL_GetCurrentContext() == context_) SDL_GL_MakeCurrent(window_, nullptr);
    SDL_GL_DeleteContext(context_);
    context_ = nullptr;
  }
  if (window_) {
    SDL_DestroyWindow(window_);
    window_ = nullptr;
  }
  if (videoInit_) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    videoInit_ = false;
  }
}

bool GLWindow::MakeCurrent() { return context_ && SDL_GL_MakeCurrent(window_, context_) == 0; }
void GLWindow::Swap() {
  if (window_) SDL_GL_SwapWindow(window_);
}

}  // namespace kavo::scene
