#pragma once

#include <istream>
#include <streambuf>
#include <vector>

namespace vehisect {

/// Takes the bytes of a new output and tells whether an existing file holds the same race:
/// the same bytes in every line but the 12th, the "demoRecordPtr" value, which the "Use
/// demoRecordPtr" check box alone decides. Reads the existing file no further than the first
/// difference.
class RaceComparer : public std::streambuf {
 public:
  /// Compares with the file read from `existing`.
  explicit RaceComparer(std::istream& existing);
  /// Whether the bytes written so far make an output of the existing file's race.
  bool Same();

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;

 private:
  bool Matches(const char* s, std::size_t n);
  std::istream& existing_;
  std::vector<char> buffer_;
  int line_ = 1;  // the line of the new output the next byte belongs to
  bool differs_ = false;
};

/// Whether the file read from `existing` holds the same race as the output read from `fresh`.
bool SameRace(std::istream& existing, std::istream& fresh);

}  // namespace vehisect
