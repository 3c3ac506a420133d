#include "platform/test_platform.h"

#include <dlfcn.h>

namespace kavo {

bool TTestPlatform::CreateMainWindow(const std::string& c, int w, int h) {
  caption = c;
  width = w;
  height = h;
  windowLog.push_back("create " + std::to_string(w) + "x" + std::to_string(h));
  return true;
}

void TTestPlatform::SetClientSize(int w, int h) {
  width = w;
  height = h;
  windowLog.push_back("size " + std::to_string(w) + "x" + std::to_string(h));
}

void TTestPlatform::SetCaption(const std::string& c) {
  caption = c;
  windowLog.push_back("caption " + c);
}

bool TTestPlatform::PollEvent(TInputEvent& e) {
  if (events.empty()) return false;
  e = events.front();
  events.pop_front();
  return true;
}

void* TTestPlatform::LoadLibrary(const std::string& path, std::string* error) {
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h && error) *error = dlerror();
  return h;
}

void* TTestPlatform::GetExport(void* library, const std::string& name) {
  return library ? dlsym(library, name.c_str()) : nullptr;
}

}  // namespace kavo
