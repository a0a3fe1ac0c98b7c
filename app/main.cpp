#include <QApplication>
#include <QIcon>

#include "window/form1.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setWindowIcon(QIcon(":/vehisect.png"));
  Form1 form;
  form.show();
  return app.exec();
}
