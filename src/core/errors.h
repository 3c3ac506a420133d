// The engine's numbered error: every engine failure is raised as one of
// these. The number selects the dialog text (see errordialog.h) and is what
// the player sees as "Error 0012".
#pragma once

#include <stdexcept>
#include <string>

namespace kavo {

enum KavoErrorNumber : int {
  kErrUnnumbered = 0,
  kErrNoGame = 1,
  kErrCoreFile = 2,
  kErrPluginActivate = 3,
  kErrPluginDeactivate = 4,
  kErrModelFile = 10,
  kErrTexture = 11,
  kErrScriptArgument = 12,
  kErrScript = 13,
  kErrMaterialName = 14,
  kErrActorModel = 20,
  kErrActorShadowModel = 21,
  kErrRoomModel = 30,
  kErrWalkArea = 31,
  kErrNaviMesh = 32,
  kErrShader = 40,
};

class EKavoError : public std::runtime_error {
 public:
  explicit EKavoError(const std::string& message, int number = kErrUnnumbered)
      : std::runtime_error(message), number_(number) {}
  int Number() const noexcept { return number_; }
  std::string Message() const { return what(); }

 private:
  int number_;
};

// A texture a model names is not there (error 11). Loaders that report it in
// their own words (rooms) catch this one apart from other texture errors,
// such as a picture that cannot be decoded.
class EKavoTextureMissing : public EKavoError {
 public:
  explicit EKavoTextureMissing(const std::string& message) : EKavoError(message, kErrTexture) {}
};

// The list-index error of the engine's ordered lists.
inline EKavoError ListIndexError(long long index) {
  return EKavoError("List index out of bounds (" + std::to_string(index) + ")");
}

}  // namespace kavo
