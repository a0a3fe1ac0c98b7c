// vehisect-bench: measures a split against a plain copy of the same bytes and against the
// same copy flushed to the disk (the durable floor), and the split's peak memory on a small
// and a large replay. The peak is read from /proc, on Linux only.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "replay/base/error.h"
#include "replay/base/system_files.h"
#include "replay/format/header.h"
#include "replay/run/listing.h"
#include "replay/run/names.h"
#include "replay/format/reader.h"
#include "replay/format/record.h"
#include "replay/run/splitter.h"

namespace fs = std::filesystem;

namespace {

double MiB(double bytes) { return bytes / (1024.0 * 1024.0); }

// The peak resident memory of this process so far.
double PeakMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return -1;
}

template <typename F>
double Seconds(F&& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Empties `folder` first, so that the timed run creates its files afresh.
template <typename F>
double Seconds(const fs::path& folder, F&& work) {
  fs::remove_all(folder);
  fs::create_directories(folder);
  return Seconds(work);
}

std::vector<std::uintmax_t> Split(const fs::path& replay, const fs::path& out) {
  vehisect::NullProgress window;
  const vehisect::SplitResult result = vehisect::SplitReplay(vehisect::SystemFiles(), replay, false, window, out);
  std::vector<std::uintmax_t> sizes;
  for (const std::string& name : result.outputs) sizes.push_back(fs::file_size(vehisect::OutputPath(out, name)));
  return sizes;
}

// A buffer of 1 MiB whose pages are in place from the first run on, as the split's are: on a
// virtual machine a page's first touch costs some 10 µs.
std::vector<char>& WarmBuffer() {
  static std::vector<char> buffer(std::size_t{1} << 20, '\0');
  return buffer;
}

// Reads the replay once and writes the same number of bytes into files of the same sizes as
// the split's outputs, in the same large chunks: the floor a split could reach.
void Copy(const fs::path& replay, const fs::path& out, const std::vector<std::uintmax_t>& sizes) {
  constexpr std::size_t kChunk = std::size_t{1} << 20;
  std::vector<char>& buffer = WarmBuffer();
  std::ifstream in(replay, std::ios::binary);
  std::vector<std::ofstream> files;
  for (std::size_t k = 0; k < sizes.size(); ++k) {
    files.emplace_back(out / ("copy" + std::to_string(k)), std::ios::binary | std::ios::trunc);
  }
  std::vector<std::uintmax_t> left = sizes;
  std::size_t got = 0;
  for (std::size_t k = 0;; k = (k + 1) % files.size()) {
    if (std::all_of(left.begin(), left.end(), [](std::uintmax_t n) { return n == 0; })) break;
    if (in) {
      in.read(buffer.data(), kChunk);
      got = static_cast<std::size_t>(in.gcount());
    }
    // Once the input is read, the last chunk stands in for the rest of the output bytes.
    const std::size_t n = static_cast<std::size_t>(std::min<std::uintmax_t>(left[k], got ? got : kChunk));
    files[k].write(buffer.data(), static_cast<std::streamsize>(n));
    left[k] -= n;
  }
}

// The copy, then each file flushed to the disk and the folder after them: the floor of a split
// that is on the disk when it says it is done, as every split is.
void DurableCopy(const fs::path& replay, const fs::path& out, const std::vector<std::uintmax_t>& sizes) {
  Copy(replay, out, sizes);
  vehisect::FileSystem& files = vehisect::SystemFiles();
  for (std::size_t k = 0; k < sizes.size(); ++k) files.Flush(out / ("copy" + std::to_string(k)));
  files.FlushFolder(out);
}

// Reads the replay once in large chunks and drops the bytes, as cat > /dev/null does.
void Read(const fs::path& replay) {
  std::vector<char>& buffer = WarmBuffer();
  std::ifstream in(replay, std::ios::binary);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
  }
}

// Prints the median of `values` and their spread, smallest to largest.
// The ratio of each run's `a` to its `b`.
std::vector<double> Ratios(const std::vector<double>& a, const std::vector<double>& b) {
  std::vector<double> ratios;
  for (std::size_t run = 0; run < a.size(); ++run) ratios.push_back(a[run] / b[run]);
  return ratios;
}

void Report(const char* what, std::vector<double> values, const char* unit = " s") {
  std::sort(values.begin(), values.end());
  std::printf("%-14s %.3f%s median, %.3f to %.3f\n", what, values[values.size() / 2], unit, values.front(),
              values.back());
}

struct Counts {
  std::uint64_t shared = 0;
  std::uint64_t vehicle = 0;
};

// Reads a replay through to its end, of several vehicles or of one, and counts its records.
Counts CountRecords(const fs::path& replay) {
  std::ifstream in(replay, std::ios::binary);
  vehisect::LineReader reader(in, vehisect::PathToUtf8(replay));
  vehisect::ReplayHeader header = vehisect::ReadHeader(reader);
  if (header.vehicleCount == 1) vehisect::ReadRestOfHeader(reader, header);
  Counts counts;
  vehisect::StateRecord record;
  while (!reader.AtEnd()) {
    vehisect::ReadRecord(reader, header.vehicleCount, record);
    ++(record.shared ? counts.shared : counts.vehicle);
  }
  return counts;
}

