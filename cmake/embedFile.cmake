# cmake -DINPUT=FILE -DOUTPUT=SOURCE -DNAMESPACE=NS -DFUNCTION=NAME -P embedFile.cmake
# Writes a C++ source whose function NS::NAME() returns the bytes of FILE as a std::string.
file(READ "${INPUT}" bytes HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${bytes}")
string(REGEX REPLACE "(('\\\\x[0-9a-f][0-9a-f]',){16})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp" "// Generated from ${INPUT}; do not edit.\n#include <string>\n\nnamespace ${NAMESPACE} {\n\n"
  "const std::string& ${FUNCTION}() {\n  static const char bytes[] = {\n${bytes}};\n"
  "  static const std::string text(bytes, sizeof bytes);\n  return text;\n}\n\n}  // namespace ${NAMESPACE}\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
