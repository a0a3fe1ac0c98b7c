#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QStringList>

#include "replay/base/paths.h"
#include "replay/base/system_files.h"
#include "window/main_window.h"
#include "window/texts.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setApplicationVersion(VEHISECT_VERSION);
  app.setWindowIcon(QIcon(":/vehisect.png"));
  QCommandLineParser parser;
  parser.setApplicationDescription(vehisect::texts::kHelp);
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument("REPLAY", "a replay to split at once", "[REPLAY...]");
  const QCommandLineOption choose("choose", vehisect::texts::kChooseHelp);
  parser.addOption(choose);
  parser.process(app);
  // Replays given at start-up, as a file manager's "Open with" passes them, are split at once.
  std::vector<std::filesystem::path> replays;
  for (const QString& arg : parser.positionalArguments()) replays.push_back(vehisect::PathFromUtf8(arg.toStdString()));
  MainWindow form(vehisect::SystemFiles(), std::move(replays), parser.isSet(choose));
  form.show();
  return app.exec();
}
