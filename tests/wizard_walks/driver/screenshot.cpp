#include "tests/wizard_walks/driver/screenshot.h"

#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <vector>

namespace wizard_walks_test {

namespace {

void PutBigEndian32(std::vector<uint8_t>* out, uint32_t value) {
  out->push_back(static_cast<uint8_t>(value >> 24));
  out->push_back(static_cast<uint8_t>(value >> 16));
  out->push_back(static_cast<uint8_t>(value >> 8));
  out->push_back(static_cast<uint8_t>(value));
}

void PutChunk(std::vector<uint8_t>* out, const char type[4], const std::vector<uint8_t>& data) {
  PutBigEndian32(out, static_cast<uint32_t>(data.size()));
  const size_t type_at = out->size();
  out->insert(out->end(), type, type + 4);
  out->insert(out->end(), data.begin(), data.end());
  const uLong crc = crc32(0, out->data() + type_at, static_cast<uInt>(data.size() + 4));
  PutBigEndian32(out, static_cast<uint32_t>(crc));
}

// rgb: rows top to bottom, 3 bytes per pixel (red, green, blue).
std::vector<uint8_t> EncodePng(int width, int height, const std::vector<uint8_t>& rgb) {
  std::vector<uint8_t> raw;
  raw.reserve(static_cast<size_t>(height) * (width * 3 + 1));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // filter: none
    const uint8_t* row = rgb.data() + static_cast<size_t>(y) * width * 3;
    raw.insert(raw.end(), row, row + width * 3);
  }
  uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> packed(packed_size);
  if (compress2(packed.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size()), 6) !=
      Z_OK) {
    return {};
  }
  packed.resize(packed_size);

  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  PutBigEndian32(&header, static_cast<uint32_t>(width));
  PutBigEndian32(&header, static_cast<uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter, no interlace
  PutChunk(&png, "IHDR", header);
  PutChunk(&png, "IDAT", packed);
  PutChunk(&png, "IEND", {});
  return png;
}

}  // namespace

bool SaveScreenArea(const RECT& area, const std::string& path) {
  RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  RECT clipped;
  if (!IntersectRect(&clipped, &area, &screen)) return false;
  const int width = clipped.right - clipped.left;
  const int height = clipped.bottom - clipped.top;

  HDC screen_dc = GetDC(nullptr);
  HDC memory_dc = CreateCompatibleDC(screen_dc);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool copied = false;
  std::vector<uint8_t> rgb;
  if (bitmap != nullptr) {
    HGDIOBJ old = SelectObject(memory_dc, bitmap);
    copied = BitBlt(memory_dc, 0, 0, width, height, screen_dc, clipped.left, clipped.top,
                    SRCCOPY) != FALSE;
    GdiFlush();
    if (copied) {
      const uint8_t* bgra = static_cast<const uint8_t*>(bits);
      rgb.resize(static_cast<size_t>(width) * height * 3);
      for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
        rgb[i * 3] = bgra[i * 4 + 2];
        rgb[i * 3 + 1] = bgra[i * 4 + 1];
        rgb[i * 3 + 2] = bgra[i * 4];
      }
    }
    SelectObject(memory_dc, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory_dc);
  ReleaseDC(nullptr, screen_dc);
  if (!copied) return false;

  const std::vector<uint8_t> png = EncodePng(width, height, rgb);
  if (png.empty()) return false;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  return static_cast<bool>(out);
}

}  // namespace wizard_walks_test
