// Fonts and bitmaps as host records, the bitmap (DIB) reader, and the shell.
#include <cstdio>
#include <cstring>
#include <map>

#include "hostside/module_table.h"
#include "windows/win_internal.h"

namespace hostui {
namespace {

struct Gdi {
  std::map<HGDIOBJ, HostFontInfo> fonts;
  std::map<HGDIOBJ, HostBitmapInfo> bitmaps;
  uintptr_t next = 0x7000000;
  ShellExecuteHook shell;
};

Gdi& G() {
  static Gdi* g = new Gdi;  // lives to exit, like the window table
  return *g;
}

HGDIOBJ NewHandle() {
  auto h = reinterpret_cast<HGDIOBJ>(G().next);
  G().next += 4;
  return h;
}

uint32_t U32(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t U16(std::span<const uint8_t> b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }

// Where a channel lies in a 16- or 32-bit pixel, and its value in 0..255.
struct Mask {
  uint32_t mask = 0;
  int shift = 0, bits = 0;
  explicit Mask(uint32_t m) : mask(m) {
    if (!m) return;
    while (!((m >> shift) & 1)) ++shift;
    while (bits < 32 - shift && ((m >> (shift + bits)) & 1)) ++bits;
  }
  uint32_t Get(uint32_t px) const {
    if (!bits) return 0;
    uint32_t v = (px & mask) >> shift;
    uint32_t max = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1);
    return static_cast<uint32_t>((static_cast<uint64_t>(v) * 255 + max / 2) / max);
  }
};

}  // namespace

HFONT CreateDialogFont(int pointSize, int weight, int italic, int charSet, const std::string& faceName) {
  HostFontInfo f;
  f.height = -MulDiv(pointSize, 96, 72);  // points at the host's 96 pixels an inch
  f.weight = weight ? weight : FW_NORMAL;
  f.italic = static_cast<DWORD>(italic);
  f.charSet = static_cast<DWORD>(charSet);
  f.faceName = faceName;
  f.dialogFont = true;
  HGDIOBJ h = NewHandle();
  G().fonts[h] = f;
  return static_cast<HFONT>(h);
}

}  // namespace hostui

using namespace hostui;

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic, DWORD underline,
                  DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                  DWORD pitchAndFamily, LPCSTR faceName) {
  HostFontInfo f{height,    width,   escapement,   orientation,   weight,  italic,         underline,
                 strikeOut, charSet, outPrecision, clipPrecision, quality, pitchAndFamily, faceName ? faceName : "",
                 false};
  HGDIOBJ h = NewHandle();
  G().fonts[h] = f;
  return static_cast<HFONT>(h);
}

BOOL DeleteObject(HGDIOBJ object) {
  if (G().fonts.erase(object) || G().bitmaps.erase(object)) return TRUE;
  return FALSE;
}

std::optional<HostFontInfo> HostGetFontInfo(HFONT font) {
  auto it = G().fonts.find(font);
  if (it == G().fonts.end()) return std::nullopt;
  return it->second;
}

int HostLiveFontCount() {
  int n = 0;
  for (auto& [h, f] : G().fonts) n += f.dialogFont ? 0 : 1;
  return n;
}

// ---- Bitmaps ------------------------------------------------------------------
//
// A BITMAP resource is a packed DIB: a header (BITMAPINFOHEADER, 40 bytes or
// one of its longer versions, or the old 12-byte BITMAPCOREHEADER), three
// colour masks for BI_BITFIELDS, the palette (4 bytes an entry, 3 for the old
// header), then the rows, each padded to 4 bytes, bottom row first unless the
// height is negative.

