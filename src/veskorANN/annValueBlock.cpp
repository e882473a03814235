#include "veskorANN/annValueBlock.h"

#include <cmath>
#include <cstring>

#include "orlBasics/orlException.h"
#include "veskorANN/annStatus.h"

namespace {

// A typed value as read: numbers go through float64, texts are kept as read.
struct annValue {
  int32_t type;
  double number;
  char text[kNciTextSize];
};

// Smallest typed value on file: a tag and a one-byte value (an int8, or an empty name).
constexpr int64_t kMinimumValueBytes = 2;

template <class T>
T readScalar(orlStream* in, int32_t size) {
  orl::OwnedText bytes(stream_readChars(in, size));
  T value;
  std::memcpy(&value, bytes.get(), sizeof value);
  return value;
}

void readValue(orlStream* in, annValue* value) {
  switch (value->type) {
    case kNciText:
      annTokens_readName(in, value->text);
      break;
    case kNciInt8:
      value->number = static_cast<int8_t>(annTokens_readByte(in));
      break;
    case kNciInt16:
      value->number = readScalar<int16_t>(in, 2);
      break;
    case kNciInt32:
      value->number = stream_readInt32(in);
      break;
    case kNciFloat64:
      value->number = stream_readFloat64(in);
      break;
    case kNciFloat32:
      value->number = stream_readFloat32(in);
      break;
  }
}

bool withinLimits(const nciParameter& parameter, double value) {
  if (parameter.lowerLimit == parameter.upperLimit) return true;
  return value >= parameter.lowerLimit && value <= parameter.upperLimit;
}

void storeValue(const annValue& value, unsigned char* element) {
  // Integers round half away from zero, which std::round does.
  switch (value.type) {
    case kNciText: {
      std::size_t length = strnlen(value.text, kNciTextSize - 1);
      std::memset(element, 0, kNciTextSize);
      std::memcpy(element, value.text, length);
      break;
    }
    case kNciInt8: {
      int8_t v = static_cast<int8_t>(std::round(value.number));
      std::memcpy(element, &v, sizeof v);
      break;
    }
    case kNciInt16: {
      int16_t v = static_cast<int16_t>(std::round(value.number));
      std::memcpy(element, &v, sizeof v);
      break;
    }
    case kNciInt32: {
      int32_t v = static_cast<int32_t>(std::round(value.number));
      std::memcpy(element, &v, sizeof v);
      break;
    }
    case kNciFloat64:
      std::memcpy(element, &value.number, sizeof value.number);
      break;
    case kNciFloat32: {
      float v = static_cast<float>(value.number);
      std::memcpy(element, &v, sizeof v);
      break;
    }
  }
}

// Walks the elements of a type's parameters in order.
class ElementCursor {
 public:
  ElementCursor(const nciDefinitions* registry, const nciType* type) : registry_(registry), type_(type) {}
  const nciParameter* parameter() const { return nciDefinitions_typeParameter(registry_, type_, parameter_); }
  int32_t offset() const { return offset_; }
  void advance() {
    const nciParameter* p = parameter();
    offset_ += nciDefinitions_elementSize(p->valueType);
    if (++element_ >= p->elementCount) {
      element_ = 0;
      ++parameter_;
    }
  }

 private:
  const nciDefinitions* registry_;
  const nciType* type_;
  int32_t parameter_ = 0;
  int32_t element_ = 0;
  int32_t offset_ = 0;
};

}  // namespace

uint8_t annTokens_readByte(orlStream* pInput) {
  orl::OwnedText byte(stream_readChars(pInput, 1));
  return static_cast<uint8_t>(byte.get()[0]);
}

void annTokens_readName(orlStream* pInput, char* pName) {
  int32_t length = annTokens_readByte(pInput);
  std::memset(pName, 0, kNciTextSize);
  if (length == 0) return;
  orl::OwnedText text(stream_readChars(pInput, length));
  std::memcpy(pName, text.get(), static_cast<std::size_t>(length));
}

void annTokens_writeName(orlStream* pOutput, const char* pName) {
  std::size_t length = strnlen(pName, kNciTextSize - 1);
  stream_writeByte(pOutput, static_cast<uint8_t>(length));
  stream_writeRawBytes(pOutput, pName, length);
}

int32_t annValueBlock_read(orlStream* pInput, nciDefinitions* pDefinitions, const char* pInstanceName,
                           const char* pTypeName) {
  int32_t count = stream_readInt32(pInput);
  if (count < 0 || count * kMinimumValueBytes > stream_remainingBytes(pInput)) return kAnnReadError;
  int32_t status = nciDefinitions_setInstance(pInstanceName, pTypeName, nullptr, pDefinitions);
  if (status != kAnnOk) return status;
  nciInstance* instance = nciDefinitions_findInstance(pDefinitions, pInstanceName);
  const nciType* type = &pDefinitions->types[static_cast<std::size_t>(instance->type)];
  const bool storable = (type->flags & kNciTypeFixed) == 0;
  ElementCursor cursor(pDefinitions, type);
  bool matching = true;
  for (int32_t i = 0; i < count; ++i) {
    annValue value;
    value.type = annTokens_readByte(pInput);
    if (value.type > kNciFloat32) return kNciBadValueType;
    readValue(pInput, &value);
    if (!matching) continue;
    const nciParameter* parameter = cursor.parameter();
    if (parameter == nullptr || parameter->valueType != value.type) {
      // Leftover or mismatched values are read and dropped.
      matching = false;
      continue;
    }
    bool limited = value.type != kNciText && !withinLimits(*parameter, value.number);
    if (storable && !parameter->fixed && !limited) storeValue(value, instance->data.data() + cursor.offset());
    cursor.advance();
  }
  return kAnnOk;
}

void annValueBlock_write(orlStream* pOutput, const nciDefinitions* pDefinitions, const nciType* pType,
                         const void* pData) {
  int32_t count = 0;
  for (int32_t p = 0; p < pType->numberParameters; ++p) {
    count += nciDefinitions_typeParameter(pDefinitions, pType, p)->elementCount;
  }
  stream_writeInt32(pOutput, count);
  const unsigned char* data = static_cast<const unsigned char*>(pData);
  ElementCursor cursor(pDefinitions, pType);
  for (int32_t i = 0; i < count; ++i) {
    const nciParameter* parameter = cursor.parameter();
    const unsigned char* element = data + cursor.offset();
    stream_writeByte(pOutput, static_cast<uint8_t>(parameter->valueType));
    if (parameter->valueType == kNciText) {
      annTokens_writeName(pOutput, reinterpret_cast<const char*>(element));
    } else {
      stream_writeRawBytes(pOutput, element,
                           static_cast<std::size_t>(nciDefinitions_elementSize(parameter->valueType)));
    }
    cursor.advance();
  }
}
