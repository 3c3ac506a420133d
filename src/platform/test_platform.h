// The platform test double: a virtual clock, injected input events, held
// keys set by the test, and a record of dialogs, window changes and links.
#pragma once

#include <deque>
#include <set>

#include "platform/platform.h"

namespace kavo {

class TTestPlatform : public IPlatform {
 public:
  bool CreateMainWindow(const std::string& caption, int w, int h) override;
  void SetClientSize(int w, int h) override;
  void GetClientSize(int& w, int& h) const override { w = width; h = height; }
  void SetCaption(const std::string& c) override;
  std::string Caption() const override { return caption; }
  void SetApplicationTitle(const std::string& t) override { title = t; }
  void CenterWindow() override { centered = true; windowLog.push_back("center"); }
  void HideCursorOverWindow(bool hide) override { cursorHidden = hide; }
  void SetFullscreen(bool on, int, int) override { fullscreen = on; windowLog.push_back(on ? "fullscreen on" : "fullscreen off"); }
  bool IsFullscreen() const override { return fullscreen; }
  bool IsActiveWindow() const override { return active; }
  void DestroyMainWindow() override { windowLog.push_back("destroy"); }

  bool CreateGLContext() override { return false; }
  bool HasGLContext() const override { return false; }
  void MakeGLCurrent() override {}
  void SwapBuffers() override {}
  void ReleaseGLContext() override {}

  bool PollEvent(TInputEvent& e) override;
  double Counter() override { return now; }
  void Sleep(int ms) override { now += ms / 1000.0; }

  bool IsKeyDown(int vk) const override { return heldKeys.count(vk) != 0; }
  void GetCursorPos(int& x, int& y) const override { x = cursorX; y = cursorY; }
  void SetCursorPos(int x, int y) override { cursorX = x; cursorY = y; cursorMoves.push_back({x, y}); }
  void GetDesktopSize(int& w, int& h) const override { w = desktopWidth; h = desktopHeight; }

  void ShowErrorDialog(const TErrorDialogInfo& info) override { dialogs.push_back(info); }
  void OpenLink(const std::string& url) override { links.push_back(url); }

  void* LoadLibrary(const std::string& path, std::string* error) override;
  void* GetExport(void* library, const std::string& name) override;
  bool Headless() const override { return true; }

  // Test controls and records.
  void Inject(const TInputEvent& e) { events.push_back(e); }
  double now = 0.0;
  int width = 0, height = 0;
  std::string caption, title;
  bool centered = false, cursorHidden = false, fullscreen = false, active = true;
  int cursorX = 0, cursorY = 0, desktopWidth = 1920, desktopHeight = 1080;
  std::set<int> heldKeys;
  std::deque<TInputEvent> events;
  std::vector<TErrorDialogInfo> dialogs;
  std::vector<std::string> links, windowLog;
  std::vector<std::pair<int, int>> cursorMoves;
};

}  // namespace kavo
