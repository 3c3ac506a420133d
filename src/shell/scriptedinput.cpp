#include "shell/scriptedinput.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "game/keycodes.h"
#include "platform/files.h"

namespace kavo {

std::string KeyName(int vk) {
  if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) return std::string(1, static_cast<char>(vk));
  for (size_t i = 0; i < kKeyCodeCount; ++i)
    if (kKeyCodeNames[i].code == vk && vk != 128) return kKeyCodeNames[i].name;
  // A single figure would read back as that digit's key ("5" is '5').
  return vk >= 0 && vk < 10 ? "0" + std::to_string(vk) : std::to_string(vk);
}

int KeyFromName(const std::string& name) {
  if (name.size() == 1) {
    char c = name[0];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return c;
  }
  for (size_t i = 0; i < kKeyCodeCount; ++i)
    if (SameTextIgnoringCase(kKeyCodeNames[i].name, name)) return kKeyCodeNames[i].code;
  // The whole word must be the number: a file's text may hold NUL bytes.
  char* end = nullptr;
  long v = std::strtol(name.c_str(), &end, 10);
  if (!name.empty() && end == name.c_str() + name.size() && v > 0 && v < 256) return static_cast<int>(v);
  return 0;
}

namespace {
bool ToInt(const std::string& s, int& out) {
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  if (s.empty() || end != s.c_str() + s.size() || v < -1000000 || v > 1000000) return false;
  out = static_cast<int>(v);
  return true;
}
}  // namespace

bool TScriptedInput::Parse(const std::string& text, std::string& error) {
  std::istringstream in(text);
  std::string line;
  int number = 0;
  double last = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string x; words >> x;) w.push_back(x);
    if (w.empty() || w[0][0] == '#') continue;
    auto fail = [&](const std::string& why) {
      error = "line " + std::to_string(number) + ": " + why + " (" + line + ")";
      return false;
    };
    char* end = nullptr;
    double t = std::strtod(w[0].c_str(), &end);
    if (end != w[0].c_str() + w[0].size() || !(t >= 0) || t > 1e9) return fail("the time must be milliseconds");
    if (t < last) return fail("events must be in time order");
    last = t;
    if (w.size() < 2) return fail("an event is missing");
    TTimedEvent te;
    te.timeMs = t;
    TInputEvent& e = te.event;
    const std::string kind = LowerAscii(w[1]);
    if (kind == "move") {
      e.kind = TInputEvent::Kind::MouseMove;
      if (w.size() != 4 || !ToInt(w[2], e.x) || !ToInt(w[3], e.y)) return fail("move needs X Y");
    } else if (kind == "down" || kind == "up") {
      e.kind = kind == "down" ? TInputEvent::Kind::MouseDown : TInputEvent::Kind::MouseUp;
      if (w.size() < 5) return fail(kind + " needs BUTTON X Y");
      const std::string b = LowerAscii(w[2]);
      if (b == "left") e.button = TMouseButton::Left;
      else if (b == "right") e.button = TMouseButton::Right;
      else if (b == "middle") e.button = TMouseButton::Middle;
      else if (b == "other") e.button = TMouseButton::Other;
      else return fail("unknown button " + w[2]);
      if (!ToInt(w[3], e.x) || !ToInt(w[4], e.y)) return fail(kind + " needs BUTTON X Y");
      for (size_t i = 5; i < w.size(); ++i) {
        const std::string m = LowerAscii(w[i]);
        if (m == "shift") e.shift |= kShiftShift;
        else if (m == "ctrl") e.shift |= kShiftCtrl;
        else if (m == "alt") e.shift |= kShiftAlt;
        else return fail("unknown modifier " + w[i]);
      }
    } else if (kind == "wheel") {
      e.kind = TInputEvent::Kind::MouseWheel;
      if ((w.size() != 3 && w.size() != 5) || !ToInt(w[2], e.wheelDelta)) return fail("wheel needs DELTA [X Y]");
      if (w.size() == 5 && (!ToInt(w[3], e.x) || !ToInt(w[4], e.y))) return fail("wheel needs DELTA [X Y]");
      if (w.size() == 3) e.x = e.y = -1;  // at the pointer
    } else if (kind == "keydown" || kind == "keyup") {
      e.kind = kind == "keydown" ? TInputEvent::Kind::KeyDown : TInputEvent::Kind::KeyUp;
      if (w.size() != 3 || (e.key = KeyFromName(w[2])) == 0) return fail("unknown key");
    } else {
      return fail("unknown event " + w[1]);
    }
    pending_.push_back(te);
  }
  return true;
}

