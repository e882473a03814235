#include "text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "failure.h"

namespace veskorcli {
namespace {

// Decodes one UTF-8 sequence at text[pos]; returns its length, or 0 when it is malformed
// (overlong forms, surrogates and values above U+10FFFF included).
size_t decodeUtf8(std::string_view text, size_t pos, uint32_t& codePoint) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  }
  size_t length;
  uint32_t minimum;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, codePoint = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, codePoint = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, codePoint = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (pos + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(pos + i) & 0xC0) != 0x80) return 0;
    codePoint = (codePoint << 6) | (byte(pos + i) & 0x3F);
  }
  if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
  return length;
}

std::string place(std::string_view text, size_t pos, const TextOrigin& origin) {
  if (origin.firstLine == 0) return origin.name;
  const long line = origin.firstLine + std::count(text.begin(), text.begin() + static_cast<long>(pos), '\n');
  return origin.name + ":" + std::to_string(line);
}

}  // namespace

std::string utf8ToLatin1(std::string_view text, bool lossy, std::string& out, size_t& problemPos) {
  out.clear();
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    uint32_t codePoint = 0;
    const size_t length = decodeUtf8(text, pos, codePoint);
    if (length != 0 && codePoint <= 0xFF) {
      out.push_back(static_cast<char>(codePoint));
      pos += length;
      continue;
    }
    if (!lossy) {
      problemPos = pos;
      char detail[96];
      if (length == 0) {
        std::snprintf(detail, sizeof detail, "malformed UTF-8 (byte 0x%02X)",
                      static_cast<unsigned>(static_cast<unsigned char>(text[pos])));
      } else {
        std::snprintf(detail, sizeof detail, "character U+%04X (%.*s) is outside Latin-1",
                      static_cast<unsigned>(codePoint), static_cast<int>(length), text.data() + pos);
      }
      return detail;
    }
    out.push_back('?');
    pos += length == 0 ? 1 : length;
  }
  return {};
}

std::string TextCodec::toEngine(std::string_view text, const TextOrigin& origin) const {
  if (encoding_ == Encoding::latin1) return std::string(text);
  std::string out;
  size_t pos = 0;
  const std::string problem = utf8ToLatin1(text, lossy_, out, pos);
  if (!problem.empty()) {
    throw fileError(place(text, pos, origin) + ": " + problem + " (--lossy replaces it with '?')");
  }
  return out;
}

std::string TextCodec::toOutput(std::string_view latin1) const {
  if (encoding_ == Encoding::latin1) return std::string(latin1);
  return latin1ToUtf8(latin1);
}

bool isValidUtf8(std::string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    uint32_t codePoint = 0;
    const size_t length = decodeUtf8(text, pos, codePoint);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

std::string latin1ToUtf8(std::string_view latin1) {
  std::string out;
  out.reserve(latin1.size() + latin1.size() / 8);
  for (const char c : latin1) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out.push_back(c);
    } else {
      out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return out;
}

}  // namespace veskorcli
