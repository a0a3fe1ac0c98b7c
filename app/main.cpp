#include <QApplication>
#include <QIcon>
#include <iostream>

#include "replay/base/system_files.h"
#include "window/command_line.h"
#include "window/main_window.h"

int main(int argc, char** argv) {
  // Read before Qt starts: --help and --version need no display.
  const vehisect::StartOptions start = vehisect::ReadStartOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!start.problem.empty()) {
    std::cerr << "vehisect: " << start.problem << "; see 'vehisect --help'\n";
    return 2;
  }
  if (start.help) std::cout << vehisect::StartHelp() << "\n";
  if (start.version) std::cout << "vehisect " << VEHISECT_VERSION << "\n";
  if (start.help || start.version) return 0;
  QApplication app(argc, argv);
  app.setWindowIcon(QIcon(":/vehisect.png"));
  // Replays given at start-up, as a file manager's "Open with" passes them, are split at once.
  MainWindow form(vehisect::SystemFiles(), start.replays, start.choose);
  form.show();
  return app.exec();
}
