#include "replay/splitter.h"

#include <cerrno>
#include <fstream>

#include "replay/error.h"
#include "replay/header.h"
#include "replay/names.h"
#include "replay/reader.h"
#include "replay/record.h"
#include "replay/writer.h"

namespace vehisect {
namespace {

SplitResult Split(std::istream& replay, const std::string& replayName, bool useRecordPtr,
                  WindowOps& window, OutputStore& store) {
  LineReader reader(replay, replayName);
  const ReplayHeader header = ReadHeader(reader);
  if (header.vehicleCount == 1) return {true, {}};

  SplitResult result{false, OutputNames(header, replayName)};
  try {
    // Declared first, so that it outlives the writers whose buffers it writes.
    BackgroundWriter background;
    std::vector<OutputWriter> writers;
    writers.reserve(result.outputs.size());
    for (const std::string& name : result.outputs) {
      writers.emplace_back(store.Open(name), store.Describe(name), background);
    }
    std::string bytes;
    for (std::size_t k = 0; k < writers.size(); ++k) {
      bytes.clear();
      AppendOutputHeader(bytes, header, k, useRecordPtr);
      writers[k].Write(bytes);
    }

    window.SetProgressMax(static_cast<float>(header.records));
    StateRecord record;
    const auto write = [&record](OutputWriter& writer) {
      for (const std::string_view piece : record.pieces) writer.Write(piece);
    };
    for (std::uint64_t r = 1; r <= header.records; ++r) {
      ReadRecord(reader, header.vehicleCount, record);
      if (record.shared) {
        for (OutputWriter& writer : writers) write(writer);
      } else {
        write(writers[record.vehicle]);
      }
      window.SetProgressValue(static_cast<float>(r));
    }
    for (OutputWriter& writer : writers) writer.Flush();
    background.Wait();
    store.Commit();
  } catch (...) {
    store.Discard();
    throw;
  }
  return result;
}

void ReportEnd(WindowOps& window, const SplitResult& result) {
  if (result.refused) {
    window.ShowMessage("Only 1 Vehical\r\nNothing to Rip", "Aborting");
  } else {
    window.SetProgressValue(0);
    window.SetCaption("Open");
    window.ShowMessage("Finished", "Vehisect");
  }
  window.CloseWindow();
}

std::ifstream OpenReplay(const std::filesystem::path& path, const std::string& shown) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) throw ReplayError(shown, "expected a replay file, found nothing there");
  if (std::filesystem::is_directory(status)) throw ReplayError(shown, "expected a replay file, found a folder");
  // A pipe or device could block the window forever, or never end.
  if (!std::filesystem::is_regular_file(status)) {
    throw ReplayError(shown, "expected a replay file, found a special file");
  }
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ReplayError(shown, "expected to open the replay, found " + SystemErrorText(errno));
  return in;
}

}  // namespace

SplitResult SplitReplay(std::istream& replay, const std::string& replayName, bool useRecordPtr,
                        WindowOps& window, OutputStore& outputs) {
  const SplitResult result = Split(replay, replayName, useRecordPtr, window, outputs);
  ReportEnd(window, result);
  return result;
}

SplitResult SplitReplay(const std::filesystem::path& replayPath, bool useRecordPtr,
                        WindowOps& window, const std::filesystem::path& outputFolder) {
  const std::string shown = PathToUtf8(replayPath);
  SplitResult result;
  {
    std::ifstream replay = OpenReplay(replayPath, shown);
    FileOutputStore outputs(outputFolder, replayPath);
    result = Split(replay, shown, useRecordPtr, window, outputs);
  }  // every file is closed before the end is reported
  ReportEnd(window, result);
  return result;
}

}  // namespace vehisect
