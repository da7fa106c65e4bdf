#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow w;
  w.setWindowTitle("Vantor - Multi Drive Imaging With sector Mutate");
  w.show();
  return app.exec();
}
