#pragma once

// The system's dialogs and boxes as the Win32 window shows them: the open-file and folder
// dialogs, the question about another race, and a warning's text fitted to the screen.

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "window/flow.h"

/// The replays picked in the open-file dialog over `owner`, starting in `folder`; none when
/// it is cancelled.
std::vector<std::filesystem::path> OpenReplayDialog(HWND owner, const std::filesystem::path& folder);

/// A folder picked over `owner` for the outputs of `replay`, starting in `folder`; nothing when
/// the dialog is cancelled.
std::optional<std::filesystem::path> OutputFolderDialog(HWND owner, const std::filesystem::path& replay,
                                                        const std::filesystem::path& folder);

/// The file picked over `owner` in the save dialog for a picture of a race, which asks before
/// it replaces one; nothing when it is cancelled.
std::optional<std::filesystem::path> SavePictureDialog(HWND owner);

/// Asks the question about another race's files over `owner`, as FlowDialogs::AskOtherRace.
vehisect::OtherRace AskOtherRaceDialog(HWND owner, const std::string& text, bool canReplace);

/// `shown` cut at a line, with an ellipsis, where a message box over `owner` would be taller
/// than the work area of its screen.
std::wstring FitToScreen(HWND owner, std::wstring shown);
