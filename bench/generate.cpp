// vehisect-generate: writes a synthetic replay shaped as the game writes them (times in
// 1/65536 s, a frame every 0.25 s, positions and speeds in feet, objects' records of kind 1
// numbered by object, forward gears, one truck reset mid-race), for the sample, the
// benchmark and the fuzzer's seeds. The same arguments always give the same bytes.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: vehisect-generate [--vehicles N] [--objects M] [--records R | --mib S] [--seed X]\n"
    "                         [--drivers NAME,NAME...] OUT";

// A small fixed generator: the output must not depend on the standard library's engines.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed * 2654435761u + 1) {}
  std::uint64_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }
  // A value from -range to range with six decimals, as the game prints its floats.
  std::string Float(double range) {
    const double unit = static_cast<double>(Next() % 2000001) / 1000000.0 - 1.0;
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", unit * range);
    return text;
  }
  std::string Floats(int count, double range) {
    std::string out = Float(range);
    for (int i = 1; i < count; ++i) out.append(",").append(Float(range));
    return out;
  }

 private:
  std::uint64_t state_;
};

struct Settings {
  int vehicles = 3;
  int objects = 4;
  std::uint64_t records = 60;
  std::uint64_t mebibytes = 0;
  std::uint64_t seed = 1;
  std::vector<std::string> drivers;  // the first drivers' names, as bytes
  std::string out;
};

void Line(std::string& out, const std::string& text) {
  out += text;
  out += "\r\n";
}

void Field(std::string& out, const char* label, const std::string& value) {
  Line(out, label);
  Line(out, value);
}

// A frame every 0.25 s, in the game's 1/65536 s.
constexpr std::uint64_t kTicksPerFrame = 16384;

std::string Fixed(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", value);
  return text;
}

// Where vehicle `v` is at frame `frame`: each laps a loop of its own around the level's middle
// at its own pace, and vehicle 0 is reset to the start halfway through the race.
void Place(int v, std::uint64_t frame, std::uint64_t frames, double& x, double& z, double& speed) {
  const double radius = 1500 + 350 * v;
  const double pace = 60 + 6 * v;  // ft/s
  double f = static_cast<double>(frame);
  if (v == 0 && frame >= frames / 2 && frames > 8) f -= static_cast<double>(frames / 2);
  const double angle = f * 0.25 * pace / radius + v;
  x = 4096 + radius * std::cos(angle);
  z = 4096 + 0.7 * radius * std::sin(angle);
  speed = pace * (1 + 0.2 * std::sin(f / 40 + v));
}

// The records of one frame: one for every vehicle, then, every fourth frame, one of an object
// of the level (kind 1, numbered by the object), as the game interleaves them.
void AppendRecord(std::string& out, Random& random, std::uint64_t index, int vehicles, int objects,
                  std::uint64_t records) {
  const std::uint64_t perFrame = static_cast<std::uint64_t>(vehicles) + 1;
  const std::uint64_t frame = index / perFrame;
  const auto slot = static_cast<int>(index % perFrame);
  const bool shared = slot == vehicles;
  Field(out, "type,time", std::string(shared ? "1" : (slot % 2 ? "0" : "2")) + "," + std::to_string(frame * kTicksPerFrame));
  double x = 0, z = 0, speed = 0;
  if (shared) {
    x = 4096 + static_cast<double>(random.Next() % 4000) - 2000;
    z = 4096 + static_cast<double>(random.Next() % 4000) - 2000;
  } else {
    Place(slot, frame, records / perFrame, x, z, speed);
  }
  Field(out, "ipos", Fixed(x) + "," + random.Float(3) + "," + Fixed(z));
  Field(out, "bvel", random.Float(1) + "," + random.Float(0.5) + "," + Fixed(speed));
  Field(out, "theta,phi,psi", random.Floats(3, 3.14));
  Field(out, "p,q,r", random.Floats(3, 2));
  Field(out, "number", std::to_string(shared ? (objects > 0 ? static_cast<int>(random.Next() % static_cast<std::uint64_t>(objects)) : 0) : slot));
  if (shared) return;
  Field(out, "fsteering_angle,rsteering_angle", random.Floats(2, 0.6));
  Field(out, "frtire_theta,fltire_theta,rrtire_theta,rltire_theta", random.Floats(4, 6.28));
  Field(out, "eng_throttle,faxle_brake_pct,raxle_brake_pct,ap_cnumber",
        random.Floats(3, 1) + "," + std::to_string(random.Next() % 4));
  // The forward gears are 4, 5 and 6.
  Field(out, "damageCode,gear", std::to_string(random.Next() % 3) + "," + std::to_string(4 + random.Next() % 3));
}

