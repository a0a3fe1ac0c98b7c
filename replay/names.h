#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "replay/header.h"

namespace vehisect {

/// `text` with every character that Windows forbids in file names (< > : " / \ | ? * and
/// codes 0 to 31) replaced by '_'.
std::string SafeFileName(std::string_view text);

/// `name` (Windows-1252 bytes) with every letter in its case folding, ß as "ss", so that names
/// a case-blind file system takes for one compare equal.
std::string FoldCase(std::string_view name);

/// `utf8` in its full Unicode case folding for the Latin, Greek and Cyrillic letters (ß as
/// "ss", K as "k"), so that file names a case-blind file system takes for one compare equal.
std::string FoldUtf8(std::string_view utf8);

/// The output file names of the vehicles of `header`, in Windows-1252 like the replay:
/// "VH_" + level name + "_" + driver + ".rpl", made safe, a driver too long shortened, and
/// made unique ignoring case by appending the vehicle's position, or the next number free, to
/// a repeated driver part. Raises ReplayError naming `file` for a name still too long.
std::vector<std::string> OutputNames(const ReplayHeader& header, const std::string& file);

/// `start` (Windows-1252 bytes), shortened as much as needed, followed by `tail`: the longest
/// such file name the file system allows.
std::string FittedName(std::string_view start, const std::string& tail);

/// The 0-based positions of the vehicles of `header`, whose outputs are `names`, that `which`
/// names, in vehicle order: each entry a position from 1, a driver, or the driver part of its
/// output's name (UTF-8, ignoring the case of A to Z); every vehicle when `which` is empty.
/// Raises ReplayError naming `file` and its vehicles for an entry that names none.
std::vector<std::size_t> SelectVehicles(const ReplayHeader& header, const std::vector<std::string>& names,
                                        const std::vector<std::string>& which, const std::string& file);

/// Whether `byte` continues a UTF-8 character rather than starting one.
constexpr bool IsUtf8Continuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

/// The Windows-1252 text of a replay as UTF-8.
std::string Utf8FromCp1252(std::string_view text);

/// The path of the file called `name` (Windows-1252 bytes) in `folder`.
std::filesystem::path OutputPath(const std::filesystem::path& folder, std::string_view name);

/// The path whose text is `utf8`.
std::filesystem::path PathFromUtf8(std::string_view utf8);

/// `folder` itself, or "." for the empty path that names the current folder.
std::filesystem::path FolderOf(const std::filesystem::path& folder);

/// The text of `path` in UTF-8, for messages.
std::string PathToUtf8(const std::filesystem::path& path);

}  // namespace vehisect
