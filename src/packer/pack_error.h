// The error type of the packer library.
//
// Packing, reading and extracting stop at the first problem that makes the
// result unusable (a name the stub cannot write, a corrupt payload, a file
// that cannot be read); the message says what and where, ready to be shown
// to the user as it is.
#pragma once

#include <stdexcept>

namespace sfx {

// A refusal or failure of a packer operation, with a message for the user.
struct PackError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace sfx
