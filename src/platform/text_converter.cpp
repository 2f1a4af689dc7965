#include "platform/text_converter.hpp"

#include <unicode/ucnv.h>

#include <array>

namespace tabvora::internal {

namespace {

constexpr std::size_t kPivotUnits = 4096;

UConverter* openConverter(const std::string& name, UErrorCode& status) {
  if (name.empty()) {
    status = U_FILE_ACCESS_ERROR;
    return nullptr;
  }
  return ucnv_open(name.c_str(), &status);
}

}  // namespace

struct TextConverter::State {
  UConverter* source = nullptr;
  UConverter* target = nullptr;
  std::array<UChar, kPivotUnits> pivot{};
  UChar* pivotSource = pivot.data();
  UChar* pivotTarget = pivot.data();
  bool started = false;
  ~State() {
    if (source) ucnv_close(source);
    if (target) ucnv_close(target);
  }
};

TextConverter::TextConverter(std::string_view encodingName) : state_(std::make_unique<State>()), name_(encodingName) {
  UErrorCode status = U_ZERO_ERROR;
  state_->source = openConverter(name_, status);
  if (U_FAILURE(status)) throw Failure("\"" + name_ + "\" is not an encoding this program knows");
  state_->target = ucnv_open("UTF-8", &status);
  if (U_FAILURE(status)) throw Failure("the UTF-8 converter is missing");
  ucnv_setToUCallBack(state_->source, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  ucnv_setFromUCallBack(state_->target, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
}

TextConverter::~TextConverter() = default;

void TextConverter::convert(std::span<const std::uint8_t> bytes, bool last, std::vector<std::uint8_t>& out) {
  const char* source = reinterpret_cast<const char*>(bytes.data());
  const char* const sourceLimit = source + bytes.size();
  const char* const sourceStart = source;
  for (;;) {
    const std::size_t used = out.size();
    out.resize(used + bytes.size() * 2 + 64);
    char* target = reinterpret_cast<char*>(out.data() + used);
    char* const targetLimit = reinterpret_cast<char*>(out.data() + out.size());
    UErrorCode status = U_ZERO_ERROR;
    ucnv_convertEx(state_->target, state_->source, &target, targetLimit, &source, sourceLimit, state_->pivot.data(),
                   &state_->pivotSource, &state_->pivotTarget, state_->pivot.data() + state_->pivot.size(),
                   !state_->started, last, &status);
    state_->started = true;
    out.resize(static_cast<std::size_t>(reinterpret_cast<std::uint8_t*>(target) - out.data()));
    if (status == U_BUFFER_OVERFLOW_ERROR) continue;
    if (U_FAILURE(status)) {
      const std::uint64_t at = offset_ + static_cast<std::uint64_t>(source - sourceStart);
      throw Failure(status == U_TRUNCATED_CHAR_FOUND
                        ? "the text ends inside a character of " + name_
                        : "the bytes near offset " + std::to_string(at) + " are not text in " + name_);
    }
    break;
  }
  offset_ += bytes.size();
}

bool TextConverter::isKnown(std::string_view encodingName) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = openConverter(std::string(encodingName), status);
  if (converter) ucnv_close(converter);
  return U_SUCCESS(status);
}

std::vector<std::string> TextConverter::names() {
  std::vector<std::string> result;
  const std::int32_t count = ucnv_countAvailable();
  for (std::int32_t i = 0; i < count; ++i) result.emplace_back(ucnv_getAvailableName(i));
  return result;
}

}  // namespace tabvora::internal
