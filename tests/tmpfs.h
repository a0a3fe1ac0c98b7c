#pragma once

// File systems a test mounts for itself (Linux, as root), and lets go of when it ends.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace vehisect::testing {

/// Unmounts the file system at `at`, which a test mounted; a failure leaves it mounted, and says so.
inline void Unmount(const std::filesystem::path& at) {
  EXPECT_EQ(std::system(("umount '" + at.string() + "'").c_str()), 0) << "left mounted: " << at;
}

/// A small tmpfs for one test, unmounted when the test ends.
class Tmpfs {
 public:
  /// Mounts a tmpfs with `options` ("size=1m") at `at`, made first; only root can.
  Tmpfs(const std::filesystem::path& at, const std::string& options) : at_(at) {
    std::filesystem::create_directories(at);
    mounted_ = geteuid() == 0 &&
               std::system(("mount -t tmpfs -o " + options + " tmpfs '" + at.string() + "' 2>/dev/null").c_str()) == 0;
  }
  ~Tmpfs() {
    if (mounted_) Unmount(at_);
  }
  Tmpfs(const Tmpfs&) = delete;
  Tmpfs& operator=(const Tmpfs&) = delete;
  /// Whether it was mounted.
  bool mounted() const { return mounted_; }
  /// Mounts it again with `options` ("ro"); whether that worked.
  bool Remount(const std::string& options) const {
    return std::system(("mount -o remount," + options + " '" + at_.string() + "'").c_str()) == 0;
  }

 private:
  std::filesystem::path at_;
  bool mounted_ = false;
};

}  // namespace vehisect::testing
