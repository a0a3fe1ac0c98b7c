// Fuzz target: splits any byte sequence as a replay, in memory, and checks what a split must
// guarantee. Aborts on the first violation, so that libFuzzer keeps the input.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/memory_store.h"
#include "replay/base/error.h"
#include "replay/format/header.h"
#include "replay/format/reader.h"
#include "replay/format/record.h"
#include "replay/run/splitter.h"

namespace {

using namespace vehisect;

#define CHECK(condition)                                                        \
  do {                                                                          \
    if (!(condition)) {                                                         \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                             \
    }                                                                           \
  } while (false)

struct Record {
  bool shared;
  std::size_t vehicle;
  std::string bytes;
};

std::string Bytes(const StateRecord& record) {
  std::string bytes;
  for (const std::string_view piece : record.pieces) bytes += piece;
  return bytes;
}

// The records of the replay, as an output receives them; the replay is known to split.
std::vector<Record> RecordsOf(const std::string& replay) {
  std::istringstream in(replay);
  LineReader reader(in, "input");
  const ReplayHeader header = ReadHeader(reader);
  std::vector<Record> records;
  StateRecord record;
  for (std::uint64_t r = 0; r < header.records; ++r) {
    ReadRecord(reader, header.vehicleCount, record);
    records.push_back({record.shared, record.vehicle, Bytes(record)});
  }
  return records;
}

// Reads an output through to its end, checking it is a one-vehicle replay with exactly the
// records `expected`.
void CheckOutput(const std::string& output, const std::vector<std::string>& expected,
                 std::uint64_t recordCount) {
  std::istringstream in(output);
  LineReader reader(in, "output");
  ReplayHeader header = ReadHeader(reader);
  CHECK(header.vehicleCount == 1);
  ReadRestOfHeader(reader, header);
  CHECK(header.records == recordCount);
  StateRecord record;
  std::size_t count = 0;
  while (!reader.AtEnd()) {
    ReadRecord(reader, 1, record);
    CHECK(count < expected.size());
    CHECK(Bytes(record) == expected[count]);
    ++count;
  }
  CHECK(count == expected.size());

  // An output holds one vehicle: splitting it again has nothing to split.
  std::istringstream again(output);
  NullProgress window;
  testing::MemoryOutputStore store;
  CHECK(SplitReplay(again, "output", false, window, store).refused);
  CHECK(store.files().empty());
}

// Splits `replay` in memory; the outputs, or the error's message when the run fails.
struct Run {
  SplitResult result;
  std::map<std::string, std::string> files;
  std::string error;
};

Run SplitInMemory(const std::string& replay, bool useRecordPtr, bool plainRecords) {
  NullProgress window;
  testing::MemoryOutputStore store;
  SplitOptions options;
  options.useRecordPtr = useRecordPtr;
  options.plainRecords = plainRecords;
  Run run;
  try {
    std::istringstream in(replay);
    run.result = SplitReplay(in, "input", options, window, store);
  } catch (const ReplayError& e) {
    run.error = e.what();
    CHECK(store.files().empty());
  }
  run.files = store.files();
  return run;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string replay(reinterpret_cast<const char*>(data), size);
  const Run run = SplitInMemory(replay, size % 2 == 1, true);
  // The fast path for records as the game writes them and the line-by-line path must agree
  // on every input: the same outputs, or the same error.
  const Run slow = SplitInMemory(replay, size % 2 == 1, false);
  CHECK(run.error == slow.error);
  CHECK(run.files == slow.files);
  if (!run.error.empty() || run.result.refused) {
    CHECK(run.files.empty());
    return 0;
  }
  const SplitResult& result = run.result;
  CHECK(result.outputs.size() >= 2);
  CHECK(run.files.size() == result.outputs.size());

  // Every shared record goes to every output, every vehicle record to its vehicle's only.
  const std::vector<Record> records = RecordsOf(replay);
  for (std::size_t k = 0; k < result.outputs.size(); ++k) {
    std::vector<std::string> expected;
    for (const Record& r : records) {
      if (r.shared || r.vehicle == k) expected.push_back(r.bytes);
    }
    CheckOutput(run.files.at(result.outputs[k]), expected, records.size());
  }
  return 0;
}
