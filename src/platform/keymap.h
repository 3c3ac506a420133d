// Mapping of SDL's keys to the Windows virtual-key codes that scripts see:
// letters as upper-case ASCII, digits as ASCII, the numeric pad, left and
// right modifiers, function keys and the usual named keys.
#pragma once

#include <SDL.h>

namespace kavo {

int VirtualKeyFromSdl(SDL_Keycode key, SDL_Scancode scancode);
// The scancodes that hold a virtual key down (up to 4), for the held-key test.
int ScancodesForVirtualKey(int vk, SDL_Scancode out[4]);

}  // namespace kavo
