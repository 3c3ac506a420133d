#include "platform/keymap.h"

namespace kavo {

namespace {
struct KeyPair {
  SDL_Scancode sc;
  int vk;
};

// Scancode to virtual key, for everything that is not a letter or a digit.
constexpr KeyPair kPairs[] = {
    {SDL_SCANCODE_BACKSPACE, 0x08}, {SDL_SCANCODE_TAB, 0x09}, {SDL_SCANCODE_CLEAR, 0x0C},
    {SDL_SCANCODE_RETURN, 0x0D}, {SDL_SCANCODE_KP_ENTER, 0x0D}, {SDL_SCANCODE_PAUSE, 0x13},
    {SDL_SCANCODE_CAPSLOCK, 0x14}, {SDL_SCANCODE_ESCAPE, 0x1B}, {SDL_SCANCODE_SPACE, 0x20},
    {SDL_SCANCODE_PAGEUP, 0x21}, {SDL_SCANCODE_PAGEDOWN, 0x22}, {SDL_SCANCODE_END, 0x23},
    {SDL_SCANCODE_HOME, 0x24}, {SDL_SCANCODE_LEFT, 0x25}, {SDL_SCANCODE_UP, 0x26},
    {SDL_SCANCODE_RIGHT, 0x27}, {SDL_SCANCODE_DOWN, 0x28}, {SDL_SCANCODE_SELECT, 0x29},
    {SDL_SCANCODE_EXECUTE, 0x2B}, {SDL_SCANCODE_PRINTSCREEN, 0x2C}, {SDL_SCANCODE_INSERT, 0x2D},
    {SDL_SCANCODE_DELETE, 0x2E}, {SDL_SCANCODE_HELP, 0x2F}, {SDL_SCANCODE_LGUI, 0x5B},
    {SDL_SCANCODE_RGUI, 0x5C}, {SDL_SCANCODE_APPLICATION, 0x5D},
    {SDL_SCANCODE_KP_0, 0x60}, {SDL_SCANCODE_KP_1, 0x61}, {SDL_SCANCODE_KP_2, 0x62},
    {SDL_SCANCODE_KP_3, 0x63}, {SDL_SCANCODE_KP_4, 0x64}, {SDL_SCANCODE_KP_5, 0x65},
    {SDL_SCANCODE_KP_6, 0x66}, {SDL_SCANCODE_KP_7, 0x67}, {SDL_SCANCODE_KP_8, 0x68},
    {SDL_SCANCODE_KP_9, 0x69}, {SDL_SCANCODE_KP_MULTIPLY, 0x6A}, {SDL_SCANCODE_KP_PLUS, 0x6B},
    {SDL_SCANCODE_KP_MINUS, 0x6D}, {SDL_SCANCODE_KP_PERIOD, 0x6E}, {SDL_SCANCODE_KP_DIVIDE, 0x6F},
    {SDL_SCANCODE_F1, 0x70}, {SDL_SCANCODE_F2, 0x71}, {SDL_SCANCODE_F3, 0x72}, {SDL_SCANCODE_F4, 0x73},
    {SDL_SCANCODE_F5, 0x74}, {SDL_SCANCODE_F6, 0x75}, {SDL_SCANCODE_F7, 0x76}, {SDL_SCANCODE_F8, 0x77},
    {SDL_SCANCODE_F9, 0x78}, {SDL_SCANCODE_F10, 0x79}, {SDL_SCANCODE_F11, 0x7A}, {SDL_SCANCODE_F12, 0x7B},
    {SDL_SCANCODE_F13, 0x7C}, {SDL_SCANCODE_F14, 0x7D}, {SDL_SCANCODE_F15, 0x7E}, {SDL_SCANCODE_F16, 0x7F},
    {SDL_SCANCODE_F17, 0x80}, {SDL_SCANCODE_F18, 0x81}, {SDL_SCANCODE_F19, 0x82}, {SDL_SCANCODE_F20, 0x83},
    {SDL_SCANCODE_F21, 0x84}, {SDL_SCANCODE_F22, 0x85}, {SDL_SCANCODE_F23, 0x86}, {SDL_SCANCODE_F24, 0x87},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x90}, {SDL_SCANCODE_SCROLLLOCK, 0x91},
    {SDL_SCANCODE_LSHIFT, 0xA0}, {SDL_SCANCODE_RSHIFT, 0xA1}, {SDL_SCANCODE_LCTRL, 0xA2},
    {SDL_SCANCODE_RCTRL, 0xA3}, {SDL_SCANCODE_LALT, 0xA4}, {SDL_SCANCODE_RALT, 0xA5},
    {SDL_SCANCODE_SEMICOLON, 0xBA}, {SDL_SCANCODE_EQUALS, 0xBB}, {SDL_SCANCODE_COMMA, 0xBC},
    {SDL_SCANCODE_MINUS, 0xBD}, {SDL_SCANCODE_PERIOD, 0xBE}, {SDL_SCANCODE_SLASH, 0xBF},
    {SDL_SCANCODE_GRAVE, 0xC0}, {SDL_SCANCODE_LEFTBRACKET, 0xDB}, {SDL_SCANCODE_BACKSLASH, 0xDC},
    {SDL_SCANCODE_RIGHTBRACKET, 0xDD}, {SDL_SCANCODE_APOSTROPHE, 0xDE},
};
}  // namespace

int VirtualKeyFromSdl(SDL_Keycode, SDL_Scancode sc) {
  // Scancodes follow the physical key, like Windows' virtual keys on a US layout.
  if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return 'A' + (sc - SDL_SCANCODE_A);
  if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return '1' + (sc - SDL_SCANCODE_1);
  if (sc == SDL_SCANCODE_0) return '0';
  for (const KeyPair& p : kPairs)
    if (p.sc == sc) return p.vk;
  return 0;
}

int ScancodesForVirtualKey(int vk, SDL_Scancode out[4]) {
  int n = 0;
  if (vk >= 'A' && vk <= 'Z') {
    out[n++] = static_cast<SDL_Scancode>(SDL_SCANCODE_A + (vk - 'A'));
    return n;
  }
  if (vk >= '1' && vk <= '9') {
    out[n++] = static_cast<SDL_Scancode>(SDL_SCANCODE_1 + (vk - '1'));
    return n;
  }
  if (vk == '0') {
    out[n++] = SDL_SCANCODE_0;
    return n;
  }
  // The generic modifier codes stand for either side.
  switch (vk) {
    case 0x10: out[n++] = SDL_SCANCODE_LSHIFT; out[n++] = SDL_SCANCODE_RSHIFT; return n;
    case 0x11: out[n++] = SDL_SCANCODE_LCTRL; out[n++] = SDL_SCANCODE_RCTRL; return n;
    case 0x12: out[n++] = SDL_SCANCODE_LALT; out[n++] = SDL_SCANCODE_RALT; return n;
    default: break;
  }
  for (const KeyPair& p : kPairs)
    if (p.vk == vk && n < 4) out[n++] = p.sc;
  return n;
}

}  // namespace kavo
