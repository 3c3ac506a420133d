// The platform layer: everything the engine needs of the operating system's
// windowing, input, timing and process services, behind one small interface.
// TSdlPlatform runs on SDL2 and POSIX (in a window, or headless on SDL's
// offscreen driver); TTestPlatform is the test double with a virtual clock,
// injected input and recorded dialogs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kavo {

// Held modifier keys and mouse buttons, as the engine's input handlers see them.
enum TShiftFlag : uint8_t {
  kShiftShift = 1,
  kShiftAlt = 2,
  kShiftCtrl = 4,
  kShiftLeft = 8,
  kShiftRight = 16,
  kShiftMiddle = 32,
};
using TShiftState = uint8_t;

enum class TMouseButton : uint8_t { Left, Right, Middle, Other };

struct TInputEvent {
  enum class Kind : uint8_t { MouseDown, MouseUp, MouseMove, MouseWheel, KeyDown, KeyUp, CloseRequest };
  Kind kind = Kind::MouseMove;
  TMouseButton button = TMouseButton::Left;
  TShiftState shift = 0;
  int x = 0, y = 0;     // view pixels, y down
  int wheelDelta = 0;   // signed, 120 per notch
  int key = 0;          // Windows virtual-key code
};

// What the error dialog shows.
struct TErrorDialogInfo {
  std::string caption;     // "Kavo Core Error"
  std::string numberText;  // "Error 0012"
  std::string text;
  std::string linkText;    // "Lookup this error from Kavo Documentation:"
  std::string link;
  int number = 0;
};

class IPlatform {
 public:
  virtual ~IPlatform() = default;

  // Main window.
  virtual bool CreateMainWindow(const std::string& caption, int clientWidth, int clientHeight) = 0;
  virtual void SetClientSize(int width, int height) = 0;
  virtual void GetClientSize(int& width, int& height) const = 0;
  virtual void SetCaption(const std::string& caption) = 0;
  virtual std::string Caption() const = 0;
  virtual void SetApplicationTitle(const std::string& title) = 0;
  virtual void CenterWindow() = 0;
  virtual void HideCursorOverWindow(bool hide) = 0;
  virtual void SetFullscreen(bool on, int width, int height) = 0;
  virtual bool IsFullscreen() const = 0;
  virtual bool IsActiveWindow() const = 0;
  virtual void DestroyMainWindow() = 0;

  // OpenGL compatibility context on the main window: double-buffered,
  // 8-bit stencil, vsync off. False when none can be made.
  virtual bool CreateGLContext() = 0;
  virtual bool HasGLContext() const = 0;
  virtual void MakeGLCurrent() = 0;
  virtual void SwapBuffers() = 0;
  virtual void ReleaseGLContext() = 0;

  // Event pump: the next pending input event, if any.
  virtual bool PollEvent(TInputEvent& event) = 0;

  // Time: the high-resolution counter in seconds, and sleeping.
  virtual double Counter() = 0;
  virtual void Sleep(int milliseconds) = 0;

  // Keys and pointer.
  virtual bool IsKeyDown(int virtualKey) const = 0;
  virtual void GetCursorPos(int& x, int& y) const = 0;  // desktop coordinates
  virtual void SetCursorPos(int x, int y) = 0;
  virtual void GetDesktopSize(int& width, int& height) const = 0;

  // The modal error dialog; returns when the player has closed it.
  virtual void ShowErrorDialog(const TErrorDialogInfo& info) = 0;
  virtual void OpenLink(const std::string& url) = 0;

  // Shared libraries.
  virtual void* LoadLibrary(const std::string& path, std::string* error) = 0;
  virtual void* GetExport(void* library, const std::string& name) = 0;

  virtual bool Headless() const = 0;
};

// SDL2 and POSIX. Headless uses SDL's offscreen video driver and writes the
// error dialog to standard error as one line.
std::unique_ptr<IPlatform> CreateSdlPlatform(bool headless);

}  // namespace kavo