bool TScriptedInput::KeyHeld(int vk) const {
  // Buttons are held as their shift flags (negated, apart from key codes).
  switch (vk) {
    case 1: return held_.count(-static_cast<int>(kShiftLeft)) != 0;
    case 2: return held_.count(-static_cast<int>(kShiftRight)) != 0;
    case 4: return held_.count(-static_cast<int>(kShiftMiddle)) != 0;
    default: return held_.count(vk) != 0;
  }
}

std::vector<TInputEvent> TScriptedInput::Due(double nowMs) {
  std::vector<TInputEvent> due;
  // A tiny tolerance: the clock is a sum of float steps.
  while (!pending_.empty() && pending_.front().timeMs <= nowMs + 1e-6) {
    TInputEvent e = pending_.front().event;
    pending_.pop_front();
    TShiftState buttonFlag = e.button == TMouseButton::Left     ? kShiftLeft
                             : e.button == TMouseButton::Right  ? kShiftRight
                             : e.button == TMouseButton::Middle ? kShiftMiddle
                                                                : 0;
    switch (e.kind) {
      case TInputEvent::Kind::MouseDown: held_.insert(-static_cast<int>(buttonFlag)); break;
      case TInputEvent::Kind::MouseUp: held_.erase(-static_cast<int>(buttonFlag)); break;
      case TInputEvent::Kind::KeyDown: held_.insert(e.key); break;
      case TInputEvent::Kind::KeyUp: held_.erase(e.key); break;
      default: break;
    }
    // Buttons and modifier keys the script holds join the shift state.
    for (int h : held_) {
      if (h < 0) e.shift |= static_cast<TShiftState>(-h);
      if (h == 0x10 || h == 0xA0 || h == 0xA1) e.shift |= kShiftShift;
      if (h == 0x11 || h == 0xA2 || h == 0xA3) e.shift |= kShiftCtrl;
      if (h == 0x12 || h == 0xA4 || h == 0xA5) e.shift |= kShiftAlt;
    }
    due.push_back(e);
  }
  return due;
}

bool TInputRecorder::Open(const std::string& path, std::string* error) {
  if (!Files().WriteFile(path, "# Kavo input recording: TIME(ms of Game.CurrentTime) EVENT ARGS\n", error)) return false;
  path_ = path;
  return true;
}

void TInputRecorder::Record(double timeMs, const TInputEvent& e) {
  if (path_.empty()) return;
  char t[32];
  std::snprintf(t, sizeof(t), "%.0f", timeMs);
  std::string line = t;
  auto button = [](TMouseButton b) {
    switch (b) {
      case TMouseButton::Left: return "left";
      case TMouseButton::Right: return "right";
      case TMouseButton::Middle: return "middle";
      default: return "other";
    }
  };
  auto mods = [&](TShiftState s) {
    std::string m;
    if (s & kShiftShift) m += " shift";
    if (s & kShiftCtrl) m += " ctrl";
    if (s & kShiftAlt) m += " alt";
    return m;
  };
  switch (e.kind) {
    case TInputEvent::Kind::MouseMove: line += " move " + std::to_string(e.x) + " " + std::to_string(e.y); break;
    case TInputEvent::Kind::MouseDown:
    case TInputEvent::Kind::MouseUp:
      line += std::string(e.kind == TInputEvent::Kind::MouseDown ? " down " : " up ") + button(e.button) + " " +
              std::to_string(e.x) + " " + std::to_string(e.y) + mods(e.shift);
      break;
    case TInputEvent::Kind::MouseWheel:
      line += " wheel " + std::to_string(e.wheelDelta) + " " + std::to_string(e.x) + " " + std::to_string(e.y);
      break;
    case TInputEvent::Kind::KeyDown: line += " keydown " + KeyName(e.key); break;
    case TInputEvent::Kind::KeyUp: line += " keyup " + KeyName(e.key); break;
    default: return;
  }
  Files().AppendFile(path_, line + "\n");
}

}  // namespace kavo
