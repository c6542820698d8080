// Strict Base64 decoding for the stand-in's own readers of encoded text (device fields,
// certificates): no line breaks, padding only at the very end.
#pragma once

#include <string>
#include <string_view>

namespace platform::base64 {

// False, with `out` undefined, for anything but whole padded groups of the standard alphabet.
bool decode(std::string_view in, std::string& out);

}  // namespace platform::base64
