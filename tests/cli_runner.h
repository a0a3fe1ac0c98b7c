#pragma once

// Runs vehisect-cli as a child process, as a user's shell would, and collects what it did.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace vehisect::testing {

struct Outcome {
  int status = -1;  // the exit status, or 128 + the signal that ended the program
  int signal = 0;   // the signal that ended the program, or 0
  std::string out;
  std::string err;
  long peakKiB = 0;  // the largest resident size the program reached
};

class CliProcess {
 public:
  /// Starts vehisect-cli with `args` in `folder`, under the command `wrapper` if any (strace);
  /// its output goes to files beside the folder.
  CliProcess(const std::filesystem::path& folder, const std::vector<std::string>& args,
             const std::vector<std::string>& wrapper = {})
      : out_(folder.string() + ".out"), err_(folder.string() + ".err") {
    pid_ = fork();
    if (pid_ == 0) {
      const int out = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int err = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(folder.c_str()) != 0) _exit(127);
      std::vector<char*> argv;
      for (const std::string& arg : wrapper) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(const_cast<char*>(VEHISECT_CLI));
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      execvp(argv[0], argv.data());
      _exit(127);
    }
  }
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;
  ~CliProcess() {
    if (pid_ > 0) Wait();
  }

  void Signal(int signal) const { kill(pid_, signal); }

  /// Waits for the program to end.
  Outcome Wait() {
    Outcome outcome;
    int raw = 0;
    rusage usage{};
    wait4(pid_, &raw, 0, &usage);
    pid_ = -1;
    if (WIFSIGNALED(raw)) {
      outcome.signal = WTERMSIG(raw);
      outcome.status = 128 + outcome.signal;
    } else {
      outcome.status = WEXITSTATUS(raw);
    }
    outcome.peakKiB = usage.ru_maxrss;
    outcome.out = Take(out_);
    outcome.err = Take(err_);
    return outcome;
  }

 private:
  static std::string Take(const std::filesystem::path& file) {
    std::string text;
    {
      std::ifstream in(file, std::ios::binary);
      text.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::filesystem::remove(file);
    return text;
  }

  pid_t pid_ = -1;
  std::filesystem::path out_, err_;
};

/// Runs vehisect-cli with `args` in `folder` to its end.
inline Outcome RunCli(const std::filesystem::path& folder, const std::vector<std::string>& args) {
  return CliProcess(folder, args).Wait();
}

}  // namespace vehisect::testing
