#pragma once

// Every text the windows show of their own, in one place for both (UTF-8).

#include <string>
#include <string_view>

namespace vehisect::texts {

/// A caption as it reads, without the "&" that marks its access key ("&&" for an "&").
inline std::string WithoutKey(std::string_view keyed) {
  std::string plain;
  for (std::size_t i = 0; i < keyed.size(); ++i) {
    if (keyed[i] == '&' && i + 1 < keyed.size()) ++i;
    plain += keyed[i];
  }
  return plain;
}

/// The window's title, and the title of its boxes.
inline constexpr const char* kTitle = "Vehisect";
/// The caption of "Open" when idle, with its access key, and during a run.
inline constexpr const char* kOpenKey = "&Open";
inline constexpr const char* kWorking = "Working...";
/// The caption of the check box, with its access key, and its tooltip.
inline constexpr const char* kRecordPtrKey = "&Use demoRecordPtr";
inline constexpr const char* kRecordPtrTooltip =
    "Unticked (the usual choice), every output's \"demoRecordPtr\" is set to the race's "
    "record count.\nTicked, every output keeps the race replay's own \"demoRecordPtr\" value "
    "instead: tick it if the outputs do not play back in the game as the race did.";
/// The second check box, with its access key, and its tooltip.
inline constexpr const char* kChooseVehiclesKey = "&Choose vehicles";
inline constexpr const char* kChooseVehiclesTooltip =
    "Ticked, each replay is read first and shown with its vehicles, so that you can choose which "
    "of them to split.\nUnticked (the usual choice), every vehicle is split.";
/// The "Choose vehicles" dialog: what it asks, its columns, what a file of an output's name
/// holds, the control that ticks all, and its buttons.
inline constexpr const char* kChooseIntro = "Split these vehicles of ";
inline constexpr const char* kColumns[] = {"#",    "Driver",    "Vehicle", "Records",          "Time",
                                           "Distance", "Top speed", "Output", "In the folder now"};
inline constexpr const char* kHoldsNothing = "nothing";
inline constexpr const char* kHoldsSameRace = "the same race";
inline constexpr const char* kHoldsOtherRace = "another race";
inline constexpr const char* kAllKey = "&All vehicles";
inline constexpr const char* kSplitKey = "&Split";
/// The dialog's button that saves the picture of the vehicles ticked, and the save dialog's
/// title, filter and the picture's extension.
inline constexpr const char* kSavePictureKey = "Save &picture...";
inline constexpr const char* kSavePicture = "Save picture";
inline constexpr const char* kPictures = "SVG pictures (*.svg)";
inline constexpr const char* kPictureExtension = ".svg";
/// Where the bar is while a run waits for another one's lock on its folder.
inline constexpr const char* kWaitingForRun = "Waiting for another run\u2026";
/// The title while a run waits for another one's lock, before the folder's name.
inline constexpr const char* kWaiting = " - waiting for another run writing to ";
/// The open-file dialog: its title, the name of its filter, and the filter.
inline constexpr const char* kOpenReplay = "Open Replay";
inline constexpr const char* kReplays = "Replays (*.rpl)";
inline constexpr const char* kReplayPattern = "*.rpl";
/// The folder dialog's title, followed by the replay's file name.
inline constexpr const char* kChooseFolder = "Choose a folder for the outputs of ";
/// The buttons of the question about another race's files, with their access keys, in the
/// order both windows show them.
inline constexpr const char* kKeepBoth = "&Keep both";
inline constexpr const char* kReplace = "&Replace";
inline constexpr const char* kCancel = "Cancel";
/// What a run that split everything says when it could not remove every file it should have.
inline constexpr const char* kNotCleanedUp = "Split, but some files could not be cleaned up.";
/// The end of a run that split everything.
inline constexpr const char* kFinished = "Finished";
/// What `vehisect --help` says, after its usage line, and of --choose.
inline constexpr const char* kUsage = "Usage: vehisect [--choose] [REPLAY...]";
inline constexpr const char* kOptionsHelp =
    "  --choose        open the replays given with \"Choose vehicles\" ticked\n"
    "  -h, --help      show this help\n"
    "  -V, --version   show the version";
inline constexpr const char* kChooseHelp = "open the replays given with \"Choose vehicles\" ticked";
inline constexpr const char* kHelp =
    "Opens the Vehisect window. Each REPLAY given is split at once into one replay per vehicle, beside it, "
    "as \"Split with Vehisect\" does. For a command line, use vehisect-cli.";

}  // namespace vehisect::texts
