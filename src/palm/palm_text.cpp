#include "palm/palm_text.h"

#include <array>
#include <cstdint>

namespace pelorix::palm {

namespace {

// Code points of the bytes 0x80 to 0x9F; every other byte is its own code point.
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x2666, 0x017D, 0x2665,  // 88-8F
    0x2660, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

// Windows-1252 leaves these bytes undefined; they stand for the C1 controls.
bool undefinedInWindows1252(unsigned char c) { return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D; }

char32_t toUnicode(unsigned char c) { return c >= 0x80 && c <= 0x9F ? kHigh[c - 0x80] : c; }

char32_t windows1252(unsigned char c) { return undefinedInWindows1252(c) ? c : toUnicode(c); }

constexpr unsigned char kUnheld = 0;  // fromUnicode: the handheld cannot hold the character

unsigned char fromUnicode(char32_t cp) {
  if ((cp > 0 && cp < 0x80) || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<unsigned char>(cp);
  for (size_t i = 0; i < kHigh.size(); ++i)
    if (kHigh[i] == cp) return static_cast<unsigned char>(0x80 + i);
  return kUnheld;
}

// A zero would end the text early on the handheld.
char held(unsigned char palm, char32_t cp) { return palm != kUnheld ? static_cast<char>(palm) : cp == 0 ? ' ' : '?'; }

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one character at `pos`, moving past it. A byte that starts no
// valid UTF-8 sequence is read as Windows-1252, as hosts keeping Latin-1
// text send it.
char32_t decode(std::string_view s, size_t& pos) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  unsigned char b = byte(pos);
  int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
  if (extra == 0) {
    ++pos;
    return b;
  }
  auto invalid = [&] {
    ++pos;
    return windows1252(b);
  };
  if (extra < 0 || pos + extra >= s.size()) return invalid();
  char32_t cp = b & (0x3F >> extra);
  for (int i = 1; i <= extra; ++i) {
    if ((byte(pos + i) & 0xC0) != 0x80) return invalid();
    cp = (cp << 6) | (byte(pos + i) & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return invalid();
  pos += extra + 1;
  return cp;
}

}  // namespace

std::string toPalmText(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) {
    char32_t cp = decode(utf8, pos);
    out += held(fromUnicode(cp), cp);
  }
  return out;
}

size_t unheldCharacters(std::string_view utf8) {
  size_t n = 0;
  for (size_t pos = 0; pos < utf8.size();)
    if (fromUnicode(decode(utf8, pos)) == kUnheld) ++n;
  return n;
}

size_t palmTextLength(std::string_view utf8) {
  size_t n = 0;
  for (size_t pos = 0; pos < utf8.size(); ++n) decode(utf8, pos);
  return n;
}

std::string fromPalmText(std::string_view palm) {
  std::string out;
  out.reserve(palm.size());
  for (char c : palm) appendUtf8(out, toUnicode(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace pelorix::palm