std::string Header(const Settings& s) {
  std::string out;
  Field(out, "demoLevel", "  canyon.sit ");
  Field(out, "weather", "0");
  Field(out, "vehicleCount", std::to_string(s.vehicles));
  static const char* const kDrivers[] = {"Ann", "Computer", "DriverX", "Computer",
                                         "Bo",  "DriverX",  "Computer", "Cy"};
  for (int i = 0; i < s.vehicles; ++i) {
    static const char* const kVehicles[] = {"buggy.trk", " rocket.trk", "truck.trk", "van.trk"};
    Line(out, kVehicles[i % 4]);
    Line(out, static_cast<std::size_t>(i) < s.drivers.size() ? s.drivers[i] : kDrivers[i % 8]);
  }
  Field(out, "detailLevel", "2");
  Field(out, "demoRecordPtr", "4096");
  Field(out, "demoRecordCount", std::to_string(s.records));
  Field(out, "Original object locations", std::to_string(s.objects));
  Random random(s.seed + 7);
  // x,y,z,theta,phi,psi of each object of the level.
  for (int j = 0; j < s.objects; ++j) {
    Line(out, Fixed(static_cast<double>(random.Next() % 8192)) + "," + random.Float(20) + "," +
                  Fixed(static_cast<double>(random.Next() % 8192)) + "," + random.Floats(3, 3.14));
  }
  return out;
}

bool Parse(int argc, char** argv, Settings& s) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--vehicles" && hasValue) {
      s.vehicles = std::atoi(argv[++i]);
    } else if (arg == "--objects" && hasValue) {
      s.objects = std::atoi(argv[++i]);
    } else if (arg == "--records" && hasValue) {
      s.records = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--mib" && hasValue) {
      s.mebibytes = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--drivers" && hasValue) {
      std::string names = argv[++i];
      for (std::size_t comma; (comma = names.find(',')) != std::string::npos; names.erase(0, comma + 1)) {
        s.drivers.push_back(names.substr(0, comma));
      }
      s.drivers.push_back(names);
    } else if (arg == "--seed" && hasValue) {
      s.seed = std::strtoull(argv[++i], nullptr, 10);
    } else if (s.out.empty() && !arg.empty() && arg[0] != '-') {
      s.out = arg;
    } else {
      return false;
    }
  }
  return !s.out.empty() && s.vehicles >= 1 && s.vehicles <= 8 && s.objects >= 0;
}

}  // namespace

constexpr const char* kHelp =
    "Writes a synthetic replay in the game's layout to OUT; the same options always give the\n"
    "same bytes.\n\n"
    "  --vehicles N          vehicles in the replay, 1 to 8 (default 3)\n"
    "  --objects M           object-location lines (default 4)\n"
    "  --records R           records in the stream (default 60)\n"
    "  --mib S               as many records as make about S MiB instead\n"
    "  --seed X              seed of the values (default 1)\n"
    "  --drivers NAME,...    the driver names, in vehicle order, as Windows-1252 bytes;\n"
    "                        vehicles beyond them get generated names\n"
    "  --help                show this help\n";

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--help") {
      std::cout << kUsage << "\n\n" << kHelp;
      return 0;
    }
  }
  Settings s;
  if (!Parse(argc, argv, s)) {
    std::cerr << kUsage << "\n";
    return 2;
  }
  if (s.mebibytes > 0) {
    // The average size of a record measured on a sample of this generator's own records, so
    // that the file comes out near the size asked for.
    constexpr std::uint64_t kSample = 4096;
    Random sample(s.seed);
    std::string bytes;
    for (std::uint64_t r = 0; r < kSample; ++r) AppendRecord(bytes, sample, r, s.vehicles, s.objects, kSample);
    const double perRecord = static_cast<double>(bytes.size()) / kSample;
    const double wanted = static_cast<double>(s.mebibytes << 20) - static_cast<double>(Header(s).size());
    s.records = wanted > 0 ? static_cast<std::uint64_t>(wanted / perRecord) : 0;
  }
  std::ofstream file(s.out, std::ios::binary | std::ios::trunc);
  std::string buffer = Header(s);
  Random random(s.seed);
  for (std::uint64_t r = 0; r < s.records; ++r) {
    AppendRecord(buffer, random, r, s.vehicles, s.objects, s.records);
    if (buffer.size() >= (1u << 20)) {
      file.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
      buffer.clear();
    }
  }
  file.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
  file.close();
  if (!file) {
    std::cerr << "vehisect-generate: cannot write " << s.out << "\n";
    return 1;
  }
  return 0;
}
