// Shared plumbing of the sfxpack commands (see cli_support.h).
#include "cli_support.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "packer/sfxpack.h"

namespace sfxpack {

std::string ReadInputFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError("cannot open " + path + " (" + std::strerror(errno) + ")");
  // One read of the whole file where its size is known (a regular file);
  // byte by byte through the stream buffer otherwise (a pipe).
  std::string bytes;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size > 0 && in) {
    bytes.resize(static_cast<std::size_t>(size));
    in.read(bytes.data(), size);
    if (in.gcount() != size) throw InputError("cannot read " + path + " (" + std::strerror(errno) + ")");
  } else {
    in.clear();
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (in.bad()) throw InputError("cannot read " + path + " (" + std::strerror(errno) + ")");
  return bytes;
}

void WriteOutputFile(const std::string& path, std::string_view bytes) {
  errno = 0;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    throw InputError("cannot write " + path + (errno != 0 ? " (" + std::string(std::strerror(errno)) + ")" : ""));
  }
}

std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const std::size_t start = pos;
    std::uint32_t c = 0;
    if (!sfx::NextUtf8CodePoint(utf8, &pos, &c)) {
      out += "\\uFFFD";  // JSON has no escape for a stray byte
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
          out += escape;
        } else {
          out.append(utf8, start, pos - start);
        }
    }
  }
  return out + "\"";
}

}  // namespace sfxpack