std::optional<HostBitmapInfo> HostParseDib(std::span<const uint8_t> b, std::string* error) {
  auto fail = [&](const char* what) -> std::optional<HostBitmapInfo> {
    if (error) *error = what;
    return std::nullopt;
  };
  if (b.size() < 12) return fail("bitmap header is truncated");
  uint32_t headerSize = U32(b, 0);
  HostBitmapInfo info;
  long long width, height;
  size_t at;
  uint32_t colorsUsed = 0;
  bool core = headerSize == 12;
  if (core) {
    width = U16(b, 4);
    height = U16(b, 6);
    info.bitCount = U16(b, 10);
    at = 12;
  } else {
    if (headerSize < 40 || headerSize > b.size()) return fail("bitmap header is truncated or of unknown size");
    width = static_cast<int32_t>(U32(b, 4));
    height = static_cast<int32_t>(U32(b, 8));
    info.bitCount = U16(b, 14);
    info.compression = U32(b, 16);
    colorsUsed = U32(b, 32);
    at = headerSize;
  }
  bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0 || height <= 0) return fail("bitmap has no pixels");
  if (width > 32768 || height > 32768) return fail("bitmap is too large");
  int bpp = info.bitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
    return fail("bitmap has an unsupported bit count");
  if (info.compression != 0 && !(info.compression == 3 && (bpp == 16 || bpp == 32)))
    return fail("compressed bitmaps are not supported");

  Mask red(0x7C00), green(0x03E0), blue(0x001F);
  if (bpp == 32) red = Mask(0xFF0000), green = Mask(0xFF00), blue = Mask(0xFF);
  if (info.compression == 3) {
    // The masks follow a 40-byte header; longer headers hold them inside.
    size_t m = headerSize == 40 ? at : 40;
    if (m + 12 > b.size()) return fail("bitmap colour masks are truncated");
    red = Mask(U32(b, m)), green = Mask(U32(b, m + 4)), blue = Mask(U32(b, m + 8));
    if (headerSize == 40) at += 12;
  }

  size_t entries = 0;
  if (bpp <= 8) {
    entries = colorsUsed ? colorsUsed : (1u << bpp);
    if (entries > (1u << bpp)) return fail("bitmap palette is larger than its bit count allows");
  } else if (colorsUsed) {
    if (colorsUsed > 256) return fail("bitmap palette is too large");
    entries = colorsUsed;  // a palette for display only; the pixels are direct
  }
  size_t entrySize = core ? 3 : 4;
  if (entries * entrySize > b.size() - at) return fail("bitmap palette is truncated");
  for (size_t i = 0; i < entries; ++i) {
    size_t e = at + i * entrySize;
    info.palette.push_back(RGB(b[e + 2], b[e + 1], b[e]));
  }
  at += entries * entrySize;

  size_t stride = ((static_cast<size_t>(width) * static_cast<size_t>(bpp) + 31) / 32) * 4;
  size_t h = static_cast<size_t>(height), w = static_cast<size_t>(width);
  if (stride * h > b.size() - at) return fail("bitmap pixels are truncated");
  info.width = static_cast<int>(w);
  info.height = static_cast<int>(h);
  info.pixels.resize(w * h);
  for (size_t y = 0; y < h; ++y) {
    size_t row = at + (topDown ? y : h - 1 - y) * stride;
    for (size_t x = 0; x < w; ++x) {
      uint32_t rgb = 0;
      if (bpp <= 8) {
        size_t bit = x * static_cast<size_t>(bpp);
        unsigned byte = b[row + bit / 8];
        unsigned index = (byte >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
        if (index >= info.palette.size()) return fail("bitmap pixel names a colour beyond its palette");
        COLORREF c = info.palette[index];
        rgb = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
      } else if (bpp == 24) {
        size_t p = row + x * 3;
        rgb = (static_cast<uint32_t>(b[p + 2]) << 16) | (static_cast<uint32_t>(b[p + 1]) << 8) | b[p];
      } else {
        uint32_t px = bpp == 16 ? U16(b, row + x * 2) : U32(b, row + x * 4);
        rgb = (red.Get(px) << 16) | (green.Get(px) << 8) | blue.Get(px);
      }
      info.pixels[y * w + x] = rgb;
    }
  }
  return info;
}

HBITMAP LoadBitmapA(HINSTANCE instance, LPCSTR name) {
  if (!name) return nullptr;
  auto bytes = HostFindResource(instance, ResId::Num(2), ResId::From(name));
  if (bytes.empty()) return nullptr;
  auto info = HostParseDib(bytes);
  if (!info) return nullptr;
  HGDIOBJ h = NewHandle();
  G().bitmaps[h] = std::move(*info);
  return static_cast<HBITMAP>(h);
}

HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int, int, UINT) {
  return type == IMAGE_BITMAP ? static_cast<HANDLE>(LoadBitmapA(instance, name)) : nullptr;
}

int GetObjectA(HGDIOBJ object, int size, LPVOID out) {
  auto it = G().bitmaps.find(object);
  if (it == G().bitmaps.end() || !out || size < static_cast<int>(sizeof(BITMAP))) return 0;
  BITMAP bm{};
  bm.bmWidth = it->second.width;
  bm.bmHeight = it->second.height;
  bm.bmWidthBytes = ((it->second.width * it->second.bitCount + 15) / 16) * 2;
  bm.bmPlanes = 1;
  bm.bmBitsPixel = static_cast<WORD>(it->second.bitCount);
  std::memcpy(out, &bm, sizeof bm);
  return static_cast<int>(sizeof bm);
}

std::optional<HostBitmapInfo> HostGetBitmapInfo(HBITMAP bitmap) {
  auto it = G().bitmaps.find(bitmap);
  if (it == G().bitmaps.end()) return std::nullopt;
  return it->second;
}

int HostLiveBitmapCount() { return static_cast<int>(G().bitmaps.size()); }

// ---- The shell ----------------------------------------------------------------

ShellExecuteHook HostSetShellExecuteHandler(ShellExecuteHook hook) {
  ShellExecuteHook old = G().shell;
  G().shell = hook;
  return old;
}

HINSTANCE ShellExecuteA(HWND owner, LPCSTR operation, LPCSTR file, LPCSTR parameters, LPCSTR directory, INT showCmd) {
  ShellExecuteHook hook = G().shell;
  INT_PTR r;
  if (hook.fn) {
    r = hook.fn(owner, operation ? operation : "", file ? file : "", parameters ? parameters : "",
                directory ? directory : "", showCmd, hook.user);
  } else {
    std::fprintf(stderr, "[shell] %s %s\n", operation ? operation : "open", file ? file : "");
    r = 42;
  }
  return reinterpret_cast<HINSTANCE>(r);
}
