// Draws textmorph.ico: a page of text with one line marked and an arrow
// beside it. The icon is kept in the repository; this program is only needed
// to change it:
//   g++ -std=c++20 -O2 res/make_icon.cpp -o make_icon
//   ./make_icon res/textmorph.ico
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Color {
  double r, g, b, a;
};

const Color kClear{0, 0, 0, 0};
const Color kPaper{1, 1, 1, 1};
const Color kEdge{0.35, 0.38, 0.42, 1};
const Color kInk{0.30, 0.32, 0.36, 1};
const Color kMark{0.93, 0.55, 0.10, 1};
const Color kDisc{0.13, 0.45, 0.80, 1};

bool inBox(double x, double y, double x0, double y0, double x1, double y1) {
  return x >= x0 && x < x1 && y >= y0 && y < y1;
}

// The colour at a point of the unit square, y pointing down.
Color sample(double x, double y) {
  const double cx = 0.70, cy = 0.70, radius = 0.27;
  const double dx = x - cx, dy = y - cy;
  const double distance = std::sqrt(dx * dx + dy * dy);
  if (distance < radius) {
    // A white arrow pointing right: a shaft and a head.
    const bool shaft =
        inBox(x, y, cx - 0.15, cy - 0.045, cx + 0.02, cy + 0.045);
    const bool head = x >= cx && x < cx + 0.15 &&
                      std::fabs(dy) < 0.13 * (1 - (x - cx) / 0.15);
    return shaft || head ? kPaper : kDisc;
  }
  if (distance < radius + 0.035)
    return kPaper;  // a white ring keeps the disc apart from the page

  const double left = 0.14, top = 0.06, right = 0.70, bottom = 0.94;
  const double fold = 0.16;
  if (!inBox(x, y, left, top, right, bottom))
    return kClear;
  const double cornerX = x - (right - fold), cornerY = (top + fold) - y;
  if (cornerX > 0 && cornerY > 0) {
    const double pastFold = cornerX - (fold - cornerY);
    if (pastFold > 0.01)
      return kClear;
    if (pastFold > -0.05)
      return kEdge;
    return Color{0.85, 0.87, 0.90, 1};  // the turned-down corner
  }
  const double border = 0.045;
  if (!inBox(x, y, left + border, top + border, right - border,
             bottom - border))
    return kEdge;
  for (double line : {0.26, 0.40})
    if (inBox(x, y, 0.25, line, 0.58, line + 0.06))
      return kInk;
  if (inBox(x, y, 0.25, 0.54, 0.46, 0.62))
    return kMark;
  if (inBox(x, y, 0.25, 0.76, 0.40, 0.82))
    return kInk;
  return kPaper;
}

// One square image as 32-bit BGRA rows, bottom row first, 4x4 samples a pixel.
std::vector<uint8_t> render(int size) {
  std::vector<uint8_t> pixels;
  for (int row = size - 1; row >= 0; --row) {
    for (int column = 0; column < size; ++column) {
      double r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < 4; ++sy) {
        for (int sx = 0; sx < 4; ++sx) {
          const Color c = sample((column + (sx + 0.5) / 4) / size,
                                 (row + (sy + 0.5) / 4) / size);
          r += c.r * c.a;
          g += c.g * c.a;
          b += c.b * c.a;
          a += c.a;
        }
      }
      const auto channel = [&](double premultiplied) {
        return static_cast<uint8_t>(a > 0 ? std::lround(255 * premultiplied / a)
                                          : 0);
      };
      pixels.push_back(channel(b));
      pixels.push_back(channel(g));
      pixels.push_back(channel(r));
      pixels.push_back(static_cast<uint8_t>(std::lround(255 * a / 16)));
    }
  }
  return pixels;
}

void put16(std::string* out, unsigned value) {
  out->push_back(static_cast<char>(value & 0xff));
  out->push_back(static_cast<char>((value >> 8) & 0xff));
}

void put32(std::string* out, uint32_t value) {
  put16(out, value & 0xffff);
  put16(out, value >> 16);
}

// An icon image: a BITMAPINFOHEADER of twice the height, the colour rows,
// then an all-clear AND mask, since the alpha channel does the masking.
std::string iconImage(int size) {
  std::string image;
  put32(&image, 40);
  put32(&image, static_cast<uint32_t>(size));
  put32(&image, static_cast<uint32_t>(2 * size));
  put16(&image, 1);
  put16(&image, 32);
  for (int i = 0; i < 6; ++i)
    put32(&image, 0);
  for (uint8_t byte : render(size))
    image.push_back(static_cast<char>(byte));
  const int maskRow = ((size + 31) / 32) * 4;
  image.append(static_cast<size_t>(maskRow * size), '\0');
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_icon OUTPUT.ico\n");
    return 2;
  }
  const int sizes[] = {16, 24, 32, 48};
  const int count = sizeof sizes / sizeof sizes[0];
  std::string header, images;
  put16(&header, 0);
  put16(&header, 1);  // an icon, not a cursor
  put16(&header, count);
  uint32_t offset = 6 + 16 * count;
  for (int size : sizes) {
    const std::string image = iconImage(size);
    header.push_back(static_cast<char>(size));
    header.push_back(static_cast<char>(size));
    header.push_back(0);  // no palette
    header.push_back(0);
    put16(&header, 1);
    put16(&header, 32);
    put32(&header, static_cast<uint32_t>(image.size()));
    put32(&header, offset);
    offset += static_cast<uint32_t>(image.size());
    images += image;
  }
  FILE* out = std::fopen(argv[1], "wb");
  if (!out) {
    std::perror(argv[1]);
    return 1;
  }
  const std::string file = header + images;
  const bool ok = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  return std::fclose(out) == 0 && ok ? 0 : 1;
}
