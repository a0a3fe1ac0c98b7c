#include <QApplication>
#include <QIcon>
#include <QStringList>

#include "replay/names.h"
#include "window/form1.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setWindowIcon(QIcon(":/vehisect.png"));
  // Replays given at start-up, as a file manager's "Open with" passes them, are split at once.
  std::vector<std::filesystem::path> replays;
  for (const QString& arg : app.arguments().mid(1)) replays.push_back(vehisect::PathFromUtf8(arg.toStdString()));
  Form1 form(std::move(replays));
  form.show();
  return app.exec();
}
