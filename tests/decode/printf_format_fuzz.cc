// SPDX-License-Identifier: MIT
// The decoder's formatting of catalog texts, on any text and arguments: a text
// is refused with its reason, or formatted exactly as printf formats it with
// the arguments' C types (texts with an 'l' length excepted: there printf on
// the writer's processor is the model, not this one's). Library files reach
// the formatter only through a bzip2 stream that mutation hardly ever gets
// past, so the texts are fuzzed here directly. An input is the argument count
// (up to 6), per argument a type choice and its value, then the text.
#include <span>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "printf_format.h"
#include "ytrace_file_format.h"

namespace {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
// printf with a string as a char pointer and a 32-bit value as an unsigned.
template <typename... T>
std::string printf_with(const char *text, std::span<const std::string> strings,
                        std::span<const ytdec::Arg> args, T... values) {
  constexpr size_t i = sizeof...(T);
  if constexpr (i < 6) {
    if (i < args.size()) {
      return args[i].tag == YTRACE_ARG_STRING
                 ? printf_with(text, strings, args, values..., strings[i].c_str())
                 : printf_with(text, strings, args, values...,
                               static_cast<unsigned>(args[i].number));
    }
  }
  std::string out(static_cast<size_t>(snprintf(nullptr, 0, text, values...)), '\0');
  snprintf(out.data(), out.size() + 1, text, values...);
  return out;
}
#pragma GCC diagnostic pop

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzInput in(data, size);
  std::vector<ytdec::Arg> args(in.below(7));
  std::vector<std::string> strings(args.size());
  for (size_t i = 0; i < args.size(); ++i) {
    switch (in.below(3)) {
      case 0:
        strings[i] = in.bytes(24);
        args[i] = {YTRACE_ARG_STRING, 0, strings[i]};
        break;
      case 1:
        args[i] = {YTRACE_ARG_U32, in.u32(), {}};
        break;
      default:
        args[i] = {YTRACE_ARG_U64, uint64_t{in.u32()} << 32 | in.u32(), {}};
    }
  }
  const std::string text = in.rest();
  ytdec::PrintfFormat f;
  std::string why, out;
  if (!f.compile(text, &why)) {
    FUZZ_REQUIRE(why.starts_with("unsupported conversion \"%"), "refused with \"%s\"", why.c_str());
    return 0;
  }
  if (!f.fits(args)) return 0;
  f.append(args, out);
  if (text.find_first_of(std::string("l\0", 2)) == std::string::npos) {
    std::string want = printf_with(text.c_str(), strings, args);
    FUZZ_REQUIRE(out == want, "\"%s\" gave \"%s\", printf \"%s\"", text.c_str(), out.c_str(),
                 want.c_str());
  }
  return 0;
}
