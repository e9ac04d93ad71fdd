// omrix: the program that sets up, tests and controls the omrix board.
#include <QApplication>
#include <cstdlib>

#include "commands/library.h"
#include "omrix_app.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  omrix::shell::COmrixApp omrix(omrix::commands::LinkedLibrary());
  if (!omrix.Opened()) return EXIT_FAILURE;
  return QApplication::exec();
}
