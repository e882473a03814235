// Options that every subcommand shares (given before or after the subcommand's name).
#pragma once

#include <string>

#include "text.h"

namespace veskorcli {

struct GlobalOptions {
  std::string encoding = "utf8";
  bool lossy = false;
  bool verbose = false;

  TextCodec codec() const {
    return TextCodec(encoding == "latin1" ? Encoding::latin1 : Encoding::utf8, lossy);
  }
};

}  // namespace veskorcli