// Splits a very large replay and checks the outputs add up to it.
int Soak(const fs::path& replay, const fs::path& work) {
  fs::remove_all(work);
  fs::create_directories(work);
  vehisect::NullProgress window;
  const double seconds = Seconds(work, [&] { vehisect::SplitReplay(vehisect::SystemFiles(), replay, false, window, work); });
  const double peak = PeakMiB();
  const Counts input = CountRecords(replay);
  Counts outputs;
  bool sharedEverywhere = true, refused = true;
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(work)) {
    const Counts counts = CountRecords(entry.path());
    sharedEverywhere = sharedEverywhere && counts.shared == input.shared;
    outputs.vehicle += counts.vehicle;
    ++files;
    refused = refused && vehisect::SplitReplay(vehisect::SystemFiles(), entry.path(), false, window, work / "again").refused;
  }
  std::printf("input          %.1f MiB, %llu shared and %llu vehicle records\n", MiB(static_cast<double>(fs::file_size(replay))),
              static_cast<unsigned long long>(input.shared), static_cast<unsigned long long>(input.vehicle));
  std::printf("split          %.2f s, %.0f MiB/s of input, %zu outputs\n", seconds,
              MiB(static_cast<double>(fs::file_size(replay))) / seconds, files);
  std::printf("peak memory    %.1f MiB\n", peak);
  std::printf("records        %s: every output has all %llu shared records, vehicle records add up to %llu\n",
              sharedEverywhere && outputs.vehicle == input.vehicle ? "ok" : "WRONG",
              static_cast<unsigned long long>(input.shared), static_cast<unsigned long long>(outputs.vehicle));
  std::printf("re-split       %s\n", refused ? "ok: every output is refused as a one-vehicle replay" : "WRONG");
  return sharedEverywhere && outputs.vehicle == input.vehicle && refused ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--soak") {
    try {
      return Soak(argv[2], argv[3]);
    } catch (const std::exception& e) {
      std::cerr << "vehisect-bench: " << e.what() << "\n";
      return 1;
    }
  }
  if (argc != 4) {
    std::cerr << "usage: vehisect-bench SMALL.rpl LARGE.rpl WORK-FOLDER\n"
                 "       vehisect-bench --soak HUGE.rpl WORK-FOLDER\n";
    return 2;
  }
  const fs::path small = argv[1], large = argv[2], work = argv[3];
  try {
    fs::create_directories(work);
    const double startPeak = PeakMiB();
    Split(small, work);
    const double smallPeak = PeakMiB();

    const double input = static_cast<double>(fs::file_size(large));
    // Each measure several times, taken in turn, so that a busy moment of the machine falls on
    // all of them alike; the median and the spread tell a noisy run from a real change.
    constexpr int kRuns = 9;
    std::vector<double> split, replace, copy, durable, ratio, list, read, one;
    std::vector<std::uintmax_t> sizes;
    vehisect::SplitOptions first;
    first.vehicles = {"1"};
    for (int run = 0; run < kRuns; ++run) {
      // The disk's writing of the run before must not fall on the split or the copy.
#ifndef _WIN32
      sync();
#endif
      split.push_back(Seconds(work, [&] { sizes = Split(large, work); }));
      copy.push_back(Seconds(work, [&] { Copy(large, work, sizes); }));
      ratio.push_back(split.back() / copy.back());
      durable.push_back(Seconds(work, [&] { DurableCopy(large, work, sizes); }));
      Split(large, work);
      // Over the outputs just written: each is flushed to the disk before it replaces one.
      replace.push_back(Seconds([&] { Split(large, work); }));
      list.push_back(Seconds(work, [&] { vehisect::ListReplay(vehisect::SystemFiles(), large, work); }));
      read.push_back(Seconds(work, [&] { Read(large); }));
      one.push_back(Seconds(work, [&] {
        vehisect::NullProgress window;
        vehisect::SplitReplay(vehisect::SystemFiles(), large, first, window, work);
      }));
    }
    const double largePeak = PeakMiB();
    double output = 0;
    for (const auto size : sizes) output += static_cast<double>(size);

    std::printf("input          %.1f MiB, %zu outputs, %.1f MiB written; %d runs of each, in turn\n", MiB(input),
                sizes.size(), MiB(output), kRuns);
    Report("split", split);
    Report("over outputs", replace);
    Report("over/split", Ratios(replace, split), "");
    Report("copy", copy);
    Report("split/copy", ratio, "");
    Report("durable floor", durable);
    Report("split/durable", Ratios(split, durable), "");
    Report("list", list);
    Report("read (cat)", read);
    Report("list/read", Ratios(list, read), "");
    Report("vehicle 1 of 8", one);
    std::printf("peak memory    %.1f MiB at start, %.1f MiB after %.0f MiB, %.1f MiB after %.0f MiB\n",
                startPeak, smallPeak, MiB(static_cast<double>(fs::file_size(small))), largePeak, MiB(input));
  } catch (const std::exception& e) {
    std::cerr << "vehisect-bench: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
