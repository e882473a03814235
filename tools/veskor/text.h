// Text at the tool's edge: the engine works on Latin-1 bytes, the terminal and files are UTF-8 by
// default. Latin-1 mode passes bytes through unchanged in both directions.
#pragma once

#include <string>
#include <string_view>

namespace veskorcli {

enum class Encoding { utf8, latin1 };

// Where a text came from, for error messages: "argument TEXT", or a file whose first line is given.
struct TextOrigin {
  std::string name;
  long firstLine = 0;  // 0: not a file
};

class TextCodec {
 public:
  TextCodec() = default;
  TextCodec(Encoding encoding, bool lossy) : encoding_(encoding), lossy_(lossy) {}

  // Input to the engine's Latin-1. A character outside Latin-1, or a malformed UTF-8 sequence,
  // is a Failure (exit code 4) naming the origin and line, or becomes '?' when lossy.
  std::string toEngine(std::string_view text, const TextOrigin& origin) const;
  // Engine text (Latin-1) to the output encoding.
  std::string toOutput(std::string_view latin1) const;

  Encoding encoding() const { return encoding_; }
  bool lossy() const { return lossy_; }

 private:
  Encoding encoding_ = Encoding::utf8;
  bool lossy_ = false;
};

std::string latin1ToUtf8(std::string_view latin1);
// UTF-8 to Latin-1 into out. Without lossy it stops at the first character outside Latin-1 or
// malformed sequence and returns what is wrong ("character U+20AC (€) is outside Latin-1"), with
// its byte position in problemPos; with lossy such characters become '?'. "" when all went well.
std::string utf8ToLatin1(std::string_view text, bool lossy, std::string& out, size_t& problemPos);
bool isValidUtf8(std::string_view text);

}  // namespace veskorcli
