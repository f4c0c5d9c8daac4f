// The order of the entries in a payload directory.
//
// The stub writes entries in directory order and acts on two of them:
// after writing the first top-level "Setup.cfg" it decides whether the
// update applies, and when it does not, it stops right after "Setup.exe".
// So the default order puts Setup.cfg first, Setup.exe second (both matched
// without regard to ASCII case, top level only) and the rest after them,
// sorted by their Windows-1252 names compared case-insensitively byte by
// byte (ties, which only names that differ in case could produce, broken by
// the raw bytes). An order manifest names entries to put first, in its
// order; the rest follow by the default rule.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sfx {

// Indexes into `names` (Windows-1252 entry names) in the default order.
std::vector<std::size_t> DefaultEntryOrder(const std::vector<std::string>& names);

// Indexes into `names` with the `manifest` names first, in manifest order,
// then the rest in the default order. Manifest names are matched without
// regard to letter case. Throws PackError for a manifest name that is not
// among `names` or that appears twice.
std::vector<std::size_t> ManifestEntryOrder(const std::vector<std::string>& names,
                                            const std::vector<std::string>& manifest);

// Reads an order manifest: UTF-8 text, one relative name per line with '/'
// or '\' separators; empty lines and lines starting with '#' are skipped, a
// byte-order mark and carriage returns are ignored. Returns the names as
// entry names. Throws PackError (with the line number) for a name that does
// not convert.
std::vector<std::string> ParseOrderManifest(std::string_view text);

// Why `order` (indexes into `names`) would let the installer write files on
// a machine where the update does not apply, or an empty string when it
// would not. The installer decides after the first top-level Setup.cfg and,
// when the update does not apply, stops right after Setup.exe, so every
// entry up to Setup.exe is written whatever the decision: Setup.cfg and
// Setup.exe must come first, in this order. Without both in the folder
// there is no early stop to protect, and any order is fine.
std::string EarlyStopProblem(const std::vector<std::string>& names, const std::vector<std::size_t>& order);

}  // namespace sfx
