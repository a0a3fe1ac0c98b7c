#include "replay/run/listing.h"

#include <sstream>

#include "replay/format/header.h"
#include "replay/run/background_taker.h"
#include "replay/run/names.h"
#include "replay/format/reader.h"
#include "replay/format/replay_file.h"
#include "replay/format/record.h"
#include "replay/format/same_race.h"
#include "replay/run/splitter.h"

namespace vehisect {

ReplayListing ListReplay(std::istream& replay, const std::string& replayName, ProgressSink* progress,
                         const CancelToken* cancel) {
  LineReader reader(replay, replayName);
  ReplayHeader header = ReadHeader(reader);
  if (header.vehicleCount == 1) ReadRestOfHeader(reader, header);
  const std::vector<std::string> names = OutputNames(header, replayName);

  ReplayListing listing{header.level,  header.weather, header.detailLevel, header.recordPtr, header.records,
                        header.records, static_cast<int>(header.objects.size()), 0, {}, {}};
  for (std::size_t k = 0; k < header.vehicles.size(); ++k) {
    listing.vehicles.push_back({static_cast<int>(k + 1), header.vehicles[k].vehicle,
                                header.vehicles[k].driver, names[k], 0});
  }
  if (progress != nullptr) progress->SetProgressMax(static_cast<float>(header.records));
  std::uint64_t r = 0;
  RaceGatherer race(header.vehicles.size(), header.objects);
  // The race's numbers cost a listing little of its time on a thread of their own.
  BackgroundTaker gathering([&race](const RecordFields& record) { race.Take(record); });
  const auto take = [&](const RecordFields& record) {
    ++(record.shared ? listing.sharedRecords : listing.vehicles[record.vehicle].records);
    gathering.Take(record);
    if (cancel != nullptr) cancel->ThrowIfRequested(replayName);
    if (progress != nullptr) progress->SetProgressValue(static_cast<float>(++r));
  };
  // A replay of one vehicle may be one of Vehisect's outputs, which ends before its count.
  listing.held = ScanRecords(reader, header.vehicleCount, 1, header.records, take, header.vehicleCount == 1);
  gathering.Finish();
  listing.race = race.Finish();
  return listing;
}

namespace {

// Takes each output of a split and compares it with the file of its name, writing nothing.
class ComparingStore : public OutputStore {
 public:
  ComparingStore(FileSystem& files, std::filesystem::path folder) : files_(files), folder_(std::move(folder)) {}
  std::ostream& Open(const std::string& name) override {
    auto& output = outputs_.emplace_back(std::make_unique<Output>());
    // Only a file is read: a pipe of the output's name would never end.
    const std::filesystem::path path = OutputPath(folder_, name);
    output->existing = std::filesystem::is_regular_file(files_.Status(path))
                           ? files_.Read(path)
                           : std::make_unique<std::istringstream>(std::ios::in);
    output->comparer = std::make_unique<RaceComparer>(*output->existing);
    output->stream.rdbuf(output->comparer.get());
    return output->stream;
  }
  std::filesystem::path PathOf(const std::string& name) const override { return OutputPath(folder_, name); }
  std::vector<PlacedOutput> Commit() override { return {}; }
  void Discard() noexcept override {}
  /// Whether output `k` holds the race of the file of its name.
  bool Same(std::size_t k) const { return outputs_[k]->comparer->Same(); }

 private:
  struct Output {
    std::unique_ptr<std::istream> existing;
    std::unique_ptr<RaceComparer> comparer;
    std::ostream stream{nullptr};
  };
  FileSystem& files_;
  std::filesystem::path folder_;
  std::vector<std::unique_ptr<Output>> outputs_;
};

}  // namespace

ReplayListing ListReplay(FileSystem& files, const std::filesystem::path& replayPath,
                         const std::filesystem::path& outputFolder, ProgressSink* progress, const CancelToken* cancel) {
  const std::string shown = PathToUtf8(replayPath);
  ReplayListing listing;
  {
    const std::unique_ptr<std::istream> replay = OpenReplay(files, replayPath, shown);
    listing = ListReplay(*replay, shown, progress, cancel);
  }
  bool any = false;
  for (VehicleListing& v : listing.vehicles) {
    const std::filesystem::path output = OutputPath(outputFolder, v.output);
    // What a split would refuse, the listing refuses too, and opens nothing that could block.
    if (listing.vehicles.size() > 1) CheckOutputName(files, output, replayPath);
    if (std::filesystem::exists(files.Status(output))) v.existing = Existing::kOtherRace;
    any = any || v.existing != Existing::kNone;
  }
  // Only a file that exists is compared, by splitting the replay once more into comparers.
  if (!any) return listing;
  const std::unique_ptr<std::istream> replay = OpenReplay(files, replayPath, shown);
  ComparingStore store(files, outputFolder);
  NullProgress quiet;
  SplitOptions options;
  options.asListed = true;
  SplitReplay(*replay, shown, options, quiet, store, cancel);
  for (std::size_t k = 0; k < listing.vehicles.size(); ++k) {
    VehicleListing& v = listing.vehicles[k];
    if (v.existing != Existing::kNone && store.Same(k)) v.existing = Existing::kSameRace;
  }
  return listing;
}

}  // namespace vehisect
