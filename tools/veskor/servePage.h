// The page that `veskor serve` answers GET / with: servePage.html, built into the tool.
#pragma once

#include <string>

namespace veskorcli::serve {

const std::string& servePage();

}  // namespace veskorcli::serve
