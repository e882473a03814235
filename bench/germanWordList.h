// The German word list of the system's dictionary (Debian package wngerman), as Latin-1 words.
// Words with characters outside Latin-1 are left out; an empty list means it is not installed.
#pragma once

#include <fstream>
#include <string>
#include <vector>

namespace veskorbench {

inline std::vector<std::string> loadGermanWordList() {
  std::vector<std::string> words;
  std::ifstream in("/usr/share/dict/ngerman");
  for (std::string line; std::getline(in, line);) {
    std::string latin1;
    bool representable = true;
    for (std::size_t i = 0; i < line.size() && representable; ++i) {
      unsigned char c = static_cast<unsigned char>(line[i]);
      if (c < 0x80) {
        latin1 += static_cast<char>(c);
      } else if ((c == 0xC2 || c == 0xC3) && i + 1 < line.size()) {
        latin1 += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(line[++i]) & 0x3F));
      } else {
        representable = false;
      }
    }
    if (representable && !latin1.empty()) words.push_back(latin1);
  }
  return words;
}

}  // namespace veskorbench
