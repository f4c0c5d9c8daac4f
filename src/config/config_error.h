// The error type of the setup configuration reader, tokenizer and parser.
#pragma once

#include <exception>

namespace sfx {

// A configuration error with its message text, which ParseSetupConfig writes
// unchanged. The text is always a constant string with static storage (the
// kMsg... constants and the "no argument for ..." literals); the error keeps
// only the pointer, so throwing or copying it never allocates, which lets it
// report an allocation failure (kMsgMem) too, and what() stays valid after
// the error object is gone.
class ConfigError : public std::exception {
 public:
  explicit ConfigError(const char* message) noexcept : message_(message) {}
  const char* what() const noexcept override { return message_; }

 private:
  const char* message_;
};

}  // namespace sfx
