// Entry names and other text taken from a file, made safe to print.
//
// An installer of unknown origin can hold names with terminal escape
// sequences, which would retitle the terminal or draw rows that are not
// there. Every command prints such text through PrintableText: control
// characters (C0, DEL and the C1 range U+0080 to U+009F) and bytes that are
// not valid UTF-8 become visible escapes; everything else stays as it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace sfx {

// Decodes the UTF-8 sequence at `text[*pos]` into `*code_point` and moves
// `*pos` past it; for a byte that does not start a valid, shortest-form
// sequence it returns false and moves `*pos` by that one byte.
bool NextUtf8CodePoint(std::string_view text, std::size_t* pos, std::uint32_t* code_point);

// `utf8` with tab, line feed and carriage return written as \t, \n and \r,
// the other C0 characters and DEL as \xNN, C1 characters as \u00NN and
// every byte of an invalid sequence as \xNN. Backslashes stay as they are
// (they separate the folders of an entry name).
std::string PrintableText(std::string_view utf8);

// A Windows-1252 entry name as PrintableText shows its UTF-8 form.
std::string PrintableName(std::string_view cp1252);

// A host path between double quotes, as PrintableText shows its UTF-8 form;
// for paths that hold entry names.
std::string PrintableQuotedPath(const std::filesystem::path& path);

}  // namespace sfx
