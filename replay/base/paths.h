#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace vehisect {

/// The longest file name that Windows, Linux and macOS allow.
constexpr std::size_t kMaxNameLength = 255;

/// The length of the file name `name` (Windows-1252 bytes) as the file system counts it:
/// UTF-16 units on Windows, UTF-8 bytes elsewhere.
std::size_t NameLength(std::string_view name);

/// The longest start of `part` (Windows-1252 bytes) with which `prefix` + it + `tail` is a
/// file name the file system allows.
std::string_view FittedPart(std::string_view prefix, std::string_view part, std::string_view tail);

/// `start` (Windows-1252 bytes), shortened as much as needed, followed by `tail`: the longest
/// such file name the file system allows.
std::string FittedName(std::string_view start, const std::string& tail);

/// The path of the file called `name` (Windows-1252 bytes) in `folder`.
std::filesystem::path OutputPath(const std::filesystem::path& folder, std::string_view name);

/// `folder` itself, or "." for the empty path that names the current folder.
std::filesystem::path FolderOf(const std::filesystem::path& folder);

/// The path whose text is `utf8`.
std::filesystem::path PathFromUtf8(std::string_view utf8);

/// The text of `path` in UTF-8, for messages.
std::string PathToUtf8(const std::filesystem::path& path);

}  // namespace vehisect
