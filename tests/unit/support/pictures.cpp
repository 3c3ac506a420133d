#include "support/pictures.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_image.h>

#include <stdexcept>

namespace kavo::test {

namespace {

// An SDL stream that appends whatever is written to a string.
size_t AppendWrite(SDL_RWops* rw, const void* data, size_t size, size_t count) {
  auto* out = static_cast<std::string*>(rw->hidden.unknown.data1);
  out->append(static_cast<const char*>(data), size * count);
  return count;
}
Sint64 NoSeek(SDL_RWops* rw, Sint64, int) {
  return static_cast<Sint64>(static_cast<std::string*>(rw->hidden.unknown.data1)->size());
}
Sint64 SizeOf(SDL_RWops* rw) { return static_cast<Sint64>(static_cast<std::string*>(rw->hidden.unknown.data1)->size()); }
int Close(SDL_RWops* rw) {
  SDL_FreeRW(rw);
  return 0;
}

}  // namespace

std::string EncodePng(int width, int height, const std::vector<uint8_t>& rgba, bool alpha) {
  if (rgba.size() != static_cast<size_t>(width) * height * 4) throw std::invalid_argument("EncodePng: wrong size");
  SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32,
                                                  alpha ? SDL_PIXELFORMAT_ABGR8888 : SDL_PIXELFORMAT_XBGR8888);
  if (!s) throw std::runtime_error(SDL_GetError());
  for (int y = 0; y < height; ++y)
    std::copy(rgba.begin() + static_cast<long>(y) * width * 4, rgba.begin() + static_cast<long>(y + 1) * width * 4,
              static_cast<uint8_t*>(s->pixels) + static_cast<size_t>(y) * s->pitch);
  std::string out;
  SDL_RWops* rw = SDL_AllocRW();
  rw->type = SDL_RWOPS_UNKNOWN;
  rw->hidden.unknown.data1 = &out;
  rw->write = AppendWrite;
  rw->seek = NoSeek;
  rw->size = SizeOf;
  rw->close = Close;
  const int rc = IMG_SavePNG_RW(s, rw, 1);
  SDL_FreeSurface(s);
  if (rc != 0) throw std::runtime_error(std::string("EncodePng: ") + IMG_GetError());
  return out;
}

}  // namespace kavo::test
